// The resource documents as shipped, and the texts and dialogs the host
// shows from them.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "support.h"
#include "vantelids.h"

namespace {

std::string source_document(std::string const& language, std::string const& name)
{
    std::ifstream in(test::source_dir() + "/resources/" + language + "/" + name + ".xml", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using Rows = std::vector<std::pair<std::string, std::string>>;

TEST(Resources, EveryDocumentIsUtf8WithAnXmlDeclaration)
{
    for (char const* language : {"1033", "1041"})
        for (char const* name : {"TEXT", "EXPORT_DIALOG_ID", "IMPORT_DIALOG_ID"}) {
            std::string const xml = source_document(language, name);
            EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << language << "/" << name;
        }
}

TEST(Resources, TheLoadedLibraryCarriesEveryDocumentAsShipped)
{
    std::shared_ptr<host::Resource_source const> library = test::plugin().resources();
    for (int language : {host::language_english, host::language_japanese})
        for (char const* name : {"TEXT", "EXPORT_DIALOG_ID", "IMPORT_DIALOG_ID"}) {
            std::optional<std::string> const document = library->document(name, language);
            ASSERT_TRUE(document) << language << "/" << name;
            EXPECT_EQ(*document, source_document(std::to_string(language), name)) << language << "/" << name;
        }
    EXPECT_FALSE(library->document("NO_SUCH_DIALOG", host::language_english));
}

TEST(Resources, MalformedDocumentsAreReportedWithWhereTheyBreak)
{
    struct Case {
        std::string xml;
        std::string message;
    };
    std::vector<Case> const cases = {
        {"<strings><string id=\"a\" value=\"b\"></strings>", "string table: "},
        {"<strings><string id=\"a\" value=\"b\"/>", "string table: "},
        {"<?xml version=\"1.0\"?><texts/>", "string table: no <strings> element"},
    };
    for (Case const& c : cases) {
        try {
            host::parse_string_table(c.xml);
            ADD_FAILURE() << "accepted " << c.xml;
        } catch (host::host_error const& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
        }
    }
    try {
        host::parse_string_table(cases[0].xml);
    } catch (host::host_error const& error) {
        EXPECT_NE(std::string(error.what()).find(" at byte 43"), std::string::npos) << error.what();
    }
    EXPECT_THROW(host::parse_dialog_document("<dialog title=\"t\"><vbox></dialog>"), host::host_error);
    EXPECT_THROW(host::parse_dialog_document("<window/>"), host::host_error);
    // Entities are read as the characters they stand for.
    EXPECT_EQ(host::parse_string_table("<strings><string id=\"a&amp;b\" value=\"&lt;&#x3042;&gt;\"/></strings>").rows,
              (Rows{{"a&b", "<\xe3\x81\x82>"}}));
}

TEST(Resources, EnglishStringTableRowsInOrder)
{
    Rows const expected = {
        {"major_version", "10"},
        {"minor_version", "0"},
        {"micro_version", "0"},
        {"build_number", "3"},
        {"product_name", "tavrik"},
        {"author", "ZEMO"},
        {"company", ""},
        {"comments", "export and inport skins and other skin utility plugin"},
        {"caution", "Clear transformation matrix of all selected shapes.\\nIf reset target has skin to unselected "
                    "shape, this shape will modify position."},
        {"invalide_name", "Can't save this shape name:%s. Use binary mode."},
        {"Can't save a weight that is not a number:%s. Use binary mode.",
         "Can't save a weight that is not a number:%s. Use binary mode."},
        {"Can't save a joint whose name holds the byte 0xFF, bound in:%s.",
         "Can't save a joint whose name holds the byte 0xFF, bound in:%s."},
    };
    EXPECT_EQ(host::parse_string_table(source_document("1033", "TEXT")).rows, expected);
}

TEST(Resources, JapaneseStringTableRowsInOrder)
{
    Rows const expected = {
        {"major_version", "10"},
        {"minor_version", "0"},
        {"micro_version", "0"},
        {"build_number", "3"},
        {"product_name", "タヴリク"},
        {"author", "ZEMO"},
        {"company", ""},
        {"comments", "スキンのエキスポーター/インポーター及びその他のスキンツール plugin"},
        {"Save skin", "スキン保存"},
        {"Load skin", "スキン読込"},
        {"Clear skin", "スキンクリア"},
        {"joint clear in skins", "スキン内ジョイントクリア"},
        {"Reset transformation", "変換マトリックスリセット"},
        {"skin clear mode", "スキンクリアモード "},
        {"hold points position.", "ポイント位置を保持 "},
        {"Is'nt installed joint_window.", "ジョイントウインドウがインストールされてません．"},
        {"Can't get joint.", "ジョイントが取得できませんでした。"},
        {"Invalide joint.", "正規のジョイントでは有りません。"},
        {"caution", "記憶された形状以外の選択されたパート内の変換マトリックスを全てリセットします.\\nリセットするジョイントの"
                    "スキンが掛かっている選択領域外の形状が変形する可能性があります。"},
        {"joint name save mode", "ジョイント名モード"},
        {"invalide_name", "この形状名:%s はテキストモードでは保存できません。バイナリモードで保存してください。"},
        {"not skin file!", "スキンファイルでは有りません。"},
        {"not found name:%s->%s.", "親形状[%s]から形状[%s]が見つかりません."},
        {"Vantel skin file", "Vantelスキンファイル"},
        {"Invalide selected shape!", "選択形状が不正です"},
        {"clear only active points.", "選択ポイントのみクリアする."},
        // Added after the published rows, which stay as they were.
        {"Can't save a weight that is not a number:%s. Use binary mode.",
         "数値でないウェイトは保存できません:%s。バイナリモードで保存してください。"},
        {"Can't save a joint whose name holds the byte 0xFF, bound in:%s.",
         "名前にバイト0xFFを含むジョイントは保存できません。バインド先:%s。"},
    };
    EXPECT_EQ(host::parse_string_table(source_document("1041", "TEXT")).rows, expected);
}

struct Dialog_case {
    char const* language;
    char const* name;
    char const* title;
    std::vector<host::Dialog_item_spec> items;
};

TEST(Resources, DialogDocumentsItemsAndDefaults)
{
    using Item = host::Dialog_item_spec;
    std::vector<Dialog_case> const cases = {
        {"1033", "EXPORT_DIALOG_ID", "skin apply mode",
         {Item{"selection", 10, "Range:|All|Selected", "1"}, Item{"selection", 11, "Type:|Text|Binary", "0"},
          Item{"bool", 12, "Save full path joint name.", "true"},
          Item{"bool", 13, "Trim special charactors from name", "false"}}},
        {"1041", "EXPORT_DIALOG_ID", "出力設定",
         {Item{"selection", 10, "範囲:|全形状|選択形状", "1"}, Item{"selection", 11, "形式:|テキスト|バイナリ", "0"},
          Item{"bool", 12, "ジョイント名:フルパス保存", "true"}, Item{"bool", 13, "形状の特殊文字を削除して保存", "false"}}},
        {"1033", "IMPORT_DIALOG_ID", "skin apply mode",
         {Item{"selection", 10, "Apply|Newly|Overwrite", "0"}, Item{"bool", 11, "Hold points position", "false"},
          Item{"bool", 12, "Trim special_charactor", "true"},
          Item{"bool", 13, "Skin joints are out of selected span", "true"}, Item{"bool", 14, "Verbose", "false"}}},
        {"1041", "IMPORT_DIALOG_ID", "スキン適用モード",
         {Item{"selection", 10, "適用|新規設定|追加", "0"}, Item{"bool", 11, "ポイント位置を保持", "false"},
          Item{"bool", 12, "特殊文字を無視", "true"}, Item{"bool", 13, "スキン元ジョイントは選択形状外", "true"},
          Item{"bool", 14, "饒舌な経過メッセージ", "false"}}},
    };
    for (Dialog_case const& c : cases) {
        host::Dialog_document const d = host::parse_dialog_document(source_document(c.language, c.name));
        EXPECT_EQ(d.title, c.title);
        EXPECT_EQ(d.default_button, "true");
        ASSERT_EQ(d.items.size(), c.items.size()) << c.language << c.name;
        for (std::size_t i = 0; i < d.items.size(); ++i) {
            EXPECT_EQ(d.items[i].kind, c.items[i].kind);
            EXPECT_EQ(d.items[i].id, c.items[i].id);
            EXPECT_EQ(d.items[i].label, c.items[i].label);
            EXPECT_EQ(d.items[i].default_value, c.items[i].default_value);
        }
    }
}

TEST(Resources, CatalogueFallsBackToTheKeyAndTurnsBackslashNIntoALineBreak)
{
    test::Session english;
    EXPECT_STREQ(english.services.gettext("Clear skin"), "Clear skin");
    EXPECT_STREQ(english.services.gettext("caution"),
                 "Clear transformation matrix of all selected shapes.\nIf reset target has skin to unselected shape, "
                 "this shape will modify position.");
    test::Session japanese(host::language_japanese);
    EXPECT_STREQ(japanese.services.gettext("skin clear mode"), "スキンクリアモード ");
    EXPECT_STREQ(japanese.services.gettext("not found name:%s->%s"), "not found name:%s->%s");
}

TEST(Resources, TheExportDialogOpensFromItsDocumentWithItsDefaults)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    host::run_save_to_memory(test::plugin(), session.services, session.scene);
    ASSERT_EQ(session.services.dialogs.size(), 1u);
    host::Shown_dialog const& shown = session.services.dialogs[0];
    EXPECT_EQ(shown.document, "export_dialog_id");
    EXPECT_EQ(shown.title, "skin apply mode");
    EXPECT_EQ(shown.id, test::plugin().get_uuid(exporter_iid, 0, nullptr));
    std::vector<int> values;
    for (auto const& item : shown.items)
        values.push_back(item.value);
    EXPECT_EQ(values, (std::vector<int>{1, 0, 1, 0}));  // Selected, Text, full path on, trim off
    session.expect_balanced();
}

TEST(Resources, TheImportDialogOpensFromItsDocumentWithItsDefaults)
{
    test::Session session(host::language_japanese);
    session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    host::run_load_from_memory(test::plugin(), session.services, session.scene, {});
    ASSERT_EQ(session.services.dialogs.size(), 1u);
    host::Shown_dialog const& shown = session.services.dialogs[0];
    EXPECT_EQ(shown.document, "import_dialog_id");
    EXPECT_EQ(shown.title, "スキン適用モード");
    std::vector<int> values;
    for (auto const& item : shown.items)
        values.push_back(item.value);
    EXPECT_EQ(values, (std::vector<int>{0, 0, 1, 1, 0}));  // Newly, hold off, trim on, joints from root, quiet
    session.expect_balanced();
}

}  // namespace

namespace {

// The document dialogs of "Save skin" and "Load skin" open in the order their
// steps give, and are given back when any step fails, the failure passing on.
TEST(Resources, DocumentDialogsOpenInOrderAndAreGivenBackOnEveryPath)
{
    std::vector<std::string> const steps = {"vantel.create_dialog", "dialog.load_dialog", "dialog.set_responder",
                                            "dialog.ask"};
    for (bool save : {true, false}) {
        auto run = [&](test::Session& session) {
            session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
            if (save)
                host::run_save_to_memory(test::plugin(), session.services, session.scene);
            else
                host::run_load_from_memory(test::plugin(), session.services, session.scene, {});
        };
        {
            test::Session session;
            session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
            host::calls().start();
            run(session);
            std::vector<std::string> opened;
            for (std::string const& call : host::calls().stop())
                if (call.rfind("dialog.", 0) == 0 || call == "vantel.create_dialog")
                    opened.push_back(call);
            std::vector<std::string> expected = steps;
            expected.push_back("dialog.Release");
            EXPECT_EQ(opened, expected) << (save ? "save" : "load");
        }
        for (std::string const& step : steps) {
            test::Session session;
            session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
            host::faults().arm(step);
            EXPECT_THROW(run(session), host::host_error) << step;
            EXPECT_EQ(session.services.live_dialogs, 0) << (save ? "save, " : "load, ") << step;
        }
    }
}

// Dialog callbacks that reach an exporter before its dialog was opened by
// do_export read nothing and export nothing.
TEST(Resources, AnExporterWhoseDialogNeverOpenedIgnoresItsCallbacks)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
    plugin_interface* exporter = test::plugin().create(host::Interface_kind::exporter, 0, session.services);
    ASSERT_NE(exporter, nullptr);
    dialog_interface* dialog = session.services.create_dialog(component_id{});
    dialog->load_dialog("export_dialog_id");
    host::calls().start();
    exporter->save_dialog_data(*dialog);
    EXPECT_EQ(exporter->terminate(*dialog, 1), 1);
    std::vector<std::string> const calls = host::calls().stop();
    EXPECT_TRUE(calls.empty()) << calls.front();
    dialog->Release();
    exporter->Release();
    session.expect_balanced();
}

// An exporter gives its streams back when it goes: the binary one, then the text one.
TEST(Resources, AnExporterReleasesItsBinaryStreamThenItsTextStream)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
    host::calls().start();
    session.save({{10, 0}});
    std::vector<std::string> released;
    for (std::string const& call : host::calls().stop())
        if (call == "stream.Release" || call == "text_stream.Release")
            released.push_back(call);
    EXPECT_EQ(released, (std::vector<std::string>{"stream.Release", "text_stream.Release"}));
    session.expect_balanced();
}

// No text is kept: each use looks it up again, so a host that changes its
// language, or its catalogue, is followed at once.
TEST(Resources, EveryUseOfATextLooksItUpAgain)
{
    test::Session english, japanese(host::language_japanese);
    host::calls().start();
    for (int i = 0; i < 2; ++i) {
        EXPECT_STREQ(test::plugin().get_name(browser_iid, 0, &english.services, nullptr), "Clear skin");
        EXPECT_STREQ(test::plugin().get_name(browser_iid, 0, &japanese.services, nullptr), "スキンクリア");
    }
    std::vector<std::string> const calls = host::calls().stop();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "catalog.lookup_text"), 4);
}

}  // namespace
