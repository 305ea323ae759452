// A host built in Microsoft's C++ ABI (clang for *-pc-windows-msvc,
// freestanding: no Microsoft headers or libraries, only kernel32.dll and
// msvcrt.dll) that loads a Windows plug-in library and drives it through
// the interface classes of include/ as the host does: every component
// created and called through its slots, one "Save skin" in each form and
// one "Load skin" of a small scene, the host's exceptions thrown into an
// export, a load, a walk and a dialog's opening, and a placeholder called.
//
//   probe.exe PLUGIN.dll OUT_FOLDER
// writes OUT_FOLDER/probe.text.vsk and probe.binary.vsk, prints one line per
// check and ends with "N passed, N failed".
#include "browserinterface.h"
#include "exporterinterface.h"
#include "importerinterface.h"
#include "pluginexports.h"
#include "vantelids.h"

extern "C" {
int printf(char const* format, ...);
int sprintf(char* out, char const* format, ...);
double strtod(char const* text, char** end);
void* malloc(size_t size);
void* realloc(void* p, size_t size);
void free(void* p);
void* memcpy(void* to, void const* from, size_t size);
void* memset(void* to, int value, size_t size);
int memcmp(void const* a, void const* b, size_t size);
size_t strlen(char const* text);
int strcmp(char const* a, char const* b);
struct FILE;
FILE* fopen(char const* path, char const* mode);
size_t fwrite(void const* data, size_t size, size_t count, FILE* file);
int fclose(FILE* file);
void exit(int status);
int __getmainargs(int* argc, char*** argv, char*** environment, int expand, void* start_info);
__declspec(dllimport) void* __stdcall LoadLibraryA(char const* path);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, char const* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);

// What a freestanding program of this compiler needs of the runtime it does not link.
int _fltused = 0;
extern void const* const type_info_vtable[1] __asm__("??_7type_info@@6B@") = {nullptr};
void __std_terminate() { exit(3); }
}
void* operator new(size_t size) { return malloc(size ? size : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }

namespace {

int passed = 0;
int failed = 0;

struct Bytes;
void show_messages();

void check(bool ok, char const* what)
{
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        show_messages();
    (ok ? passed : failed)++;
}

// A growable byte buffer.
struct Bytes {
    char* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    void append(void const* p, size_t n)
    {
        if (size + n > capacity) {
            capacity = (size + n) * 2 + 64;
            data = static_cast<char*>(realloc(data, capacity));
        }
        memcpy(data + size, p, n);
        size += n;
    }
    void append(char const* text) { append(text, strlen(text)); }
    bool contains(char const* text) const
    {
        size_t const n = strlen(text);
        for (size_t i = 0; i + n <= size; ++i)
            if (memcmp(data + i, text, n) == 0)
                return true;
        return false;
    }
    void clear() { size = 0; }
};

// The host's own exception: a class with a copy constructor and a destructor
// of its own, as a host's exception class has.
struct Probe_error {
    int code;
    char* text;
    Probe_error(int c, char const* t) : code(c), text(static_cast<char*>(malloc(strlen(t) + 1)))
    {
        memcpy(text, t, strlen(t) + 1);
    }
    Probe_error(Probe_error const& o) : Probe_error(o.code, o.text) {}
    ~Probe_error() { free(text); }
};

// Makes the named host operation throw, after letting fail_skip calls pass.
char const* fail_at = nullptr;
int fail_skip = 0;
int calls_of_failing = 0;
void host_operation(char const* name)
{
    if (fail_at && strcmp(fail_at, name) == 0 && fail_skip-- == 0) {
        fail_at = nullptr;
        fail_skip = 0;
        ++calls_of_failing;
        throw Probe_error(4711, name);
    }
}

Bytes messages;  // the message window and the message boxes, line by line

void show_messages()
{
    if (messages.size)
        printf("  the plug-in said:\n%.*s", int(messages.size), messages.data);
}

template <class Base>
struct Counted : Base {
    ULONG TAVRIK_COM_CALL AddRef() override { return static_cast<ULONG>(++this->reference_count); }
    ULONG TAVRIK_COM_CALL Release() override
    {
        if (--this->reference_count == 0) {
            delete this;
            return 0;
        }
        return static_cast<ULONG>(this->reference_count);
    }
};
int live_objects = 0;

struct Binding final : skin_entry_class {
    shape_class* joint = nullptr;
    float weight = 0;
    shape_class* get_joint(void*) override { return joint; }
    void set_joint(shape_class* j, void*) override
    {
        host_operation("binding.set_joint");
        joint = j;
    }
    float get_weight(void*) override { return weight; }
    void set_weight(float w, void*) override { weight = w; }
};

struct Skin final : skin_class {
    Binding bindings[8];
    int count = 0;
    int get_number_of_bindings(void*) override { return count; }
    skin_entry_class& get_binding(int i, void*) override { return bindings[i]; }
    void append_binding(void*) override
    {
        host_operation("skin.append_binding");
        if (count == 8)
            throw Probe_error(1, "skin full");
        bindings[count++] = Binding{};
    }
    void remove_binding(int i, void*) override
    {
        for (int k = i; k + 1 < count; ++k)
            bindings[k] = bindings[k + 1];
        --count;
    }
    mat4 get_matrix(void*) override { return mat4::identity; }
};

struct Vertex final : vertex_class {
    vec3 position{};
    Skin skin;
    vec3 get_position(void*) override { return position; }
    void set_position(vec3 const& p, void*) override { position = p; }
    skin_class& get_skin(void*) override { return skin; }
};

struct Scene;

// A part or a polygon mesh; each parent's children end at a marker of its own.
struct Shape final : part_class, polygon_mesh_class {
    char const* name = "";
    int type = shape_type_part;
    Shape* parent = nullptr;
    Shape* first = nullptr;
    Shape* next = nullptr;
    Shape* end = nullptr;
    int ordinal = 0;
    Vertex vertices[3];
    int vertex_count = 0;
    Skin skin;
    Scene* scene = nullptr;

    Shape* last_child()
    {
        Shape* s = first;
        while (s && s->next != end)
            s = s->next;
        return s;
    }
    shape_class* get_first_child(void*) override { return first ? first : end; }
    shape_class* get_children_end(void*) override { return end; }
    shape_class* get_next_sibling(void*) override
    {
        host_operation("shape.get_next_sibling");
        return next;
    }
    shape_class* get_previous_sibling(void*) override
    {
        if (!parent)
            return nullptr;
        Shape* s = parent->first;
        if (s == this)
            return nullptr;
        while (s && s->next != this)
            s = s->next;
        return s;
    }
    shape_class* get_parent(void*) override { return parent; }
    bool has_parent(void*) override { return parent != nullptr; }
    bool has_children(void*) override { return first != nullptr; }
    int get_ordinal(void*) override { return ordinal; }
    scene_interface* get_scene(void*) override;
    int get_type(void*) override { return type; }
    part_class& get_part(void*) override
    {
        if (type != shape_type_part)
            throw Probe_error(2, "not a part");
        return *this;
    }
    char const* get_name(void*) override { return name; }
    int get_number_of_points(void*) override { return type == shape_type_polygon_mesh ? vertex_count : 1; }
    int get_number_of_all_points(void*) override
    {
        if (type == shape_type_polygon_mesh)
            return vertex_count;
        int n = 0;
        for (Shape* c = first; c && c != end; c = c->next)
            n += c->get_number_of_all_points(nullptr);
        return n;
    }
    int get_active_point_indices(int*, void*) override { return 0; }
    control_point_class& get_control_point(int, void*) override { throw Probe_error(3, "no control points"); }
    polygon_mesh_class& get_polygon_mesh(void*) override
    {
        if (type != shape_type_polygon_mesh)
            throw Probe_error(3, "not a mesh");
        return *this;
    }
    vertex_class& get_vertex(int i, void*) override { return vertices[i]; }
    light_class& get_light(void*) override { throw Probe_error(3, "no light"); }
    sphere_class& get_sphere(void*) override { throw Probe_error(3, "no sphere"); }
    disk_class& get_disk(void*) override { throw Probe_error(3, "no disk"); }
    rotator_joint_interface* get_rotator_joint(void*) override { return nullptr; }
    slider_joint_interface* get_slider_joint(void*) override { return nullptr; }
    scale_joint_interface* get_scale_joint(void*) override { return nullptr; }
    uniscale_joint_interface* get_uniscale_joint(void*) override { return nullptr; }
    ball_joint_interface* get_ball_joint(void*) override { return nullptr; }
    mat4 get_world_matrix(void*) override { return mat4::identity; }
    mat4 get_inverse_world_matrix(void*) override { return mat4::identity; }
    void transform(mat4 const&, void*) override {}
    void clear_transformation(bool, void*) override {}
    skin_class& get_skin(void*) override { return skin; }
    void remove_skin(void*) override
    {
        host_operation("shape.remove_skin");
        skin.count = 0;
    }
    void begin_modification(void*) override {}
    void end_modification(void*) override {}
    int get_attached_shapes(component_id const&, shape_class**, void*) override { return 0; }
    int get_part_type(void*) override { return 0; }
    bool is_switched(void*) override { return false; }
    void toggle_switch(void*) override {}
    void make_current_camera(void*) override {}
};

struct Catalog final : text_catalog_interface {
    char const* lookup_text(char const* key, void*) override { return key; }
};

struct Item final : dialog_item_class {
    int selection = 0;
    bool value = false;
    bool get_bool(void*) override { return value; }
    int get_selection(void*) override { return selection; }
};

struct Dialog final : Counted<dialog_interface> {
    plugin_interface* responder = nullptr;
    Item items[5];  // ids 10 to 14
    Item none;
    Dialog() { ++live_objects; }
    ~Dialog() { --live_objects; }
    void load_dialog(char const*, void*) override { host_operation("dialog.load_dialog"); }
    void set_responder(plugin_interface* r, void*) override { responder = r; }
    void set_title(char const*, void*) override {}
    void append_item(int, char const*, int, void*) override {}
    bool ask(void*) override
    {
        host_operation("dialog.ask");
        if (responder) {
            responder->save_dialog_data(*this);
            responder->terminate(*this, 1);
        }
        return true;
    }
    void get_value(int, bool* value, void*) override { *value = false; }
    dialog_item_class& get_item(int id, void*) override { return id >= 10 && id <= 14 ? items[id - 10] : none; }
};

// How the next dialog answers: the export's range, form, full path and
// trim; the import's mode, hold, trim, joints outside and verbose.
int answer_selection[5];
bool answer_bool[5];

struct Scene final : Counted<scene_interface> {
    Catalog catalog;
    Shape* root = nullptr;
    Shape* memory = nullptr;
    int changes_open = 0;

    text_catalog_interface* get_text_catalog(void*) override { return &catalog; }
    void print_message(char const* text, void*) override
    {
        messages.append(text);
        messages.append("\n");
    }
    bool show_message_box(char const* text, bool, void*) override
    {
        messages.append("[box] ");
        messages.append(text);
        messages.append("\n");
        return true;
    }
    dialog_interface* create_dialog(component_id const&, void*) override
    {
        host_operation("vantel.create_dialog");
        Dialog* d = new Dialog;
        for (int i = 0; i < 5; ++i) {
            d->items[i].selection = answer_selection[i];
            d->items[i].value = answer_bool[i];
        }
        d->AddRef();
        return d;
    }
    progress_interface* create_progress(char const*, void*) override { return nullptr; }
    char const* get_special_characters(void*) override { return ""; }

    int get_number_of_active_shapes(void*) override { return memory ? 1 : 0; }
    shape_class* get_active_shape(int, void*) override { return memory; }
    shape_class* get_current_shape(void*) override { return memory; }
    int get_number_of_memorised_shapes(void*) override { return memory ? 1 : 0; }
    shape_class* get_memorised_shape(int, void*) override { return memory; }
    shape_class* get_memory_shape(void*) override { return memory; }
    part_class* get_root_part(void*) override { return root; }
    bool is_edit_mode(void*) override { return false; }
    void exit_edit_mode(void*) override {}
    void enter_edit_mode(void*) override {}
    void update(void*) override {}
    void begin_change(void*) override { ++changes_open; }
    void end_change(void*) override { --changes_open; }
    void refresh(void*) override {}
    camera_class& get_camera(void*) override { throw Probe_error(3, "no camera"); }
    int get_current_camera_index(void*) override { return 0; }
    void set_current_camera_index(int, void*) override {}
};

scene_interface* Shape::get_scene(void*)
{
    scene->AddRef();
    return scene;
}

// root / figure / { bone / tip, body (a mesh of three vertices) }
struct Probe_scene {
    Scene* scene = new Scene;
    Shape shapes[5];
    Shape ends[5];
    Shape& root = shapes[0];
    Shape& figure = shapes[1];
    Shape& bone = shapes[2];
    Shape& tip = shapes[3];
    Shape& body = shapes[4];

    explicit Probe_scene(bool bound)
    {
        char const* names[5] = {"root", "figure", "bone", "tip", "body"};
        for (int i = 0; i < 5; ++i) {
            shapes[i].name = names[i];
            shapes[i].ordinal = i;
            shapes[i].end = &ends[i];
            shapes[i].scene = scene;
            ends[i].parent = &shapes[i];
        }
        scene->AddRef();
        scene->root = &root;
        link(figure, root);
        link(bone, figure);
        link(tip, bone);
        link(body, figure);
        body.type = shape_type_polygon_mesh;
        body.vertex_count = 3;
        for (int i = 0; i < 3; ++i)
            body.vertices[i].position = vec3{float(i), 0.5f * float(i), 0};
        if (bound) {
            bind(body.vertices[0], &bone, 1.0f);
            bind(body.vertices[1], &bone, 0.5f);
            bind(body.vertices[1], &tip, 0.5f);
            bind(body.vertices[2], &tip, 0.75f);
            bind(body.vertices[2], &bone, 0.25f);
        }
    }
    ~Probe_scene() { scene->Release(); }
    static void link(Shape& child, Shape& parent)
    {
        child.parent = &parent;
        child.next = parent.end;
        if (Shape* last = parent.last_child())
            last->next = &child;
        else
            parent.first = &child;
    }
    static void bind(Vertex& v, Shape* joint, float weight)
    {
        Binding& b = v.skin.bindings[v.skin.count++];
        b.joint = joint;
        b.weight = weight;
    }
    bool same_skins(Probe_scene const& other) const
    {
        for (int i = 0; i < 3; ++i) {
            Skin const& a = body.vertices[i].skin;
            Skin const& b = other.body.vertices[i].skin;
            if (a.count != b.count)
                return false;
            for (int k = 0; k < a.count; ++k) {
                int const ja = static_cast<int>(static_cast<Shape*>(static_cast<part_class*>(a.bindings[k].joint)) - shapes);
                int const jb = static_cast<int>(static_cast<Shape*>(static_cast<part_class*>(b.bindings[k].joint)) -
                                                other.shapes);
                if (ja != jb || a.bindings[k].weight != b.bindings[k].weight)
                    return false;
            }
        }
        return true;
    }
    int bindings() const
    {
        int n = 0;
        for (int i = 0; i < 3; ++i)
            n += body.vertices[i].skin.count;
        return n;
    }
};

// A file in memory, written and read by both streams.
struct Binary_stream final : Counted<stream_interface> {
    Bytes* bytes;
    size_t at = 0;
    explicit Binary_stream(Bytes* b) : bytes(b) {}
    char read_char(void*) override { return at < bytes->size ? bytes->data[at++] : 0; }
    int32_t read_int(void*) override
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(read_char(nullptr))) << (8 * i);
        return int32_t(v);
    }
    float read_float(void*) override
    {
        int32_t v = read_int(nullptr);
        float f;
        memcpy(&f, &v, 4);
        return f;
    }
    bool is_end(void*) override { return at >= bytes->size; }
    void seek(long p, void*) override { at = size_t(p); }
    long tell(void*) override { return long(at); }
    void write_text(char const* t, void*) override { bytes->append(t); }
    void write_char(char c, void*) override { bytes->append(&c, 1); }
    void write_int(int32_t v, void*) override
    {
        host_operation("stream.write_int");
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes->append(b, 4);
    }
    void write_float(float f, void*) override
    {
        int32_t v;
        memcpy(&v, &f, 4);
        write_int(v, nullptr);
    }
    void write_integer(int32_t v, void*) override { write_int(v, nullptr); }
};

struct Text_stream final : Counted<text_stream_interface> {
    Bytes* bytes;
    size_t at = 0;
    Bytes line;
    explicit Text_stream(Bytes* b) : bytes(b) {}
    void read_line(char const** text, void*) override
    {
        host_operation("text_stream.read_line");
        line.clear();
        while (at < bytes->size && bytes->data[at] != '\n')
            line.append(&bytes->data[at++], 1);
        if (at < bytes->size)
            ++at;
        line.append("", 1);
        *text = line.data;
    }
    bool is_end(void*) override { return at >= bytes->size; }
    void rewind(void*) override { at = 0; }
    void write_line(char const* t, void*) override
    {
        host_operation("text_stream.write_line");
        bytes->append(t);
        bytes->append("\n");
    }
    void write_text(char const* t, void*) override { bytes->append(t); }
    void write_int(int32_t v, void*) override
    {
        char b[16];
        sprintf(b, "%d", v);
        bytes->append(b);
    }
    // The shortest text that reads back as the same float.
    void write_float(float f, void*) override
    {
        char b[32];
        for (int digits = 1; digits <= 9; ++digits) {
            sprintf(b, "%.*g", digits, double(f));
            if (float(strtod(b, nullptr)) == f)
                break;
        }
        bytes->append(b);
    }
    void write_char(char c, void*) override { bytes->append(&c, 1); }
    void end_line(void*) override { bytes->append("\n"); }
};

struct Export_object final : plugin_exporter_interface {
    Scene* scene;
    Binary_stream* stream;
    Text_stream* text_stream;
    exporter_interface* exporter = nullptr;
    scene_interface* get_scene(void*) override
    {
        scene->AddRef();
        return scene;
    }
    stream_interface* get_stream(void*) override
    {
        host_operation("export.get_stream");
        stream->AddRef();
        return stream;
    }
    text_stream_interface* get_text_stream(void*) override
    {
        if (!text_stream)
            return nullptr;
        text_stream->AddRef();
        return text_stream;
    }
    void run_export(void*) override { exporter->start(); }
    void print_message(char const* text, void*) override { scene->print_message(text, nullptr); }
    char const* get_special_characters(void*) override { return ""; }
};

struct Plugin {
    void* module = nullptr;
    has_interface_function has_interface = nullptr;
    get_name_function get_name = nullptr;
    get_uuid_function get_uuid = nullptr;
    create_interface_function create_interface = nullptr;
    get_info_function get_info = nullptr;
    is_resident_function is_resident = nullptr;
    has_separate_interfaces_function has_separate_interfaces = nullptr;

    template <class F>
    void bind(F& f, char const* plain, char const* decorated)
    {
#if defined(_WIN64)
        (void)decorated;
        f = reinterpret_cast<F>(GetProcAddress(module, plain));
#else
        (void)plain;
        f = reinterpret_cast<F>(GetProcAddress(module, decorated));
#endif
        check(f != nullptr, plain);
    }
    plugin_interface* create(interface_id const& id, int index, vantel_interface* vantel)
    {
        plugin_interface* p = nullptr;
        create_interface(id, index, &p, vantel, nullptr);
        return p;
    }
};

component_id uuid_with(uint32_t first) { return component_id{{first, 0x53B811D9, 0xBCFF000A, 0x95BACEB2}}; }

void save(Plugin& plugin, Probe_scene& source, bool binary, Bytes& file)
{
    auto* exporter = static_cast<exporter_interface*>(plugin.create(exporter_iid, 0, source.scene));
    Binary_stream* stream = new Binary_stream(&file);
    Text_stream* text_stream = new Text_stream(&file);
    stream->AddRef();
    text_stream->AddRef();
    Export_object object;
    object.scene = source.scene;
    object.stream = stream;
    object.text_stream = text_stream;
    object.exporter = exporter;
    int const range_form_path_trim[5] = {0, binary ? 1 : 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i) {
        answer_selection[i] = range_form_path_trim[i];
        answer_bool[i] = i == 2;  // full path names
    }
    exporter->do_export(&object);
    exporter->Release();
    stream->Release();
    text_stream->Release();
}

void load(Plugin& plugin, Probe_scene& target, Bytes& file)
{
    auto* importer = static_cast<importer_interface*>(plugin.create(importer_iid, 0, target.scene));
    Binary_stream* stream = new Binary_stream(&file);
    Text_stream* text_stream = new Text_stream(&file);
    for (int i = 0; i < 5; ++i) {
        answer_selection[i] = 0;  // newly
        answer_bool[i] = i == 4;  // verbose: the trace says how the load ended
    }
    importer->do_import(target.scene, stream, text_stream);
    importer->Release();
    stream->Release();
    text_stream->Release();
}

void write_file(char const* folder, char const* name, Bytes const& bytes)
{
    char path[1024];
    sprintf(path, "%s/%s", folder, name);
    FILE* f = fopen(path, "wb");
    check(f && fwrite(bytes.data, 1, bytes.size, f) == bytes.size && fclose(f) == 0, name);
}

int probe(char const* library, char const* out)
{
    Plugin plugin;
    plugin.module = LoadLibraryA(library);
    check(plugin.module != nullptr, "the library loads");
    if (!plugin.module)
        return 2;
    plugin.bind(plugin.has_interface, "has_interface", "_has_interface@8");
    plugin.bind(plugin.get_name, "get_name", "_get_name@16");
    plugin.bind(plugin.get_uuid, "get_uuid", "_get_uuid@16");
    plugin.bind(plugin.create_interface, "create_interface", "_create_interface@20");
    plugin.bind(plugin.get_info, "get_info", "_get_info@12");
    plugin.bind(plugin.is_resident, "is_resident", "_is_resident@12");
    plugin.bind(plugin.has_separate_interfaces, "has_separate_interfaces", "_has_separate_interfaces@4");
    if (failed)
        return 2;

    // The exports.
    check(plugin.has_interface(browser_iid, nullptr) == 3 && plugin.has_interface(exporter_iid, nullptr) == 1,
          "has_interface counts the components");
    check(plugin.get_uuid(browser_iid, 2, nullptr) == uuid_with(0x50020003) &&
              plugin.get_uuid(browser_iid, 3, nullptr) == component_id{},
          "get_uuid returns the id by value (result pointer counted as the host's compiler does)");
    plugin_info info{-1, -2, 0, 0, 0, 0};
    plugin.get_info(&info, nullptr, nullptr);
    check(info.host_field_0 == -1 && info.host_field_1 == -2 && info.major_version == 10 && info.build_number == 5,
          "get_info fills the last four fields");
    check(!plugin.is_resident(nullptr, nullptr, nullptr) && !plugin.has_separate_interfaces(nullptr),
          "is_resident and has_separate_interfaces are false");

    Probe_scene& source = *new Probe_scene(true);
    char const* const names[5] = {"Save skin", "Load skin", "Clear skin", "joint clear in skins",
                                  "Reset transformation"};
    uint32_t const ids[5] = {0x50020010, 0x50020020, 0x50020001, 0x50020002, 0x50020003};
    interface_id const kinds[5] = {exporter_iid, importer_iid, browser_iid, browser_iid, browser_iid};
    int const indexes[5] = {0, 0, 0, 1, 2};
    // Every component, through the slots that the host calls, to its destruction.
    for (int c = 0; c < 5; ++c) {
        char const* name = plugin.get_name(kinds[c], indexes[c], source.scene, nullptr);
        plugin_interface* p = plugin.create(kinds[c], indexes[c], source.scene);
        bool ok = p && name && strcmp(name, names[c]) == 0 && p->get_vantel_version() == 430286 &&
                  p->get_uuid() == uuid_with(ids[c]) && p->is_implemented() && !p->undoable();
        void* out = &out;
        ok = ok && p->QueryInterface(kinds[c], &out) == HRESULT(0x80004002) && out == &out;
        if (c == 0) {
            auto* e = static_cast<exporter_interface*>(p);
            ok = ok && strcmp(e->get_file_extension(), "vsk") == 0 &&
                 strcmp(e->get_file_description(), "Save skin") == 0 && e->skips_dialog();
        } else if (c == 1) {
            auto* i = static_cast<importer_interface*>(p);
            ok = ok && i->get_number_of_file_extensions() == 1 && strcmp(i->get_file_extension(0), "vsk") == 0 &&
                 strcmp(i->get_file_extension_description(0), "Vantel skin file") == 0;
        }
        ok = ok && p->AddRef() == 2 && p->Release() == 1 && p->Release() == 0;
        check(ok, names[c]);
    }

    // Save in both forms and load each back into the scene without skins.
    Bytes text_file, binary_file;
    save(plugin, source, false, text_file);
    save(plugin, source, true, binary_file);
    check(text_file.size > 0 && binary_file.size > 0 && !messages.contains("Can't"), "Save skin writes both forms");
    write_file(out, "probe.text.vsk", text_file);
    write_file(out, "probe.binary.vsk", binary_file);
    Bytes* const files[2] = {&text_file, &binary_file};
    for (Bytes* file : files) {
        Probe_scene& target = *new Probe_scene(false);
        messages.clear();
        load(plugin, target, *file);
        check(target.same_skins(source) && target.scene->changes_open == 0 && messages.contains("Finished"),
              file == &text_file ? "Load skin of the text form gives back every binding"
                                 : "Load skin of the binary form gives back every binding");
    }

    // The host's exceptions, thrown the Microsoft way.
    {
        messages.clear();
        fail_at = "stream.write_int";
        Bytes file;
        save(plugin, source, true, file);
        check(calls_of_failing == 1 && messages.contains("[box] Can't file write.") &&
                  messages.contains("finish save skin file"),
              "a write that throws during an export: \"Can't file write.\", and the export ends");
    }
    {
        Probe_scene& target = *new Probe_scene(false);
        messages.clear();
        fail_at = "text_stream.read_line";
        fail_skip = 6;
        load(plugin, target, text_file);
        check(calls_of_failing == 2 && messages.contains("Terminated loading skin.") && target.scene->changes_open == 0,
              "a host operation that throws during a load: \"Terminated loading skin.\", the bracket closed");
    }
    {
        Probe_scene& scene = *new Probe_scene(true);
        scene.scene->memory = &scene.figure;
        auto* command = static_cast<browser_interface*>(plugin.create(browser_iid, 0, scene.scene));
        fail_at = "shape.get_next_sibling";
        bool const done = command->do_browser(scene.scene);
        check(calls_of_failing == 3 && done && scene.scene->changes_open == 0,
              "a host operation that throws during a walk ends the walk silently, the bracket closed");
        command->Release();
    }
    {
        auto* exporter = static_cast<exporter_interface*>(plugin.create(exporter_iid, 0, source.scene));
        Bytes file;
        Binary_stream* stream = new Binary_stream(&file);
        stream->AddRef();
        Export_object object;
        object.scene = source.scene;
        object.stream = stream;
        object.text_stream = nullptr;
        object.exporter = exporter;
        int const before = live_objects;
        bool caught = false;
        fail_at = "dialog.load_dialog";
        try {
            exporter->do_export(&object);
        } catch (Probe_error const& e) {
            caught = e.code == 4711 && strcmp(e.text, "dialog.load_dialog") == 0 && live_objects == before;
        }
        check(caught, "a dialog's opening that throws: the host's own catch receives its exception, the dialog released");
        bool caught_again = false;
        fail_at = "export.get_stream";
        try {
            exporter->do_export(&object);
        } catch (Probe_error e) {
            caught_again = e.code == 4711 && strcmp(e.text, "export.get_stream") == 0;
        }
        check(caught_again, "the same by value, a second time");
        exporter->Release();
        check(stream->Release() == 0, "the exporter released the stream it took");
    }
    {
        auto* importer = static_cast<importer_interface*>(plugin.create(importer_iid, 0, source.scene));
        char const* text = nullptr;
        try {
            importer->reserved_importer_0();
        } catch (char const* t) {
            text = t;
        }
        check(text && strcmp(text, "invalid interface importer_interface") == 0,
              "a placeholder throws its text as a char const*");
        text = nullptr;
        try {
            importer->reserved_plugin_2();
        } catch (char const* t) {
            text = t;
        }
        check(text && strcmp(text, "invalid interface plugin_interface") == 0, "and so does the base's");
        importer->Release();
    }
    bool host_catch_still_works = false;
    try {
        throw Probe_error(1, "after");
    } catch (Probe_error const& e) {
        host_catch_still_works = strcmp(e.text, "after") == 0;
    }
    check(host_catch_still_works, "the host's own handlers work afterwards");

    check(FreeLibrary(plugin.module) != 0, "the library unloads");
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

}  // namespace

extern "C" void probe_main()
{
    int argc = 0;
    char** argv = nullptr;
    char** environment = nullptr;
    int start_info = 0;
    __getmainargs(&argc, &argv, &environment, 0, &start_info);
    if (argc != 3) {
        printf("usage: probe.exe PLUGIN.dll OUT_FOLDER\n");
        exit(2);
    }
    exit(probe(argv[1], argv[2]));
}
