// The plug-in frame as the host sees it through the loaded library.
#include <cstring>

#include "browserinterface.h"
#include "exporterinterface.h"
#include "importerinterface.h"
#include "support.h"
#include "vantelids.h"

namespace {

using host::Interface_kind;

component_id word(uint32_t first) { return component_id{{first, 0x53B811D9, 0xBCFF000A, 0x95BACEB2}}; }

interface_id with_byte_changed(interface_id id, std::size_t byte)
{
    auto* bytes = reinterpret_cast<unsigned char*>(&id);
    bytes[byte] ^= 0x01;
    return id;
}

TEST(Frame, CountsComponentsOfEachKnownInterface)
{
    auto& p = test::plugin();
    EXPECT_EQ(p.has_interface(exporter_iid, nullptr), 1);
    EXPECT_EQ(p.has_interface(importer_iid, nullptr), 1);
    EXPECT_EQ(p.has_interface(browser_iid, nullptr), 3);
}

TEST(Frame, AnIdDifferingInAnyOneByteIsUnknown)
{
    auto& p = test::plugin();
    test::Session session;
    for (interface_id const& known : {exporter_iid, importer_iid, browser_iid}) {
        for (std::size_t byte = 0; byte < sizeof(interface_id); ++byte) {
            interface_id const other = with_byte_changed(known, byte);
            EXPECT_EQ(p.has_interface(other, nullptr), 0) << "byte " << byte;
            EXPECT_EQ(p.get_name(other, 0, &session.services, nullptr), nullptr);
            EXPECT_EQ(p.get_uuid(other, 0, nullptr), component_id{});
            plugin_interface* out = reinterpret_cast<plugin_interface*>(0x1234);
            p.create_interface(other, 0, &out, &session.services, nullptr);
            EXPECT_EQ(out, reinterpret_cast<plugin_interface*>(0x1234));
        }
    }
}

TEST(Frame, IdsOfComponentsByInterfaceAndIndex)
{
    auto& p = test::plugin();
    EXPECT_EQ(p.get_uuid(exporter_iid, 0, nullptr), word(0x50020010));
    EXPECT_EQ(p.get_uuid(importer_iid, 0, nullptr), word(0x50020020));
    EXPECT_EQ(p.get_uuid(browser_iid, 0, nullptr), word(0x50020001));
    EXPECT_EQ(p.get_uuid(browser_iid, 1, nullptr), word(0x50020002));
    EXPECT_EQ(p.get_uuid(browser_iid, 2, nullptr), word(0x50020003));
    // Stored little-endian, four words.
    component_id const id = p.get_uuid(exporter_iid, 0, nullptr);
    unsigned char const expected[16] = {0x10, 0x00, 0x02, 0x50, 0xD9, 0x11, 0xB8, 0x53,
                                        0x0A, 0x00, 0xFF, 0xBC, 0xB2, 0xCE, 0xBA, 0x95};
    EXPECT_EQ(std::memcmp(&id, expected, 16), 0);
}

TEST(Frame, ExporterAndImporterAnswerAnyIndexAsIndexZero)
{
    auto& p = test::plugin();
    test::Session session;
    for (interface_id const& iid : {exporter_iid, importer_iid}) {
        EXPECT_EQ(p.get_uuid(iid, 7, nullptr), p.get_uuid(iid, 0, nullptr));
        EXPECT_STREQ(p.get_name(iid, 7, &session.services, nullptr), p.get_name(iid, 0, &session.services, nullptr));
        plugin_interface* component = nullptr;
        p.create_interface(iid, 7, &component, &session.services, nullptr);
        ASSERT_NE(component, nullptr);
        EXPECT_EQ(component->get_uuid(), p.get_uuid(iid, 0, nullptr));
        EXPECT_EQ(component->Release(), 0u);
    }
}

TEST(Frame, BrowserIndexOutOfRangeGivesNothingAndLeavesTheOutArgument)
{
    auto& p = test::plugin();
    test::Session session;
    for (int index : {3, -1}) {
        plugin_interface* out = reinterpret_cast<plugin_interface*>(0x5678);
        p.create_interface(browser_iid, index, &out, &session.services, nullptr);
        EXPECT_EQ(out, reinterpret_cast<plugin_interface*>(0x5678));
        EXPECT_EQ(p.get_uuid(browser_iid, index, nullptr), component_id{});
        EXPECT_EQ(p.get_name(browser_iid, index, &session.services, nullptr), nullptr);
    }
}

TEST(Frame, ReferenceCountingDestroysOnTheLastRelease)
{
    test::Session session;
    // The exporter holds a reference to each stream; its destruction gives them back.
    host::Export_object object(session.scene, "");
    plugin_interface* component = test::plugin().create(Interface_kind::exporter, 0, session.services);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->reference_count, 1);
    object.exporter = static_cast<exporter_interface*>(component);
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    object.exporter->do_export(&object);
    EXPECT_EQ(object.stream->reference_count, 1);
    EXPECT_EQ(object.text_stream->reference_count, 1);

    EXPECT_EQ(component->AddRef(), 2u);
    EXPECT_EQ(component->Release(), 1u);
    EXPECT_EQ(object.stream->reference_count, 1);
    EXPECT_EQ(component->Release(), 0u);
    EXPECT_EQ(object.stream->reference_count, 0);
    EXPECT_EQ(object.text_stream->reference_count, 0);
}

TEST(Frame, TheSameStreamHandedOutTwiceIsHeldOnce)
{
    test::Session session;
    host::Export_object object(session.scene, "");
    host::Component component(test::plugin(), Interface_kind::exporter, 0, session.services);
    object.exporter = static_cast<exporter_interface*>(component.get());
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    object.exporter->do_export(&object);
    object.exporter->do_export(&object);
    EXPECT_EQ(object.stream->reference_count, 1);
    EXPECT_EQ(object.text_stream->reference_count, 1);
}

TEST(Frame, QueryInterfaceNeverHandsOutAnInterface)
{
    test::Session session;
    for (Interface_kind kind : {Interface_kind::exporter, Interface_kind::importer, Interface_kind::browser}) {
        host::Component component(test::plugin(), kind, 0, session.services);
        void* out = reinterpret_cast<void*>(0x99);
        HRESULT const code = component.get()->QueryInterface(host::iid_of(kind), &out);
        EXPECT_EQ(static_cast<uint32_t>(code), 0x80004002u);
        EXPECT_EQ(out, reinterpret_cast<void*>(0x99));
        EXPECT_TRUE(component.get()->is_implemented());
    }
}

TEST(Frame, InfoFillsOnlyItsLastFourFields)
{
    plugin_info info{-7, 42, 1, 2, 3, 4};
    test::plugin().get_info(&info, nullptr, nullptr);
    EXPECT_EQ(info.host_field_0, -7);
    EXPECT_EQ(info.host_field_1, 42);
    EXPECT_EQ(info.major_version, 10);
    EXPECT_EQ(info.minor_version, 0);
    EXPECT_EQ(info.micro_version, 0);
    EXPECT_EQ(info.build_number, 5);
    EXPECT_FALSE(test::plugin().is_resident(nullptr, nullptr, nullptr));
    EXPECT_FALSE(test::plugin().has_separate_interfaces(nullptr));
}

TEST(Frame, EveryComponentAnswersItsVersionAndId)
{
    test::Session session;
    struct Case {
        Interface_kind kind;
        int index;
        uint32_t first;
    } const cases[] = {{Interface_kind::exporter, 0, 0x50020010}, {Interface_kind::importer, 0, 0x50020020},
                       {Interface_kind::browser, 0, 0x50020001},  {Interface_kind::browser, 1, 0x50020002},
                       {Interface_kind::browser, 2, 0x50020003}};
    for (Case const& c : cases) {
        host::Component component(test::plugin(), c.kind, c.index, session.services);
        ASSERT_TRUE(component);
        EXPECT_EQ(component.get()->get_vantel_version(), 430286);
        EXPECT_EQ(component.get()->get_uuid(reinterpret_cast<void*>(1)), word(c.first));
        EXPECT_FALSE(component.get()->undoable());
    }
}

TEST(Frame, FileTypesOfTheExporterAndImporter)
{
    for (int language : {host::language_english, host::language_japanese}) {
        test::Session session(language);
        host::Component exporter(test::plugin(), Interface_kind::exporter, 0, session.services);
        auto* e = static_cast<exporter_interface*>(exporter.get());
        EXPECT_STREQ(e->get_file_extension(), "vsk");
        EXPECT_TRUE(e->skips_dialog());
        host::Component importer(test::plugin(), Interface_kind::importer, 0, session.services);
        auto* i = static_cast<importer_interface*>(importer.get());
        EXPECT_EQ(i->get_number_of_file_extensions(), 1);
        EXPECT_STREQ(i->get_file_extension(0), "vsk");
        EXPECT_STREQ(i->get_file_extension(3), "vsk");
        if (language == host::language_english) {
            EXPECT_STREQ(e->get_file_description(), "Save skin");
            EXPECT_STREQ(i->get_file_extension_description(2), "Vantel skin file");
        } else {
            EXPECT_STREQ(e->get_file_description(), "スキン保存");
            EXPECT_STREQ(i->get_file_extension_description(2), "Vantelスキンファイル");
        }
    }
}

TEST(Frame, ReservedSlotsRefuseToBeCalled)
{
    test::Session session;
    host::Component exporter(test::plugin(), Interface_kind::exporter, 0, session.services);
    host::Component importer(test::plugin(), Interface_kind::importer, 0, session.services);
    host::Component command(test::plugin(), Interface_kind::browser, 0, session.services);
    auto message = [](auto&& call) {
#if defined(TAVRIK_MSVC_LAYOUT)
        // Thrown for a host built with Microsoft's compiler: a `char const*`
        // in its ABI, which the guard stops and copies.
        tavrik_host_exception_record record{};
        if (tavrik_run_guarded([](void* c) { (*static_cast<decltype(&call)>(c))(); }, &call, &record) == 0)
            return std::string("no exception");
        std::string const text = *static_cast<char const* const*>(record.object);
        tavrik_drop_host_exception(&record);
        return text;
#else
        try {
            call();
        } catch (std::logic_error const& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
#endif
    };
    EXPECT_EQ(message([&] { exporter.get()->reserved_plugin_1(); }), "invalid interface plugin_interface");
    EXPECT_EQ(message([&] { static_cast<exporter_interface*>(exporter.get())->reserved_exporter_0(); }),
              "invalid interface exporter_interface");
    EXPECT_EQ(message([&] { static_cast<importer_interface*>(importer.get())->reserved_importer_1(); }),
              "invalid interface importer_interface");
    EXPECT_EQ(message([&] { static_cast<browser_interface*>(command.get())->reserved_browser_0(); }),
              "invalid interface browser_interface");
}

#if defined(TAVRIK_MSVC_LAYOUT)
TEST(Frame, AnAllocationFailureReachesTheHostAsItsOwnBadAlloc)
{
    // What a component lets pass reaches a host built with Microsoft's
    // compiler in that compiler's terms: std::bad_alloc, matched by its name.
    tavrik_host_exception_record record{};
    auto run = [](void*) { for_host([]() -> int { throw std::bad_alloc(); }); };
    ASSERT_EQ(tavrik_run_guarded(run, nullptr, &record), 0xE06D7363ul);
    // The descriptions the host's handlers read: offsets from the image base
    // on x64, addresses on x86.
    auto at = [&](std::int32_t offset) {
        return reinterpret_cast<char const*>(reinterpret_cast<std::uintptr_t>(record.image_base) +
                                             static_cast<std::uintptr_t>(static_cast<std::intptr_t>(offset)));
    };
    auto const* info = static_cast<std::int32_t const*>(record.throw_info);          // attributes, destructor, forward, types
    auto const* types = reinterpret_cast<std::int32_t const*>(at(info[3]));          // count, then each type
    auto const* type = reinterpret_cast<std::int32_t const*>(at(types[1]));          // properties, then the descriptor
    char const* const name = at(type[1]) + 2 * sizeof(void*);                        // after the vtable and a spare pointer
    EXPECT_STREQ(name, ".?AVbad_alloc@std@@");
    tavrik_drop_host_exception(&record);
}
#endif

TEST(Frame, MenuNamesInEnglishAndJapanese)
{
    std::vector<std::string> const english = {"Save skin", "Load skin", "Clear skin", "joint clear in skins",
                                              "Reset transformation"};
    std::vector<std::string> const japanese = {"スキン保存", "スキン読込", "スキンクリア", "スキン内ジョイントクリア",
                                               "変換マトリックスリセット"};
    for (auto const& [language, names] : {std::pair{host::language_english, english}, std::pair{host::language_japanese, japanese}}) {
        test::Session session(language);
        std::vector<std::string> menu;
        for (host::Menu_entry const& entry : test::plugin().menu(session.services))
            menu.push_back(entry.name);
        EXPECT_EQ(menu, names);
    }
}

}  // namespace

namespace {

TEST(Frame, TheLoaderFindsTheSevenExportsAndNothingElse)
{
    std::shared_ptr<host::Library> library = host::open_library(test::plugin_path());
    for (char const* name : host::export_names)
        EXPECT_NE(library->symbol(name), nullptr) << name;
    // Internal symbols, plain and mangled, stay hidden; so do the other spelling
    // of each export (plain on 32-bit Windows, decorated elsewhere).
    for (char const* name : {"sp_char", "_Z16create_componentRK12interface_idiP16vantel_interface", "N_STR",
                             "_Z14reverse_matrix4mat4",
#if defined(_WIN32) && !defined(_WIN64)
                             "has_interface", "get_uuid", "get_uuid@12", "_get_uuid@12"
#else
                             "_has_interface@8", "_get_uuid@16"
#endif
         })
        EXPECT_EQ(library->symbol(name), nullptr) << name;
}

TEST(Frame, ALibraryThatCannotBeLoadedIsReportedWithItsPath)
{
    std::string const path = test::source_dir() + "/tests/data/no-such-library";
    try {
        host::open_library(path);
        ADD_FAILURE() << "loaded a library that does not exist";
    } catch (host::host_error const& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
}

}  // namespace

#if defined(_WIN32)
#include <windows.h>

namespace {

std::wstring wide(std::string const& text)
{
    std::wstring out(text.size(), L'\0');
    int const n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                      static_cast<int>(out.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

TEST(Frame, TheLibraryCarriesItsVersionBlock)
{
    std::wstring const path = wide(test::plugin_path());
    DWORD ignored = 0;
    DWORD const size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020008u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020008u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 0x04B0);

    std::vector<std::pair<std::wstring, std::wstring>> const strings = {
        {L"FileDescription", L"Vantel plugin"}, {L"InternalName", L"Vantel plugin"},
        {L"ProductName", L"Vantel plugin"},     {L"FileVersion", L"2, 8, 0, 0"},
        {L"ProductVersion", L"2, 8, 0, 0"},
    };
    for (auto const& [name, expected] : strings) {
        wchar_t* value = nullptr;
        std::wstring const query = L"\\StringFileInfo\\041104b0\\" + name;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << std::string(name.begin(), name.end());
        EXPECT_EQ(std::wstring(value), expected) << std::string(name.begin(), name.end());
    }
}

}  // namespace
#endif
