// Skin files at the limits of their format: names that only some separators
// can carry, bytes no form can carry, extreme weights, and the exporter's
// failures. Each saved file is loaded back: a name written must read back as
// itself, or not be written at all.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <cmath>
#include <functional>

#include "exporterinterface.h"
#include "format.h"
#include "support.h"

namespace {

using test::Bindings;
using test::bindings_of;

constexpr int text_form = 0, binary_form = 1;

// What a save with range "All" wrote and showed, and the vertex skins of
// root/mesh after the file was loaded into the same scene without them.
struct Round_trip {
    std::string written;
    std::vector<std::string> message_boxes;
    std::vector<Bindings> skins;
};

Round_trip round_trip(char const* scene, int form, bool full_path = true,
                      std::function<void(test::Session&)> const& prepare = {})
{
    Round_trip out;
    test::Session source;
    source.load_scene(scene);
    if (prepare)
        prepare(source);
    host::Saved_file const file = source.save({{10, 0}, {11, form}, {12, full_path ? 1 : 0}});
    out.written = form == binary_form ? std::string(file.binary.begin(), file.binary.end()) : file.text;
    for (auto const& box : source.services.message_boxes)
        out.message_boxes.push_back(box.text);

    test::Session target;
    target.load_scene(scene);
    host::Model_shape& mesh = target.shape("root/mesh");
    for (auto& v : mesh.vertices)
        v.skin.clear();
    target.load(std::vector<char>(out.written.begin(), out.written.end()));
    for (auto const& v : mesh.vertices)
        out.skins.push_back(bindings_of(v.skin));
    return out;
}

TEST(SkinFileNames, AnEmptyComponentNeverTakesTheColonAsSeparator)
{
    // A part named "" holds the joint "x/y": the slash is taken, and the
    // colon would put "::" inside the path, which ends a name early.
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "part", "name": "", "children": [{"kind": "rotator", "name": "x/y", "id": "xy"}]},
        {"kind": "polygon", "name": "mesh", "vertices": [{"position": [0,0,0], "skin": [{"joint": "@xy", "weight": 0.5}]}]}]}})";
    Round_trip const text = round_trip(scene, text_form);
    EXPECT_NE(text.written.find("0:1:0.5\"root\"\"x/y\":\n"), std::string::npos) << text.written;
    EXPECT_EQ(text.skins, (std::vector<Bindings>{{{"x/y", 0.5f}}}));
    EXPECT_EQ(round_trip(scene, binary_form).skins, (std::vector<Bindings>{{{"x/y", 0.5f}}}));
}

TEST(SkinFileNames, AComponentLedByAColonHasNoTextForm)
{
    // The joint :hand is a record of its own too: its name, which holds ":",
    // has no text form either, so it is refused first.
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "arm", "children": [{"kind": "rotator", "name": ":hand"}]},
        {"kind": "polygon", "name": "mesh", "vertices": [
            {"position": [0,0,0], "skin": [{"joint": "root/arm/:hand", "weight": 1}]},
            {"position": [1,0,0], "skin": [{"joint": "root/arm", "weight": 1}]}]}]}})";
    Round_trip const text = round_trip(scene, text_form);
    EXPECT_EQ(text.message_boxes, (std::vector<std::string>{"Can't save this shape name::hand. Use binary mode."}));
    EXPECT_EQ(text.skins, (std::vector<Bindings>{{}, {}}));
    EXPECT_EQ(round_trip(scene, binary_form).skins, (std::vector<Bindings>{{{":hand", 1.0f}}, {{"arm", 1.0f}}}));
}

TEST(SkinFileNames, AColonLedJointPathIsRefusedAndNeverReadAsAnotherJoint)
{
    // Saving only the mesh, the joint's path /root/arm/:hand/: would read
    // back as "arm": the exporter refuses it, and nothing is bound wrongly.
    constexpr char const scene[] = R"({"selection": ["root/mesh"], "root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "arm", "children": [{"kind": "rotator", "name": ":hand"}]},
        {"kind": "polygon", "name": "mesh", "vertices": [
            {"position": [0,0,0], "skin": [{"joint": "root/arm/:hand", "weight": 1}]},
            {"position": [1,0,0], "skin": [{"joint": "root/arm", "weight": 1}]}]}]}})";
    auto selected = [](test::Session& s) { s.scene.active = {&s.shape("root/mesh")}; };
    test::Session source;
    source.load_scene(scene);
    selected(source);
    host::Saved_file const file = source.save({{11, text_form}});
    ASSERT_EQ(source.services.message_boxes.size(), 1u);
    EXPECT_EQ(source.services.message_boxes[0].text, "Can't save this shape name:mesh. Use binary mode.");
    test::Session target;
    target.load_scene(scene);
    target.shape("root/mesh").vertices[0].skin.clear();
    target.shape("root/mesh").vertices[1].skin.clear();
    target.load(file.text);
    EXPECT_TRUE(target.shape("root/mesh").vertices[0].skin.bindings().empty());
    // Without full paths the own name :hand has a text form.
    source.services.message_boxes.clear();
    std::string const own = source.save({{11, text_form}, {12, 0}}).text;
    EXPECT_TRUE(source.services.message_boxes.empty());
    target.load(own);
    EXPECT_EQ(bindings_of(target.shape("root/mesh").vertices[0].skin), (Bindings{{":hand", 1.0f}}));
    EXPECT_EQ(bindings_of(target.shape("root/mesh").vertices[1].skin), (Bindings{{"arm", 1.0f}}));
}

TEST(SkinFileNames, AByteFFInAJointNameIsRefusedInBothForms)
{
    // "a\xFFb" would read back as b below a.
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "a", "children": [{"kind": "rotator", "name": "b"}]},
        {"kind": "rotator", "name_hex": "61ff62", "id": "ff"},
        {"kind": "polygon", "name": "mesh", "vertices": [{"position": [0,0,0], "skin": [{"joint": "@ff"}]}]}]}})";
    for (int form : {text_form, binary_form}) {
        for (bool full_path : {true, false}) {
            Round_trip const trip = round_trip(scene, form, full_path);
            EXPECT_EQ(trip.message_boxes,
                      (std::vector<std::string>{"Can't save a joint whose name holds the byte 0xFF, bound in:mesh."}))
                << form << full_path;
            EXPECT_EQ(trip.skins, (std::vector<Bindings>{{}})) << form << full_path;
        }
    }
    // A user of the Japanese host reads it in Japanese.
    test::Session japanese(host::language_japanese);
    japanese.load_scene(scene);
    japanese.scene.active.clear();
    japanese.save({{10, 0}, {11, binary_form}});
    ASSERT_EQ(japanese.services.message_boxes.size(), 1u);
    EXPECT_EQ(japanese.services.message_boxes[0].text, "名前にバイト0xFFを含むジョイントは保存できません。バインド先:mesh。");
}

TEST(SkinFileWeights, ExtremeWeightsReadBackToTheBit)
{
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "j"}, {"kind": "polygon", "name": "mesh", "vertices": [[0,0,0]]}]}})";
    float const weights[] = {FLT_MAX, -FLT_MAX, FLT_MIN, 1e-45f, -1e-45f, 0.0f, 1.0f / 3.0f, 16777217.0f};
    for (int form : {text_form, binary_form}) {
        for (float w : weights) {
            Round_trip const trip = round_trip(scene, form, true, [w](test::Session& s) {
                s.shape("root/mesh").vertices[0].skin.add(&s.shape("root/j"), w);
            });
            ASSERT_EQ(trip.skins.at(0).size(), 1u) << form << " " << w;
            float const back = trip.skins[0][0].second;
            EXPECT_EQ(std::memcmp(&back, &w, sizeof w), 0) << form << ": " << w << " came back as " << back;
        }
    }
}

TEST(SkinFileWeights, OnlyWhatRoundsToInfinityOverflows)
{
    struct Case {
        char const* text;
        float value;
    } const cases[] = {
        {"3.4028235e+38", FLT_MAX},          {"-3.4028235e+38", -FLT_MAX},
        {"3.40282356e38", FLT_MAX},          {"3.4028236e38", INFINITY},
        {"1e39", INFINITY},                  {"-1e400", -INFINITY},
        {"1e-46", 0.0f},                     {"1.4e-45", 1e-45f},
        {"", 0.0f},                          {"2.5e", 2.5f},
    };
    for (Case const& c : cases) {
        float value = -7;
        skin_format::get_float_from_text(c.text, value);
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(SkinFileExporter, ABindingWithoutAJointIsLeftOutNotAWriteFailure)
{
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "j"},
        {"kind": "polygon", "name": "mesh", "vertices": [[0,0,0], [1,0,0]]}]}})";
    auto bind = [](test::Session& s) {
        host::Model_shape& mesh = s.shape("root/mesh");
        mesh.vertices[0].skin.add(nullptr, 0.5f);
        mesh.vertices[0].skin.add(&s.shape("root/j"), 0.5f);
        mesh.vertices[1].skin.add(&s.shape("root/j"), 1.0f);
    };
    for (int form : {text_form, binary_form}) {
        Round_trip const trip = round_trip(scene, form, true, bind);
        EXPECT_TRUE(trip.message_boxes.empty()) << form;
        if (form == text_form) {
            EXPECT_NE(trip.written.find("\n0:1:0.5/root/j/:\n1:1:1/root/j/:\n"), std::string::npos) << trip.written;
        }
        EXPECT_EQ(trip.skins, (std::vector<Bindings>{{{"j", 0.5f}}, {{"j", 1.0f}}})) << form;
    }
}

TEST(SkinFileExporter, FullPathsAreBuiltAnewForEachTopLevelRecord)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "part", "name": "rig", "children": [
        {"kind": "rotator", "name": "hips"},
        {"kind": "part", "name": "skin", "children": [
          {"kind": "polygon", "name": "mesh", "vertices": [{"position": [0,0,0], "skin": [{"joint": "root/rig/hips"}]}]}]}]}]}})");
    session.scene.active = {&session.shape("root/rig"), &session.shape("root/rig/skin/mesh")};
    std::string const text = session.save().text;
    // Below rig the path climbs to rig; for the mesh alone, to the root.
    std::size_t const first = text.find("0:1:1/rig/hips/:");
    std::size_t const second = text.find("0:1:1/root/rig/hips/:");
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_NE(second, std::string::npos) << text;
    EXPECT_LT(first, second);
}

TEST(SkinFileExporter, FailuresOfTheExportObjectAreReportedNotPassedOn)
{
    for (char const* operation : {"export.get_scene", "export.run_export"}) {
        test::Session session;
        session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
        host::faults().arm(operation);
        host::Saved_file file;
        EXPECT_NO_THROW(file = session.save({{10, 0}})) << operation;
        EXPECT_EQ(host::faults().fired(), 1) << operation;
        ASSERT_EQ(session.services.message_boxes.size(), 1u) << operation;
        EXPECT_EQ(session.services.message_boxes[0].text, "Can't file write.");
        EXPECT_TRUE(file.text.empty()) << operation;
        session.expect_balanced();
    }
}

TEST(SkinFileExporter, EveryWriteFailingInTurnLeavesAPrefixAndOneMessage)
{
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "hips", "children": [{"kind": "rotator", "name": "arm"}]},
        {"kind": "polygon", "name": "mesh", "vertices": [
            {"position": [0,0,0], "skin": [{"joint": "root/hips", "weight": 0.25}, {"joint": "root/hips/arm", "weight": 0.75}]},
            [1,0,0]]}]}})";
    for (int form : {text_form, binary_form}) {
        // The writes of a whole save, in order.
        std::vector<std::string> writes;
        std::string whole;
        {
            test::Session session;
            session.load_scene(scene);
            host::calls().start();
            host::Saved_file const file = session.save({{10, 0}, {11, form}});
            for (std::string const& call : host::calls().stop())
                if (call.find("write") != std::string::npos || call == "text_stream.end_line")
                    writes.push_back(call);
            whole = form == binary_form ? std::string(file.binary.begin(), file.binary.end()) : file.text;
        }
        ASSERT_GT(writes.size(), 10u);
        for (std::size_t i = 0; i < writes.size(); ++i) {
            test::Session session;
            session.load_scene(scene);
            int const skip = static_cast<int>(std::count(writes.begin(), writes.begin() + static_cast<long>(i), writes[i]));
            host::faults().arm(writes[i], skip);
            host::Saved_file const file = session.save({{10, 0}, {11, form}});
            std::string const written =
                form == binary_form ? std::string(file.binary.begin(), file.binary.end()) : file.text;
            EXPECT_EQ(host::faults().fired(), 1) << writes[i] << " #" << skip;
            ASSERT_EQ(session.services.message_boxes.size(), 1u) << writes[i] << " #" << skip;
            EXPECT_EQ(session.services.message_boxes[0].text, "Can't file write.");
            EXPECT_LT(written.size(), whole.size()) << writes[i] << " #" << skip;
            EXPECT_EQ(whole.compare(0, written.size(), written), 0) << writes[i] << " #" << skip;
            session.expect_balanced();
        }
    }
}

// An export object that offers a text stream and no binary stream.
class Text_only_export final : public plugin_exporter_interface {
public:
    explicit Text_only_export(test::Session& session) : session_(session), text(host::Text_stream::collector()) {}
    scene_interface* get_scene(void*) override
    {
        session_.scene.AddRef();
        return &session_.scene;
    }
    stream_interface* get_stream(void*) override { return nullptr; }
    text_stream_interface* get_text_stream(void*) override
    {
        text->AddRef();
        return text.get();
    }
    void run_export(void*) override
    {
        if (exporter)
            exporter->start();
    }
    void print_message(char const* line, void*) override { session_.services.print_message(line); }
    char const* get_special_characters(void*) override { return ""; }

    exporter_interface* exporter = nullptr;

private:
    test::Session& session_;

public:
    std::unique_ptr<host::Text_stream> text;
};

TEST(SkinFileExporter, AFormWithoutItsStreamWritesNothingAndOtherCodesRun)
{
    for (int form : {binary_form, text_form}) {
        test::Session session;
        session.load_scene(R"({"root": {"kind": "part", "name": "root"}})");
        Text_only_export object(session);
        {
            host::Component component(test::plugin(), host::Interface_kind::exporter, 0, session.services);
            object.exporter = static_cast<exporter_interface*>(component.get());
            session.services.dialog_answers.push_back(host::Dialog_answer{true, {{10, 0}, {11, form}}});
            object.exporter->do_export(&object);
            if (form == binary_form) {
                EXPECT_TRUE(session.services.messages.empty());
                EXPECT_TRUE(object.text->text().empty());
            } else {
                EXPECT_EQ(object.text->text(), "<skinfile>\npart:root:1\n0:0:\n<end>\n");
                // Any code but 2 runs the export again: the same file once more.
                dialog_interface* dialog = session.services.create_dialog(component_id{});
                EXPECT_EQ(object.exporter->terminate(*dialog, 2), 2);
                EXPECT_EQ(object.exporter->terminate(*dialog, 7), 7);
                dialog->Release();
                EXPECT_EQ(object.text->text(), "<skinfile>\npart:root:1\n0:0:\n<end>\n"
                                               "<skinfile>\npart:root:1\n0:0:\n<end>\n");
            }
        }
        EXPECT_EQ(object.text->reference_count, 0) << form;
        session.expect_balanced();
    }
}

}  // namespace

namespace {

// What the number readers must give: strtod and strtol on exactly the field,
// and 0 where strtod converts nothing (the C library of 32-bit Windows gives
// -0 for "-+1" there).
double reference_number(std::string const& run)
{
    char* end = nullptr;
    double const value = std::strtod(run.c_str(), &end);
    return end == run.c_str() ? 0.0 : value;
}

TEST(SkinFileWeights, NumbersReadAsTheDecimalReadingOfTheirRun)
{
    std::mt19937 random(11);
    char const alphabet[] = "0123456789.+-eE";
    std::vector<std::string> runs = {"", "+", "-", ".", "+1", "++1", "-+1", "+-1", "1e", "1e+", "1e-5", ".5", "5.",
                                     "-.5e-3", "1e400", "-1e400", "1e-400", "2.4703282292062328e-324", "00012",
                                     "1.7976931348623157e308", "4.9406564584124654e-324", "123456789012345678901234567890"};
    for (int i = 0; i < 20000; ++i) {
        std::string run;
        if (i % 2) {
            for (std::size_t n = random() % 24; n > 0; --n)
                run += alphabet[random() % 15];
        } else {
            std::uint32_t bits = static_cast<std::uint32_t>(random());
            float f;
            std::memcpy(&f, &bits, 4);
            if (!std::isfinite(f))
                continue;
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, i % 4 ? "%.9g" : "%.17g", static_cast<double>(f));
            run = buffer;
        }
        runs.push_back(run);
    }
    for (std::string const& run : runs) {
        std::string const line = run + "/j/:";
        char const* end = nullptr;
        double const got = skin_format::read_number(line.c_str(), &end);
        double const expected = reference_number(run);
        ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << '"' << run << "\" gave " << got << ", not " << expected;
        ASSERT_EQ(end, line.c_str() + run.size()) << run;
    }
}

TEST(SkinFileWeights, FieldsReadAsStrtolReadsThem)
{
    for (std::string field : {"0", "7", "42", "123456789", "1234567890", "99999999999", "-3", "+4", " 5", "", "x",
                              "12x", "0012", "2147483647", "2147483648", "-2147483649"}) {
        for (std::string const end : {":", "", ":rest"}) {
            std::string const text = field + end;
            char const* p = text.c_str();
            int const got = skin_format::read_int_field(p);
            long value = std::strtol(field.c_str(), nullptr, 10);
            value = std::max<long>(std::min<long>(value, INT_MAX), INT_MIN);
            EXPECT_EQ(got, static_cast<int>(value)) << '"' << text << '"';
            EXPECT_EQ(p, text.c_str() + field.size() + (end.empty() ? 0 : 1)) << '"' << text << '"';
        }
    }
}

}  // namespace

namespace {

TEST(SkinFileExporter, RefusedNamesAreShownWholeAndSurfacesAreSwitchedBack)
{
    // A record name with a carriage return or a line break, or ":", has no
    // text form: the message names the shape as the host does, leading
    // special characters and all, also with trimming on.
    for (char const* name : {"#a\\rb", "#a\\nb", "#a:b"}) {
        test::Session session;
        session.load_scene(std::string(R"({"special_characters": "#", "root": {"kind": "part", "name": "root", "children": [
          {"kind": "rotator", "name": ")") + name + R"("}]}})");
        session.scene.active.clear();
        session.save({{10, 0}, {13, 1}});
        ASSERT_EQ(session.services.message_boxes.size(), 1u) << name;
        std::string const shown = session.services.message_boxes[0].text;
        EXPECT_EQ(shown.substr(0, 27), "Can't save this shape name:") << name;
        EXPECT_EQ(shown[27], '#') << name;
    }
    // A switched surface below a selected part is switched back before a
    // "Selected" save writes its points.
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "part", "name": "grp", "children": [
        {"kind": "surface", "name": "s", "switched": true, "children": [
          {"kind": "line", "name": "l", "points": [{"position": [0,0,0]}]}]}]}]}})");
    session.scene.active = {&session.shape("root/grp")};
    session.save();
    EXPECT_FALSE(session.shape("root/grp/s").switched);
}

}  // namespace
