#include "exchange.h"

#include "exporterinterface.h"
#include "faults.h"
#include "importerinterface.h"
#include "browserinterface.h"

namespace host {

Component::Component(Plugin const& plugin, Interface_kind kind, int index, vantel_interface& vantel)
    : component_(plugin.create(kind, index, vantel))
{
}

Component::~Component()
{
    if (component_)
        component_->Release();
}

Export_object::Export_object(Model_scene& scene_, std::string const& path)
    : scene(scene_),
      stream(path.empty() ? Binary_stream::collector() : Binary_stream::writer(path)),
      text_stream(path.empty() ? Text_stream::collector() : Text_stream::writer(path))
{
}

scene_interface* Export_object::get_scene(void*)
{
    check("export.get_scene");
    scene.AddRef();
    return &scene;
}

stream_interface* Export_object::get_stream(void*)
{
    check("export.get_stream");
    stream->AddRef();
    return stream.get();
}

text_stream_interface* Export_object::get_text_stream(void*)
{
    check("export.get_text_stream");
    text_stream->AddRef();
    return text_stream.get();
}

void Export_object::run_export(void*)
{
    check("export.run_export");
    if (exporter)
        exporter->start();
    // What the buffers still hold reaches the file before the export ends,
    // so that a refused write is reported to the exporter and not lost at close.
    stream->flush();
    text_stream->flush();
}

void Export_object::print_message(char const* text, void*) { scene.services().print_message(text); }

char const* Export_object::get_special_characters(void*)
{
    check("export.get_special_characters");
    return scene.special_characters.c_str();
}

void Export_object::close()
{
    stream->close();
    text_stream->close();
}

void run_save(Plugin const& plugin, Host_services& services, Model_scene& scene, std::string const& path)
{
    Export_object object(scene, path);
    {
        Component component(plugin, Interface_kind::exporter, 0, services);
        if (!component)
            throw host_error("the plug-in has no exporter");
        object.exporter = static_cast<exporter_interface*>(component.get());
        object.exporter->do_export(&object);
    }
    object.close();
    if (object.stream->failed() || object.text_stream->failed())
        throw host_error("the skin file " + path + " was not written whole: " +
                         (object.stream->failed() ? object.stream->failure() : object.text_stream->failure()));
}

Saved_file run_save_to_memory(Plugin const& plugin, Host_services& services, Model_scene& scene)
{
    Export_object object(scene, "");
    {
        Component component(plugin, Interface_kind::exporter, 0, services);
        if (!component)
            throw host_error("the plug-in has no exporter");
        object.exporter = static_cast<exporter_interface*>(component.get());
        object.exporter->do_export(&object);
    }
    return Saved_file{object.stream->bytes(), object.text_stream->text()};
}

namespace {

void import_streams(Plugin const& plugin, Host_services& services, Model_scene& scene, Binary_stream& stream,
                    Text_stream& text_stream)
{
    Component component(plugin, Interface_kind::importer, 0, services);
    if (!component)
        throw host_error("the plug-in has no importer");
    auto* importer = static_cast<importer_interface*>(component.get());
    importer->do_import(&scene, &stream, &text_stream);
}

}  // namespace

void run_load(Plugin const& plugin, Host_services& services, Model_scene& scene, std::string const& path)
{
    // One window over the file serves both views.
    std::shared_ptr<Read_source> source = Read_source::file(path);
    if (Progress_bar* bar = services.progress_bar)
        source->on_fill = [bar](std::uint64_t done, std::uint64_t size) { bar->bytes(done, size); };
    auto stream = Binary_stream::reader(source);
    auto text_stream = Text_stream::reader(source);
    import_streams(plugin, services, scene, *stream, *text_stream);
}

void run_load_from_memory(Plugin const& plugin, Host_services& services, Model_scene& scene,
                          std::vector<char> const& bytes)
{
    std::shared_ptr<Read_source> source = Read_source::memory(std::string(bytes.begin(), bytes.end()));
    auto stream = Binary_stream::reader(source);
    auto text_stream = Text_stream::reader(source);
    import_streams(plugin, services, scene, *stream, *text_stream);
}

bool run_command(Plugin const& plugin, Host_services& services, Model_scene& scene, int index)
{
    Component component(plugin, Interface_kind::browser, index, services);
    if (!component)
        throw host_error("the plug-in has no command " + std::to_string(index));
    return static_cast<browser_interface*>(component.get())->do_browser(&scene);
}

}  // namespace host
