// tavrik-host as a user runs it: its answers, exit codes and output files,
// and its progress bar on a terminal and not in a pipe.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)

std::string const host_program = TAVRIK_HOST_PATH;
std::string const source = TAVRIK_SOURCE_DIR;

struct Outcome {
    int code = -1;
    std::string output;  // standard output and error together
};

Outcome run(std::string const& arguments)
{
    Outcome outcome;
    std::string const command = "'" + host_program + "' " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return outcome;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        outcome.output.append(buffer, n);
    int const status = pclose(pipe);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

bool exists(std::string const& path) { return std::ifstream(path).good(); }

std::string scratch(std::string const& name) { return ::testing::TempDir() + "tavrik_cli_" + name; }

TEST(TavrikHostCli, OptionsAreCheckedAndErrorsNameTheArgument)
{
    Outcome bogus = run("save '" + source + "/examples/character.json' '" + scratch("x.vsk") + "' --bogus yes");
    EXPECT_EQ(bogus.code, 2);
    EXPECT_NE(bogus.output.find("--bogus"), std::string::npos) << bogus.output;
    Outcome form = run("save '" + source + "/examples/character.json' '" + scratch("x.vsk") + "' --form txt");
    EXPECT_EQ(form.code, 2);
    EXPECT_NE(form.output.find("{text,binary}"), std::string::npos) << form.output;
    Outcome missing = run("load '" + source + "/examples/character.json'");
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.output.find("FILE"), std::string::npos) << missing.output;
    Outcome help = run("load --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.output.find("--joints-outside"), std::string::npos);
}

TEST(TavrikHostCli, ALoadSaysWhatChangedOrThatNothingMatched)
{
    std::string const file = scratch("character.vsk");
    std::string const out = scratch("loaded.json");
    ASSERT_EQ(run("--quiet save '" + source + "/examples/character.json' '" + file + "' --form binary").code, 0);
    Outcome load = run("load '" + source + "/examples/character_unbound.json' '" + file + "' '" + out + "'");
    EXPECT_EQ(load.code, 0);
    EXPECT_NE(load.output.find("tavrik-host: 8 skins changed, in 3 shapes"), std::string::npos) << load.output;
    // A scene that holds none of the file's shapes.
    std::string const other = scratch("other.json");
    std::ofstream(other) << R"({"root": {"kind": "part", "name": "elsewhere"}})";
    Outcome nothing = run("load '" + other + "' '" + file + "' '" + out + "'");
    EXPECT_EQ(nothing.code, 0);
    EXPECT_NE(nothing.output.find("no skin changed: nothing in " + file + " matched the scene"), std::string::npos)
        << nothing.output;
    EXPECT_EQ(run("--quiet load '" + other + "' '" + file + "' '" + out + "'").output, "");
    std::remove(file.c_str());
    std::remove(out.c_str());
    std::remove(other.c_str());
}

TEST(TavrikHostCli, BadInputIsReportedAndNothingIsWritten)
{
    std::string const out = scratch("bad.json");
    std::remove(out.c_str());
    std::string const scene = "'" + source + "/examples/character_unbound.json'";
    Outcome missing = run("load " + scene + " '" + scratch("nowhere.vsk") + "' '" + out + "'");
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.output.find("nowhere.vsk"), std::string::npos) << missing.output;
    std::string const not_skin = scratch("not_skin.vsk");
    std::ofstream(not_skin) << "hello\n";
    Outcome wrong = run("--quiet load " + scene + " '" + not_skin + "' '" + out + "'");
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.output.find("cannot load " + not_skin + ": not skin file!"), std::string::npos) << wrong.output;
    EXPECT_FALSE(exists(out));
    std::string const broken_scene = scratch("broken.json");
    std::ofstream(broken_scene) << "{\"root\": ";
    Outcome broken = run("show '" + broken_scene + "'");
    EXPECT_EQ(broken.code, 1);
    EXPECT_NE(broken.output.find(broken_scene + ": scene file, at line 1"), std::string::npos) << broken.output;
    std::remove(not_skin.c_str());
    std::remove(broken_scene.c_str());
}

TEST(TavrikHostCli, ARefusedCommandSaysWhyAndFails)
{
    std::string const out = scratch("refused.json");
    std::remove(out.c_str());
    Outcome refused = run("--quiet joint-clear '" + source + "/examples/character_unbound.json' '" + out + "'");
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.output.find("joint-clear refused: Can't get joint."), std::string::npos) << refused.output;
    EXPECT_FALSE(exists(out));
    Outcome cancelled = run("clear '" + source + "/examples/character.json' '" + out + "' --cancel");
    EXPECT_EQ(cancelled.code, 0);
    EXPECT_NE(cancelled.output.find("cancelled, nothing changed"), std::string::npos);
    std::remove(out.c_str());
}

TEST(TavrikHostCli, ASaveThatCannotBeWrittenWholeLeavesNoFile)
{
    std::string const scene = scratch("colon.json");
    std::ofstream(scene) << R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator", "name": "a:b"}]}})";
    std::string const file = scratch("colon.vsk");
    std::remove(file.c_str());
    Outcome save = run("--quiet save '" + scene + "' '" + file + "' --range all");
    EXPECT_EQ(save.code, 1);
    EXPECT_NE(save.output.find("was not written"), std::string::npos) << save.output;
    EXPECT_FALSE(exists(file));
    EXPECT_FALSE(exists(file + ".partial"));
    EXPECT_EQ(run("--quiet save '" + scene + "' '" + file + "' --range all --form binary").code, 0);
    EXPECT_TRUE(exists(file));
    std::remove(file.c_str());
    std::remove(scene.c_str());
}

std::string rig_scene(char const* arm, char const* mesh, int vertices)
{
    std::string scene = R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "part", "name": "figure", "children": [
        {"kind": "rotator", "name": "hips", "children": [{"kind": "rotator", "name": ")" + std::string(arm) + R"("}]},
        {"kind": "polygon", "name": ")" + std::string(mesh) + R"(", "vertices": [)";
    for (int i = 0; i < vertices; ++i)
        scene += std::string(i ? "," : "") + R"({"position": [0,0,0], "skin": [{"joint": "root/figure/hips", "weight": 0.5},
            {"joint": "root/figure/hips/)" + arm + R"(", "weight": 0.5}]})";
    return scene + "]}]}]}}";
}

TEST(TavrikHostCli, CheckSaysWhatALoadWouldBindAndLoseAndWhy)
{
    std::string const file = scratch("rig.vsk");
    std::string const source_scene = scratch("rig.json");
    std::ofstream(source_scene) << rig_scene("arm", "body", 3);
    ASSERT_EQ(run("--quiet save '" + source_scene + "' '" + file + "' --range all").code, 0);
    std::string const target = scratch("target.json");
    auto check = [&](std::string const& scene, std::string const& extra = "") {
        std::ofstream(target) << scene;
        return run("check '" + target + "' '" + file + "'" + extra);
    };
    Outcome same = check(rig_scene("arm", "body", 3));
    EXPECT_EQ(same.code, 0) << same.output;
    EXPECT_NE(same.output.find("polygon body: binds root/figure/body"), std::string::npos) << same.output;
    EXPECT_NE(same.output.find("totals: 5 of 5 records matched, 9 points bound, 0 bindings lost"), std::string::npos)
        << same.output;

    Outcome renamed_joint = check(rig_scene("forearm", "body", 3));
    EXPECT_EQ(renamed_joint.code, 1);
    EXPECT_NE(renamed_joint.output.find("joint not found: root/figure/hips/arm (3 bindings lost)"), std::string::npos)
        << renamed_joint.output;
    EXPECT_NE(renamed_joint.output.find("rotator arm: matches nothing (no shape named \"arm\")"), std::string::npos)
        << renamed_joint.output;

    // A record inside one that matched nothing matches nothing either.
    std::ifstream example(source + "/examples/character_unbound.json");
    std::stringstream character;
    character << example.rdbuf();
    std::string renamed = character.str();
    renamed.replace(renamed.find("\"name\": \"arm\""), 13, "\"name\": \"limb\"");
    std::string const character_file = scratch("character_check.vsk");
    ASSERT_EQ(run("--quiet save '" + source + "/examples/character.json' '" + character_file + "'").code, 0);
    std::ofstream(target) << renamed;
    Outcome nested = run("check '" + target + "' '" + character_file + "'");
    EXPECT_EQ(nested.code, 1);
    EXPECT_NE(nested.output.find("slider hand: matches nothing (the record around it matches nothing)"),
              std::string::npos)
        << nested.output;
    // A joint whose name the load trims is still named as the file names it.
    std::string skull = character.str();
    skull.replace(skull.find("\"name\": \"#head\""), 15, "\"name\": \"#skull\"");
    std::ofstream(target) << skull;
    Outcome trimmed = run("check '" + target + "' '" + character_file + "'");
    EXPECT_EQ(trimmed.code, 1);
    EXPECT_NE(trimmed.output.find("joint not found: figure/skeleton/hips/spine/#head (2 bindings lost)"),
              std::string::npos)
        << trimmed.output;
    std::remove(character_file.c_str());

    Outcome renamed_mesh = check(rig_scene("arm", "torso", 3));
    EXPECT_EQ(renamed_mesh.code, 1);
    EXPECT_NE(renamed_mesh.output.find("polygon body: matches nothing (no shape named \"body\")"), std::string::npos)
        << renamed_mesh.output;

    Outcome fewer = check(rig_scene("arm", "body", 2), " --json");
    EXPECT_EQ(fewer.code, 1);
    EXPECT_NE(fewer.output.find("root/figure/body has 2 points, the file 3"), std::string::npos) << fewer.output;
    EXPECT_NE(fewer.output.find("\"bindings_lost\": 6"), std::string::npos) << fewer.output;

    // Nothing is written: the scene file is as it was.
    std::ifstream in(target);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), rig_scene("arm", "body", 2));
    for (std::string const& path : {file, source_scene, target})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, InspectShowsAFileAndWhereABrokenOneBreaks)
{
    std::string const scene = scratch("inspect.json");
    std::ofstream(scene) << rig_scene("arm", "body", 3);
    for (std::string const form : {"text", "binary"}) {
        std::string const file = scratch("inspect." + form + ".vsk");
        ASSERT_EQ(run("--quiet save '" + scene + "' '" + file + "' --range all --form " + form).code, 0);
        Outcome inspected = run("inspect '" + file + "'");
        EXPECT_EQ(inspected.code, 0) << inspected.output;
        EXPECT_NE(inspected.output.find(form + " skin file, 1 top-level record"), std::string::npos) << inspected.output;
        EXPECT_NE(inspected.output.find("      polygon body, 3 points"), std::string::npos) << inspected.output;
        EXPECT_NE(inspected.output.find("root/figure/hips/arm: 3"), std::string::npos) << inspected.output;
        EXPECT_NE(inspected.output.find("points bound: 3 of 9; most influences on one point: 2"), std::string::npos)
            << inspected.output;
        // Cut short, it is reported with where it breaks.
        std::ifstream in(file, std::ios::binary);
        std::string const whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string const cut = scratch("cut.vsk");
        std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() / 2);
        Outcome broken = run("inspect '" + cut + "'");
        EXPECT_EQ(broken.code, 2);
        EXPECT_NE(broken.output.find(form == "text" ? ": line " : ": byte "), std::string::npos) << broken.output;
        std::remove(cut.c_str());
        std::remove(file.c_str());
    }
    std::remove(scene.c_str());
}

TEST(TavrikHostCli, InspectReadsTheGoldenFiles)
{
    struct Golden {
        char const* file;
        char const* first_line_end;
        char const* tree;
    } const goldens[] = {
        {"part_tree.vsk", "skin file, 1 top-level record", "      polygon mesh, 2 points"},
        {"mesh_unbound.vsk", "skin file, 1 top-level record", "polygon"},
        {"separators.vsk", "skin file", "points"},
    };
    for (Golden const& golden : goldens) {
        Outcome inspected = run("inspect '" + source + "/tests/data/" + golden.file + "'");
        EXPECT_EQ(inspected.code, 0) << golden.file << "\n" << inspected.output;
        EXPECT_NE(inspected.output.find(golden.first_line_end), std::string::npos) << inspected.output;
        EXPECT_NE(inspected.output.find(golden.tree), std::string::npos) << inspected.output;
    }
}

// Runs the program with its standard error on a pseudo-terminal; gives what
// the terminal received.
std::string on_terminal(std::string const& arguments)
{
    int terminal = -1;
    pid_t const child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child < 0)
        return "(no pseudo-terminal)";
    if (child == 0) {
        std::string const command = "'" + host_program + "' " + arguments + " >/dev/null";
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string received;
    char buffer[4096];
    for (;;) {
        ssize_t const n = read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    waitpid(child, nullptr, 0);
    close(terminal);
    return received;
}

TEST(TavrikHostCli, TheProgressBarShowsOnATerminalOnly)
{
    std::string const file = scratch("bar.vsk");
    std::string const out = scratch("bar.json");
    ASSERT_EQ(run("--quiet save '" + source + "/examples/character.json' '" + file + "'  --range all").code, 0);
    std::string const load = "load '" + source + "/examples/character_unbound.json' '" + file + "' '" + out + "'";
    std::string const shown = on_terminal(load);
    EXPECT_NE(shown.find("\rskin importer ["), std::string::npos) << shown;
    EXPECT_NE(shown.find("] 100%"), std::string::npos) << shown;
    EXPECT_EQ(on_terminal("--quiet " + load).find("skin importer"), std::string::npos);
    EXPECT_EQ(run(load).output.find("skin importer ["), std::string::npos);  // a pipe
    std::remove(file.c_str());
    std::remove(out.c_str());
}

#else

TEST(TavrikHostCli, RunsOnPosixSystems) { GTEST_SKIP() << "the command-line tests run the program through a POSIX shell"; }

#endif

}  // namespace
