// Small holders that keep host references and brackets balanced on every path.
#pragma once

#include <utility>

#include "sceneinterface.h"

// Owns one reference to a host object and releases it when it goes.
template <class T>
class Host_ref {
public:
    Host_ref() = default;
    explicit Host_ref(T* object) : object_(object) {}
    Host_ref(Host_ref const&) = delete;
    Host_ref& operator=(Host_ref const&) = delete;
    Host_ref(Host_ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Host_ref& operator=(Host_ref&& other) noexcept
    {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ~Host_ref() { reset(); }

    void reset(T* object = nullptr)
    {
        if (object_ && object_ != object)
            release_reference(object_);
        object_ = object;
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

// One begin_change / end_change bracket on a scene; closes on every path.
class Change_bracket {
public:
    explicit Change_bracket(scene_interface& scene) : scene_(scene) { scene_.begin_change(); }
    Change_bracket(Change_bracket const&) = delete;
    Change_bracket& operator=(Change_bracket const&) = delete;
    // end_change may itself throw; a destructor must not, so that failure is dropped.
    ~Change_bracket()
    {
        try {
            scene_.end_change();
        } catch (...) {
        }
    }

private:
    scene_interface& scene_;
};

// One begin_modification / end_modification bracket on a shape.
class Modification_bracket {
public:
    explicit Modification_bracket(shape_class& shape) : shape_(shape) { shape_.begin_modification(); }
    Modification_bracket(Modification_bracket const&) = delete;
    Modification_bracket& operator=(Modification_bracket const&) = delete;
    // Closes the bracket where its failure can still be reported.
    void close()
    {
        if (open_) {
            open_ = false;
            shape_.end_modification();
        }
    }
    // On a path that is failing already, a failure to close is dropped.
    ~Modification_bracket()
    {
        try {
            close();
        } catch (...) {
        }
    }

private:
    shape_class& shape_;
    bool open_ = true;
};
