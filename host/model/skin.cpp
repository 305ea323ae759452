// The scene model: bindings, binding lists and skins.
#include "scene_model.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "faults.h"
#include "math.h"
#include "vantelids.h"

namespace host {

// Bindings and skins.

shape_class* Model_binding::get_joint(void*)
{
    check("skin_entry.get_joint");
    return joint;
}

namespace {

// Whether the world matrix of `from` rests on that of `shape`: through the
// shapes its own skin binds it to when that is bound, else through its parent.
bool rests_on(Model_shape const* from, Model_shape const* shape)
{
    std::vector<Model_shape const*> pending{from};
    std::unordered_set<Model_shape const*> seen;
    while (!pending.empty()) {
        Model_shape const* s = pending.back();
        pending.pop_back();
        if (s == shape)
            return true;
        if (!s || !seen.insert(s).second)
            continue;
        if (!s->skin.bindings().empty()) {
            for (Model_binding const& b : s->skin.bindings())
                pending.push_back(static_cast<Model_shape const*>(b.joint));
        } else {
            pending.push_back(s->parent());
        }
    }
    return false;
}

}  // namespace

void Model_binding::set_joint(shape_class* j, void*)
{
    check("skin_entry.set_joint");
    // The host refuses a binding of a shape's own skin that would make world
    // matrices rest on each other (a part bound to its own child): no order
    // of working them out gives the shape a matrix, and no scene file holds it.
    Model_shape const* const decided = owner_->world_owner();
    if (decided && j && rests_on(static_cast<Model_shape const*>(j), decided))
        throw host_error("binding " + decided->path() + " to " + static_cast<Model_shape const*>(j)->path() +
                         " would make their world matrices rest on each other");
    joint = j;
    owner_->changed();
}

float Model_binding::get_weight(void*)
{
    check("skin_entry.get_weight");
    return weight;
}

void Model_binding::set_weight(float w, void*)
{
    check("skin_entry.set_weight");
    weight = w;
    owner_->changed();
}

Model_binding const& Binding_list::at(std::size_t i) const
{
    if (i >= size_)
        throw std::out_of_range("no binding " + std::to_string(i));
    return data()[i];
}

Model_binding& Binding_list::emplace_back(Model_skin* owner)
{
    if (!spilled_ && size_ < inline_capacity) {
        auto* b = new (inline_ + size_ * sizeof(Model_binding)) Model_binding(owner);
        ++size_;
        return *b;
    }
    if (!spilled_) {
        // More than the skin holds: all of them move to the heap.
        spill_.reserve(2 * inline_capacity);
        Model_binding* const held = data();
        for (std::size_t i = 0; i < size_; ++i) {
            spill_.push_back(held[i]);
            held[i].~Model_binding();
        }
        spilled_ = true;
    }
    spill_.emplace_back(owner);
    ++size_;
    return spill_.back();
}

void Binding_list::erase(std::size_t i)
{
    if (spilled_) {
        spill_.erase(spill_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
        Model_binding* const held = data();
        for (std::size_t k = i; k + 1 < size_; ++k)
            held[k] = held[k + 1];
        held[size_ - 1].~Model_binding();
    }
    --size_;
}

void Binding_list::clear()
{
    if (spilled_) {
        std::vector<Model_binding>().swap(spill_);
        spilled_ = false;
    } else {
        Model_binding* const held = data();
        for (std::size_t k = 0; k < size_; ++k)
            held[k].~Model_binding();
    }
    size_ = 0;
}

Model_skin::Model_skin(Model_skin const& other) : scene_(other.scene_), world_owner_(other.world_owner_)
{
    for (Model_binding const& b : other.bindings_) {
        Model_binding& copy = bindings_.emplace_back(this);
        copy.joint = b.joint;
        copy.weight = b.weight;
    }
}

Model_skin& Model_skin::operator=(Model_skin const& other)
{
    if (this == &other)
        return *this;
    bindings_.clear();
    for (Model_binding const& b : other.bindings_) {
        Model_binding& copy = bindings_.emplace_back(this);
        copy.joint = b.joint;
        copy.weight = b.weight;
    }
    changed();
    return *this;
}

void Model_skin::rebind(Model_scene* scene, Model_shape* world_owner)
{
    scene_ = scene;
    world_owner_ = world_owner;
}

void Model_skin::changed()
{
    cached_epoch_ = 0;
    if (world_owner_ && scene_)
        scene_->matrices_changed();
}

int Model_skin::get_number_of_bindings(void*)
{
    check("skin.get_number_of_bindings");
    return static_cast<int>(bindings_.size());
}

skin_entry_class& Model_skin::get_binding(int index, void*)
{
    check("skin.get_binding");
    if (index < 0 || index >= static_cast<int>(bindings_.size()))
        throw host_error("no binding " + std::to_string(index));
    return bindings_[static_cast<std::size_t>(index)];
}

void Model_skin::append_binding(void*)
{
    check("skin.append_binding");
    bindings_.emplace_back(this);
    changed();
}

void Model_skin::remove_binding(int index, void*)
{
    check("skin.remove_binding");
    if (hooks_active && calls().named())
        calls().name_last((world_owner_ ? world_owner_->path() + " " : std::string()) + "#" + std::to_string(index));
    if (index < 0 || index >= static_cast<int>(bindings_.size()))
        throw host_error("no binding " + std::to_string(index));
    bindings_.erase(static_cast<std::size_t>(index));
    changed();
}

mat4 Model_skin::get_matrix(void*)
{
    check("skin.get_matrix");
    return matrix();
}

void Model_skin::add(Model_shape* joint, float weight)
{
    Model_binding& b = bindings_.emplace_back(this);
    b.joint = joint;
    b.weight = weight;
    changed();
}

void Model_skin::clear()
{
    bindings_.clear();
    changed();
}

mat4 Model_skin::matrix() const
{
    if (bindings_.empty())
        return mat4::identity;
    std::uint64_t const epoch = scene_ ? scene_->epoch() : 0;
    if (epoch != 0 && cached_epoch_ == epoch)
        return cached_matrix_;
    double total = 0;
    for (Model_binding const& b : bindings_)
        total += b.weight;
    bool const equal_shares = total == 0;
    double sum[4][4] = {};
    for (Model_binding const& b : bindings_) {
        auto* joint = static_cast<Model_shape*>(b.joint);
        mat4 const world = joint ? joint->world() : mat4::identity;
        double const share = equal_shares ? 1.0 / static_cast<double>(bindings_.size()) : b.weight / total;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                sum[i][j] += share * world.m[i][j];
    }
    mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = static_cast<float>(sum[i][j]);
    cached_matrix_ = r;
    cached_epoch_ = epoch;
    return r;
}

}  // namespace host
