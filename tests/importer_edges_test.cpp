// "Load skin" of files that are cut, broken, hostile or nested without end,
// of host operations that fail, and the order rules of its searches.
#include <algorithm>
#include <chrono>
#include <set>
#include <tuple>

#include "importerinterface.h"
#include "shape_access.h"
#include "support.h"

namespace {

using test::Bindings;
using test::bindings_of;

constexpr int text_form = 0, binary_form = 1;

// Joint names that are prefixes of others: a name cut short could still
// name a joint.
constexpr char const prefix_scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
  {"kind": "rotator", "name": "arm", "children": [{"kind": "rotator", "name": "armor"}]},
  {"kind": "rotator", "name": "armor"},
  {"kind": "part", "name": "grp", "children": [
    {"kind": "polygon", "name": "mesh", "vertices": [
      {"position": [0,0,0], "skin": [{"joint": "root/armor", "weight": 0.5}, {"joint": "root/arm/armor", "weight": 0.5}]},
      {"position": [1,0,0], "skin": [{"joint": "root/arm", "weight": 1}]}]},
    {"kind": "sphere", "name": "ball", "skin": [{"joint": "root/armor", "weight": 1}]}]}]}})";

using Binding_set = std::set<std::tuple<std::string, int, std::string, float>>;

// Every binding of the scene as (shape, point, joint, weight).
Binding_set all_bindings(host::Model_scene& scene)
{
    Binding_set out;
    for (host::Model_shape* s : scene.shapes_in_order()) {
        for (auto const& b : s->skin.bindings())
            out.emplace(s->name, -1, b.joint ? b.joint->get_name() : "?", b.weight);
        for (std::size_t i = 0; i < s->vertices.size(); ++i)
            for (auto const& b : s->vertices[i].skin.bindings())
                out.emplace(s->name, static_cast<int>(i), b.joint ? b.joint->get_name() : "?", b.weight);
    }
    return out;
}

void unbind(test::Session& session)
{
    session.shape("root/grp/mesh").vertices[0].skin.clear();
    session.shape("root/grp/mesh").vertices[1].skin.clear();
    session.shape("root/grp/ball").skin.clear();
}

TEST(ImporterCutFiles, NoPrefixOfAFileIsFinishedOrBindsAPartialName)
{
    for (int form : {text_form, binary_form}) {
        test::Session source;
        source.load_scene(prefix_scene);
        host::Saved_file const saved = source.save({{10, 0}, {11, form}});
        std::vector<char> const whole =
            form == binary_form ? saved.binary : std::vector<char>(saved.text.begin(), saved.text.end());
        Binding_set const expected = all_bindings(source.scene);
        char const* const finished = form == binary_form ? "***tavrik*** Finished load binary skin file"
                                                         : "***tavrik*** Finished load text skin file";
        // The whole file loads and says so.
        {
            test::Session session;
            session.load_scene(prefix_scene);
            unbind(session);
            session.load(whole, {{14, 1}});
            EXPECT_EQ(session.services.messages.back(), finished) << form;
            EXPECT_EQ(all_bindings(session.scene), expected) << form;
        }
        // A text file without its last line end is whole as well.
        std::size_t const shortest_whole = form == text_form ? whole.size() - 1 : whole.size();
        for (std::size_t cut = 0; cut < shortest_whole; ++cut) {
            test::Session session;
            session.load_scene(prefix_scene);
            unbind(session);
            session.load(std::vector<char>(whole.begin(), whole.begin() + static_cast<long>(cut)), {{14, 1}});
            std::vector<std::string> const& messages = session.services.messages;
            EXPECT_EQ(std::count(messages.begin(), messages.end(), finished), 0) << form << " cut at " << cut;
            Binding_set const got = all_bindings(session.scene);
            EXPECT_TRUE(std::includes(expected.begin(), expected.end(), got.begin(), got.end()))
                << form << " cut at " << cut << ": a binding the whole file does not make";
            session.expect_balanced();
        }
    }
}

TEST(ImporterCutFiles, TheTrailerAndEndLineAreNotRecords)
{
    // A top-level record closed by "}" is followed by "<end>", which is no record.
    test::Session session;
    session.load_scene(prefix_scene);
    session.load(std::string("<skinfile>\npart:grp:1\n0:0:\n}\n<end>\n"), {{14, 1}});
    for (std::string const& message : session.services.messages)
        EXPECT_EQ(message.find("not found"), std::string::npos) << message;
    EXPECT_EQ(session.services.messages.back(), "***tavrik*** Finished load text skin file");
    // Nothing after the binary trailer is read.
    test::Bytes file;
    file.i32(0x50020010).i32(-1).text("garbage");
    session.services.messages.clear();
    host::calls().start();
    session.load(file.data, {{14, 1}});
    std::vector<std::string> const calls = host::calls().stop();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "stream.read_char"), 0);
    EXPECT_EQ(session.services.messages,
              (std::vector<std::string>{"***tavrik*** start load binary skin file",
                                        "***tavrik*** Finished load binary skin file"}));
}

// A binary record: code, name, the points with their bindings (joint names
// with 0xFF between components), then what is nested and the end marker.
test::Bytes& record(test::Bytes& b, int code, std::string const& name,
                    std::vector<std::vector<std::pair<float, std::string>>> const& points)
{
    b.i32(code).text(name).byte(0).i32(static_cast<int32_t>(points.size()));
    for (std::size_t k = 0; k < points.size(); ++k) {
        b.i32(static_cast<int32_t>(k)).i32(static_cast<int32_t>(points[k].size()));
        for (auto const& [weight, joint] : points[k])
            b.f32(weight).text(joint).byte(0);
    }
    return b;
}

TEST(ImporterMissingShapes, ABinaryRecordThatMatchesNothingIsSkippedWithItsNestedRecords)
{
    test::Session session;
    session.load_scene(prefix_scene);
    unbind(session);
    test::Bytes file;
    file.i32(0x50020010);
    record(file, 0, "grp", {{}});
    record(file, 17, "nothing", {{{1.0f, "arm"}}, {}});  // no such mesh
    record(file, 15, "ball", {{{1.0f, "arm"}}});          // nested below it: matches nothing
    file.byte(0xFF).byte(0xFF);
    record(file, 15, "ball", {{{0.25f, "arm"}}}).byte(0xFF);  // back below grp
    file.byte(0xFF);
    file.i32(-1);
    session.load(file.data, {{14, 1}});
    EXPECT_EQ(bindings_of(session.shape("root/grp/ball").skin), (Bindings{{"arm", 0.25f}}));
    std::vector<std::string> const expected = {
        "***tavrik*** start load binary skin file",
        "***tavrik*** set skin to shape[grp]: 1",
        "not found name:grp->nothing \ncontinue?",
        "not found name:(no target)->ball \ncontinue?",
        "***tavrik*** set skin to shape[ball]: 2",
        "***tavrik*** Finished load binary skin file"};
    EXPECT_EQ(session.services.messages, expected);
    session.expect_balanced();
}

TEST(ImporterMissingShapes, NoNestingOfAFileCrashesTheHost)
{
    constexpr int levels = 50000;
    // Text: a top-level record that matches nothing, with 50,000 records
    // nested below it, then a record that matches.
    std::string text = "<skinfile>\npart:nothing:1\n0:0:\n";
    for (int i = 0; i < levels; ++i)
        text += "{part:p:1\n0:0:\n";
    for (int i = 0; i < levels; ++i)
        text += "}\n";
    text += "sphere:ball:1\n0:1:0.5/arm/:\n<end>\n";
    // Binary: the same nesting.
    test::Bytes binary;
    binary.i32(0x50020010);
    record(binary, 0, "nothing", {{}});
    for (int i = 0; i < levels; ++i)
        record(binary, 0, "p", {{}});
    for (int i = 0; i <= levels; ++i)
        binary.byte(0xFF);
    record(binary, 15, "ball", {{{0.5f, "arm"}}}).byte(0xFF);
    binary.i32(-1);
    for (int form : {text_form, binary_form}) {
        test::Session session;
        session.load_scene(prefix_scene);
        unbind(session);
        if (form == text_form)
            session.load(text);
        else
            session.load(binary.data);
        EXPECT_EQ(bindings_of(session.shape("root/grp/ball").skin), (Bindings{{"arm", 0.5f}})) << form;
        session.expect_balanced();
    }
}

TEST(ImporterFailures, FailuresBeforeTheBracketAreReportedNotPassedOn)
{
    std::string const text = "<skinfile>\nsphere:ball:1\n0:1:1/arm/:\n<end>\n";
    for (char const* operation : {"shape.get_type", "shape.get_part", "vantel.create_progress", "shape.get_ordinal",
                                  "shape.has_children", "shape.get_previous_sibling", "progress.set_progress_range",
                                  "stream.seek"}) {
        test::Session session;
        session.load_scene(prefix_scene);
        unbind(session);
        host::faults().arm(operation);
        EXPECT_NO_THROW(session.load(text)) << operation;
        EXPECT_EQ(host::faults().fired(), 1) << operation;
        ASSERT_EQ(session.services.message_boxes.size(), 1u) << operation;
        EXPECT_EQ(session.services.message_boxes[0].text, "***tavrik*** Error in reading file!");
        EXPECT_EQ(session.services.terminate_results, (std::vector<int>{-1})) << operation;
        EXPECT_EQ(session.scene.changes, 0) << operation;
        EXPECT_TRUE(session.shape("root/grp/ball").skin.bindings().empty()) << operation;
        session.expect_balanced();
    }
}

TEST(ImporterFailures, FailuresInsideTheBracketEndTheLoadAsTerminated)
{
    std::string const text = "<skinfile>\nsphere:ball:1\n0:1:1/arm/:\n<end>\n";
    struct Case {
        char const* operation;
        int skip;
    } const cases[] = {{"text_stream.rewind", 0}, {"text_stream.read_line", 0}, {"shape.end_modification", 0},
                       {"shape.begin_modification", 0}};
    for (Case const& c : cases) {
        test::Session session;
        session.load_scene(prefix_scene);
        unbind(session);
        host::faults().arm(c.operation, c.skip);
        EXPECT_NO_THROW(session.load(text, {{14, 1}})) << c.operation;
        EXPECT_EQ(host::faults().fired(), 1) << c.operation;
        EXPECT_TRUE(session.services.message_boxes.empty()) << c.operation;
        EXPECT_EQ(session.services.messages.back(), "***tavrik*** Terminated loading skin.") << c.operation;
        EXPECT_EQ(session.scene.changes, 1) << c.operation;
        EXPECT_EQ(session.scene.refreshes, 1) << c.operation;
        EXPECT_EQ(session.services.terminate_results, (std::vector<int>{1})) << c.operation;
        // A failed end_modification leaves the host's own bracket as it left it.
        if (std::string(c.operation) != "shape.end_modification")
            session.expect_balanced();
        EXPECT_EQ(session.scene.open_changes, 0);
        EXPECT_EQ(session.services.live_dialogs, 0);
    }
}

// A text stream that answers null for its n-th line.
class Null_line_stream final : public host::Host_owned<text_stream_interface> {
public:
    Null_line_stream(std::string text, int null_at) : inner_(host::Text_stream::over(std::move(text))), null_at_(null_at) {}
    void read_line(char const** text, void*) override
    {
        if (++reads_ == null_at_) {
            *text = nullptr;
            return;
        }
        inner_->read_line(text);
    }
    bool is_end(void*) override { return inner_->is_end(); }
    void rewind(void*) override { inner_->rewind(); }
    void write_line(char const*, void*) override {}
    void write_text(char const*, void*) override {}
    void write_int(int32_t, void*) override {}
    void write_float(float, void*) override {}
    void write_char(char, void*) override {}
    void end_line(void*) override {}

private:
    std::unique_ptr<host::Text_stream> inner_;
    int null_at_;
    int reads_ = 0;
};

TEST(ImporterFailures, ATextStreamThatGivesNoLineEndsTheLoad)
{
    std::string const text = "<skinfile>\npart:grp:1\n0:0:\n{sphere:ball:1\n0:1:1/arm/:\n}\n<end>\n";
    for (int null_at = 1; null_at <= 7; ++null_at) {
        test::Session session;
        session.load_scene(prefix_scene);
        unbind(session);
        auto stream = host::Binary_stream::over(std::vector<char>(text.begin(), text.end()));
        Null_line_stream lines(text, null_at);
        session.services.dialog_answers.push_back(host::Dialog_answer{true, {{14, 1}}});
        {
            host::Component importer(test::plugin(), host::Interface_kind::importer, 0, session.services);
            static_cast<importer_interface*>(importer.get())->do_import(&session.scene, stream.get(), &lines);
        }
        std::string const& last = session.services.messages.empty() ? session.services.message_boxes.at(0).text
                                                                    : session.services.messages.back();
        EXPECT_TRUE(last == "***tavrik*** Terminated loading skin." || last == "not skin file!") << null_at << ": " << last;
        session.expect_balanced();
    }
}

TEST(ImporterFailures, TerminateActsOnlyOnCodeOne)
{
    test::Session session;
    session.load_scene(prefix_scene);
    unbind(session);
    std::string const text = "<skinfile>\nsphere:ball:1\n0:1:1/arm/:\n<end>\n";
    auto stream = host::Binary_stream::over(std::vector<char>(text.begin(), text.end()));
    auto lines = host::Text_stream::over(text);
    session.services.dialog_answers.push_back(host::Dialog_answer{false, {}});
    {
        host::Component component(test::plugin(), host::Interface_kind::importer, 0, session.services);
        auto* importer = static_cast<importer_interface*>(component.get());
        importer->do_import(&session.scene, stream.get(), lines.get());
        dialog_interface* dialog = session.services.create_dialog(component_id{});
        dialog->load_dialog("import_dialog_id");
        importer->save_dialog_data(*dialog);
        for (int code : {0, 2, 3, -1})
            EXPECT_EQ(importer->terminate(*dialog, code), code);
        EXPECT_EQ(session.scene.changes, 0);
        EXPECT_EQ(importer->terminate(*dialog, 1), 1);
        EXPECT_EQ(bindings_of(session.shape("root/grp/ball").skin), (Bindings{{"arm", 1.0f}}));
        dialog->Release();
    }
    session.expect_balanced();
}

TEST(ImporterTrace, TheFailedJointSearchShowsTheComponentThatWasSearched)
{
    test::Session session;
    session.load_scene(R"({"special_characters": "#", "root": {"kind": "part", "name": "root", "children": [
        {"kind": "sphere", "name": "ball"}]}})");
    session.load(std::string("<skinfile>\nsphere:ball:1\n0:1:1/##knee/:\n<end>\n"), {{14, 1}});
    EXPECT_EQ(session.services.messages.at(2), "***tavrik*** joint search error at [root] -> [knee]");
    test::Bytes file;
    file.i32(0x50020010);
    record(file, 15, "ball", {{{1.0f, "#knee"}}}).byte(0xFF);
    file.i32(-1);
    session.services.messages.clear();
    session.load(file.data, {{14, 1}});
    EXPECT_EQ(session.services.messages.at(2), "***tavrik*** joint search error at [root] -> [knee]");
}

TEST(ImporterOrder, DirectChildrenBeforeDeeperShapesForTargetsAndJoints)
{
    // "m" twice: deep under the first child, and as the second child. The
    // direct child is taken first; a later record then finds none after it.
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "part", "name": "a", "children": [
            {"kind": "rotator", "name": "j", "id": "deep_j"},
            {"kind": "sphere", "name": "m", "id": "deep_m"}]},
        {"kind": "sphere", "name": "m", "id": "top_m"},
        {"kind": "rotator", "name": "j", "id": "top_j"}]}})");
    session.load(std::string("<skinfile>\nsphere:m:1\n0:1:1/j/:\nsphere:m:1\n0:1:0.5/j/:\n<end>\n"));
    EXPECT_EQ(session.shape("@top_m").skin.bindings().at(0).joint, &session.shape("@top_j"));
    EXPECT_TRUE(session.shape("@deep_m").skin.bindings().empty());  // it lies before the first target
    test::Bytes file;
    file.i32(0x50020010);
    record(file, 15, "m", {{{1.0f, "j"}}}).byte(0xFF);
    file.i32(-1);
    session.shape("@top_m").skin.clear();
    session.load(file.data);
    EXPECT_EQ(session.shape("@top_m").skin.bindings().at(0).joint, &session.shape("@top_j"));
}

TEST(ImporterOrder, PointLinesApplyInLineOrderWhateverTheirIndex)
{
    test::Session session;
    session.load_scene(prefix_scene);
    unbind(session);
    session.load(std::string("<skinfile>\npolygon:mesh:2\n1:1:0.25/arm/:\n0:1:0.75/arm/:\n<end>\n"));
    EXPECT_EQ(bindings_of(session.shape("root/grp/mesh").vertices[0].skin), (Bindings{{"arm", 0.25f}}));
    EXPECT_EQ(bindings_of(session.shape("root/grp/mesh").vertices[1].skin), (Bindings{{"arm", 0.75f}}));
    test::Bytes file;
    file.i32(0x50020010).i32(17).text("mesh").byte(0).i32(2);
    file.i32(1).i32(1).f32(0.5f).text("arm").byte(0);
    file.i32(0).i32(0);
    file.byte(0xFF).i32(-1);
    session.load(file.data);
    EXPECT_EQ(bindings_of(session.shape("root/grp/mesh").vertices[0].skin), (Bindings{{"arm", 0.5f}}));
    EXPECT_TRUE(session.shape("root/grp/mesh").vertices[1].skin.bindings().empty());
}

TEST(ImporterTrace, NestedLineNumbersDepthsAndTheProgressSteps)
{
    // Ordinals: root 0, arm 1, armor 2, armor 3, grp 4, mesh 5, ball 6.
    test::Session session;
    session.load_scene(prefix_scene);
    session.load(std::string("<skinfile>\npart:root:1\n0:0:\n{part:grp:1\n0:0:\n{polygon:mesh:2\n0:0:\n1:0:\n}\n"
                             "{sphere:ball:1\n0:0:\n}\n}\n<end>\n"),
                 {{14, 1}});
    std::vector<std::string> const expected = {
        "***tavrik*** start load text skin file",
        "***tavrik*** set skin to shape[root: 1] line number:2",
        "***tavrik*** set skin to shape[grp: 2] line number:4",
        "***tavrik*** set skin to shape[mesh: 3] line number:6",
        "***tavrik*** set skin to shape[ball: 3] line number:10",
        "***tavrik*** Finished load text skin file"};
    EXPECT_EQ(session.services.messages, expected);
    // The range is the root's ordinal to the last shape with children plus
    // one; a step is made once the last target lies more than a tenth in.
    ASSERT_EQ(session.services.progress.size(), 1u);
    host::Progress_record const& progress = session.services.progress[0];
    EXPECT_EQ(progress.title, "skin importer");
    EXPECT_EQ(progress.min, 0);
    EXPECT_EQ(progress.max, 5);
    EXPECT_EQ(progress.steps, (std::vector<int>{4, 5, 6}));
    EXPECT_TRUE(progress.positions.empty());
}

TEST(ImporterTrace, AProgressStepNeedsMoreThanOneTwentiethOfTheRange)
{
    // Spheres s1 to s20 at ordinals 1 to 20, then a part at 21 with a child:
    // the range is 0 to 22. s2 lies 20 * 2 / 22 = 1 twentieth in: no step yet.
    std::string scene = R"({"root": {"kind": "part", "name": "root", "children": [)";
    for (int i = 1; i <= 20; ++i)
        scene += R"({"kind": "sphere", "name": "s)" + std::to_string(i) + R"("},)";
    scene += R"({"kind": "part", "name": "tail", "children": [{"kind": "sphere", "name": "t"}]}]}})";
    test::Session session;
    session.load_scene(scene);
    // The first record is closed by "}"; the next one's line is still counted.
    session.load(std::string("<skinfile>\nsphere:s1:1\n0:0:\n}\nsphere:s2:1\n0:0:\nsphere:s3:1\n0:0:\n<end>\n"),
                 {{14, 1}});
    EXPECT_EQ(session.services.messages.at(2), "***tavrik*** set skin to shape[s2: 1] line number:5");
    ASSERT_EQ(session.services.progress.size(), 1u);
    EXPECT_EQ(session.services.progress[0].max, 22);
    EXPECT_EQ(session.services.progress[0].steps, (std::vector<int>{3}));
}

TEST(ImporterRoundTrip, ABinaryFileOfTheWholeSceneWithFullPathsLoadsBackWhole)
{
    // The export dialog's defaults with the range "All": joint names start
    // with the root part, which is also the search root of the load.
    test::Session session;
    session.load_scene(prefix_scene);
    Binding_set const expected = all_bindings(session.scene);
    std::vector<char> const file = session.save({{10, 0}, {11, binary_form}}).binary;
    unbind(session);
    session.load(file);
    EXPECT_EQ(all_bindings(session.scene), expected);
}

}  // namespace

namespace {

// A flat rig of n joints and a mesh whose vertex i is bound to joint i.
std::string wide_rig(int n)
{
    std::string scene = R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "part", "name": "rig", "children": [)";
    for (int i = 0; i < n; ++i)
        scene += std::string(i ? "," : "") + R"({"kind": "rotator", "name": "j)" + std::to_string(i) + R"("})";
    scene += R"(]}, {"kind": "polygon", "name": "mesh", "vertices": [)";
    for (int i = 0; i < n; ++i)
        scene += std::string(i ? "," : "") + R"({"position": [0,0,0], "skin": [{"joint": "root/rig/j)" +
                 std::to_string(i) + R"(", "weight": 1}]})";
    return scene + "]}]}}";
}

TEST(ImporterScale, ThousandsOfDistinctJointsComeBackQuickly)
{
    int const n = 2000;
    std::string const scene = wide_rig(n);
    for (int form : {text_form, binary_form}) {
        test::Session source;
        source.load_scene(scene);
        source.scene.active.clear();
        host::Saved_file const saved = source.save({{10, 0}, {11, form}});
        test::Session target;
        target.load_scene(scene);
        for (auto& v : target.shape("root/mesh").vertices)
            v.skin.clear();
        target.scene.active.clear();
        auto const start = std::chrono::steady_clock::now();
        target.load(form == binary_form ? saved.binary : std::vector<char>(saved.text.begin(), saved.text.end()));
        double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 20.0) << "form " << form;  // a table that never grows takes hours, or hangs
        auto const& vertices = target.shape("root/mesh").vertices;
        for (int i = 0; i < n; i += 499)
            EXPECT_EQ(bindings_of(vertices[static_cast<std::size_t>(i)].skin), (Bindings{{"j" + std::to_string(i), 1.0f}}))
                << "form " << form << ", vertex " << i;
        target.expect_balanced();
    }
}

TEST(ImporterScale, AHostileBindingCountCostsNoMoreThanTheLine)
{
    // A point line that claims two billion bindings and holds one: reading
    // stops at the line's end (else some 48 s of empty searches).
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "J"}, {"kind": "polygon", "name": "m", "vertices": [[0,0,0]]}]}})");
    session.scene.active.clear();
    auto const start = std::chrono::steady_clock::now();
    session.load(std::string("<skinfile>\npolygon:m:1\n0:2147483647:1/root/J/:\n<end>\n"));
    double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(bindings_of(session.shape("root/m").vertices[0].skin), (Bindings{{"J", 1.0f}}));
    session.expect_balanced();
}

// One importer, two loads: what one load learnt of names, children and
// targets must not reach the next, and each progress indicator it was
// handed is given back.
TEST(ImporterState, OneImporterServesTwoLoadsAlike)
{
    test::Session source;
    source.load_scene(prefix_scene);
    std::string const text = source.save({{10, 0}}).text;
    test::Session first, second;
    first.load_scene(prefix_scene);
    second.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "armor"},
      {"kind": "rotator", "name": "arm", "children": [{"kind": "rotator", "name": "armor"}]},
      {"kind": "part", "name": "grp", "children": [
        {"kind": "polygon", "name": "mesh", "vertices": [[0,0,0], [1,0,0]]},
        {"kind": "sphere", "name": "ball"}]}]}})");
    unbind(first);
    first.scene.active = {&first.shape("root/grp")};
    plugin_interface* component = test::plugin().create(host::Interface_kind::importer, 0, first.services);
    auto* importer = static_cast<importer_interface*>(component);
    auto load = [&](test::Session& session) {
        auto stream = host::Binary_stream::over(std::vector<char>(text.begin(), text.end()));
        auto text_stream = host::Text_stream::over(text);
        session.services.dialog_answers.push_back(host::Dialog_answer{true, {}});
        importer->do_import(&session.scene, stream.get(), text_stream.get());
    };
    load(first);  // the selected part: its mesh and ball
    first.scene.active.clear();
    unbind(first);
    load(first);  // the whole scene, the same file
    load(second);
    component->Release();
    EXPECT_EQ(all_bindings(first.scene), all_bindings(source.scene));
    test::Session expected;
    expected.load_scene(prefix_scene);
    Binding_set const want = all_bindings(expected.scene);
    // The second scene's joints lie in another order: its bindings name the same joints.
    EXPECT_EQ(all_bindings(second.scene), want);
    first.expect_balanced();
    second.expect_balanced();
}

TEST(ImporterState, ASecondLoadKeepsNothingOfTheFirst)
{
    // One importer, two scenes: in the second, J is named K, so the file's
    // joint matches nothing there (a joint table kept from the first load
    // would bind it to the first scene's J). Then a load with trim off and one
    // with trim on: "eye" is "#eye" only when trimmed.
    constexpr char const with_j[] = R"({"special_characters": "#", "root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "J"}, {"kind": "sphere", "name": "#eye"},
      {"kind": "polygon", "name": "m", "vertices": [[0,0,0]]}]}})";
    std::string named_k = with_j;
    named_k.replace(named_k.find("\"J\""), 3, "\"K\"");
    test::Session source;
    source.load_scene(with_j);
    source.load(std::string("<skinfile>\npolygon:m:1\n0:1:1/root/J/:\n<end>\n"));
    host::Saved_file const saved = source.save({{10, 0}, {11, 1}});
    std::string const binary(saved.binary.begin(), saved.binary.end());
    for (std::string const& file : {std::string("<skinfile>\npolygon:m:1\n0:1:1/root/J/:\n<end>\n"), binary}) {
        test::Session first, second;
        first.load_scene(with_j);
        second.load_scene(named_k);
        first.scene.active.clear();
        second.scene.active.clear();
        plugin_interface* component = test::plugin().create(host::Interface_kind::importer, 0, first.services);
        auto* importer = static_cast<importer_interface*>(component);
        auto load = [&](test::Session& session, std::string const& bytes, std::map<int, int> items) {
            auto stream = host::Binary_stream::over(std::vector<char>(bytes.begin(), bytes.end()));
            auto text_stream = host::Text_stream::over(bytes);
            session.services.dialog_answers.push_back(host::Dialog_answer{true, std::move(items)});
            importer->do_import(&session.scene, stream.get(), text_stream.get());
        };
        load(first, file, {});
        load(second, file, {});
        EXPECT_EQ(bindings_of(first.shape("root/m").vertices[0].skin), (Bindings{{"J", 1.0f}}));
        EXPECT_EQ(second.shape("root/m").vertices[0].skin.bindings().size(), 0u) << "a joint of another scene";
        // Trim off, then on.
        std::string const eye = "<skinfile>\nsphere:eye:1\n0:1:0.5/root/K/:\n<end>\n";
        load(second, eye, {{12, 0}});
        EXPECT_EQ(second.shape("root/#eye").skin.bindings().size(), 0u);
        load(second, eye, {{12, 1}});
        EXPECT_EQ(bindings_of(second.shape("root/#eye").skin), (Bindings{{"K", 0.5f}}));
        component->Release();
    }
}

TEST(ImporterNewly, HoldKeepsBoundPointsAndAFailedBracketLeavesTheSkins)
{
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "A", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 3,0,0,1]},
      {"kind": "rotator", "name": "B", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,5,0,1]},
      {"kind": "polygon", "name": "mesh", "vertices": [{"position": [1,1,1], "skin": [{"joint": "root/A", "weight": 1}]}]}]}})";
    std::string const file = "<skinfile>\npolygon:mesh:1\n0:1:1/root/B/:\n<end>\n";
    // Newly with hold: the old binding to A goes, B comes, and the vertex
    // stays where it was in the world all along.
    test::Session held;
    held.load_scene(scene);
    held.scene.active.clear();
    Shape_class wrapper(&held.shape("root/mesh"));
    vec3 const before = wrapper.get_position(0, true);
    held.load(file, {{11, 1}});
    EXPECT_EQ(bindings_of(held.shape("root/mesh").vertices[0].skin), (Bindings{{"B", 1.0f}}));
    vec3 const after = wrapper.get_position(0, true);
    EXPECT_NEAR(after.x, before.x, 1e-5);
    EXPECT_NEAR(after.y, before.y, 1e-5);
    EXPECT_NEAR(after.z, before.z, 1e-5);
    // The shape is opened for modification before its skins are cleared: when
    // that fails, its skins stay as they were.
    test::Session failing;
    failing.load_scene(scene);
    failing.scene.active.clear();
    host::faults().arm("shape.begin_modification");
    failing.load(file);
    EXPECT_EQ(bindings_of(failing.shape("root/mesh").vertices[0].skin), (Bindings{{"A", 1.0f}}));
    failing.expect_balanced();
}

TEST(ImporterTargets, SearchesStartAtTheRootForSeveralSelectedShapesAndTakeAShapeOnce)
{
    constexpr char const scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "J"},
      {"kind": "part", "name": "a", "children": [{"kind": "polygon", "name": "mesh", "vertices": [[0,0,0]]}]},
      {"kind": "part", "name": "b", "children": [{"kind": "sphere", "name": "eye"}]}]}})";
    // Two selected shapes: the search starts at the root, so a record of a
    // shape below the first selected one binds.
    test::Session two;
    two.load_scene(scene);
    two.scene.active = {&two.shape("root/b"), &two.shape("root/a")};
    two.scene.current = &two.shape("root/b");  // one of them current: still the root
    two.load(std::string("<skinfile>\npolygon:mesh:1\n0:1:1/root/J/:\n<end>\n"));
    EXPECT_EQ(bindings_of(two.shape("root/a/mesh").vertices[0].skin), (Bindings{{"J", 1.0f}}));
    // Two records of the same shape: the second finds no shape after the first.
    test::Session twice;
    twice.load_scene(scene);
    twice.scene.active.clear();
    twice.load(std::string("<skinfile>\nsphere:eye:1\n0:1:0.25/root/J/:\nsphere:eye:1\n0:1:0.75/root/J/:\n<end>\n"));
    EXPECT_EQ(bindings_of(twice.shape("root/b/eye").skin), (Bindings{{"J", 0.25f}}));
    // The same where the start shape itself is the first record's target
    // (joints outside it searched from the root).
    test::Session start;
    start.load_scene(scene);
    start.scene.active = {&start.shape("root/b")};
    start.scene.current = &start.shape("root/b");
    start.load(std::string("<skinfile>\npart:b:1\n0:1:0.25/root/J/:\npart:b:1\n0:1:0.75/root/J/:\n<end>\n"), {{13, 1}});
    EXPECT_EQ(bindings_of(start.shape("root/b").skin), (Bindings{{"J", 0.25f}}));
}

TEST(ImporterJoints, TheSearchRootFallbackComparesTrimmedNames)
{
    // A binary file of the whole scene names its joints from "root"; in the
    // scene it is loaded into, the root has been renamed "#root". With
    // trimming on, "root" is not found below the root and is the root's own
    // name once trimmed.
    auto scene = [](char const* root) {
        return std::string(R"({"special_characters": "#", "root": {"kind": "part", "name": ")") + root +
               R"(", "children": [{"kind": "rotator", "name": "arm"},
                 {"kind": "sphere", "name": "eye", "skin": [{"joint": ")" + root + R"(/arm", "weight": 1}]}]}})";
    };
    test::Session source;
    source.load_scene(scene("root"));
    source.scene.active.clear();
    std::vector<char> const file = source.save({{10, 0}, {11, binary_form}}).binary;
    test::Session target;
    target.load_scene(scene("#root"));
    target.scene.active.clear();
    target.shape("#root/eye").skin.clear();
    target.load(file, {{12, 1}});
    EXPECT_EQ(bindings_of(target.shape("#root/eye").skin), (Bindings{{"arm", 1.0f}}));
}

}  // namespace
