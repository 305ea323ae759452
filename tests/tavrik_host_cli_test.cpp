// tavrik-host as a user runs it: its answers, exit codes and output files,
// and its progress bar on a terminal and not in a pipe.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Runs a shell command line; gives its exit code and standard output.
Outcome capture(std::string const& command)
{
    Outcome outcome;
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

Outcome run(std::string const& arguments) { return capture("'" + host_program + "' " + arguments + " 2>&1"); }

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
    // The engine options of a .glb: each refused out of its range, by name.
    std::string const gltf = "'" + source + "/examples/triangle.gltf'";
    std::remove(scratch("engine.glb").c_str());
    for (std::string const option : {"--max-influences 0", "--max-influences -1", "--prune 1.5", "--prune nan",
                                      "--weights u4", "--weights"}) {
        Outcome const refused = run("to-gltf " + gltf + " " + gltf + " '" + scratch("engine.glb") + "' " + option);
        EXPECT_EQ(refused.code, 2) << option << ": " << refused.output;
        EXPECT_NE(refused.output.find(option.substr(0, option.find(' '))), std::string::npos) << refused.output;
    }
    EXPECT_FALSE(exists(scratch("engine.glb")));
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
    EXPECT_EQ(nothing.code, 1);
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
    EXPECT_EQ(wrong.code, 2);
    EXPECT_NE(wrong.output.find("cannot load " + not_skin + ": byte 0: not a skin file"), std::string::npos)
        << wrong.output;
    EXPECT_FALSE(exists(out));
    std::string const broken_scene = scratch("broken.json");
    std::ofstream(broken_scene) << "{\"root\": ";
    Outcome broken = run("show '" + broken_scene + "'");
    EXPECT_EQ(broken.code, 2);
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
    EXPECT_NE(renamed_joint.output.find("rotator arm: matches nothing (no rotator named \"arm\"; rotators here: root/figure/hips (2 points), root/figure/hips/forearm (2 points))"), std::string::npos)
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
    // The kind first, then the shapes of that kind that could be meant.
    EXPECT_NE(renamed_mesh.output.find("polygon body: matches nothing (no polygon named \"body\"; polygons here: "
                                       "root/figure/torso (3 points))"),
              std::string::npos)
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


// The command's standard output alone; its standard error into *errors.
Outcome run_split(std::string const& arguments, std::string* errors = nullptr)
{
    // Tests run side by side: each call a file of its own.
    static int calls = 0;
    std::string const error_file = scratch("stderr_" + std::to_string(getpid()) + "_" + std::to_string(++calls) + ".txt");
    Outcome const outcome = capture("'" + host_program + "' " + arguments + " 2>'" + error_file + "'");
    if (errors) {
        std::ifstream in(error_file);
        *errors = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::remove(error_file.c_str());
    return outcome;
}

int shell(std::string const& command) { return std::system(("sh -c '" + command + "'").c_str()); }

std::string contents(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string quoted(std::string const& path) { return "'" + path + "'"; }

// Files in the scratch folder whose names start with prefix: what a
// temporary file of an output would be called.
int leftovers(std::string const& prefix)
{
    std::string const listing = scratch("listing_" + std::to_string(getpid()) + ".txt");
    std::system(("ls -a '" + ::testing::TempDir() + "' > '" + listing + "'").c_str());
    std::istringstream names(contents(listing));
    int count = 0;
    for (std::string name; std::getline(names, name);)
        count += name.rfind(prefix, 0) == 0;
    std::remove(listing.c_str());
    return count;
}

TEST(TavrikHostCli, OutputFilesNeverDestroyWhatStandsThere)
{
    std::string const scene = quoted(source + "/examples/character.json");
    std::string const target = scratch("out_target.vsk"), link = scratch("out_link.vsk");  // NOLINT
    std::ofstream(target) << "old";
    std::remove(link.c_str());
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    // A symbolic link is followed: the link stays, its target gets the file.
    EXPECT_EQ(run("--quiet save " + scene + " " + quoted(link)).code, 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(contents(target).rfind("<skinfile>\n", 0), 0u);
    // The mode of the file replaced is kept; a user's OUT.partial is left alone.
    chmod(target.c_str(), 0600);
    std::ofstream(target + ".partial") << "mine";
    EXPECT_EQ(run("--quiet save " + scene + " " + quoted(target) + " --form binary").code, 0);
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(contents(target + ".partial"), "mine");
    // A FIFO is written directly, and "-" is standard output.
    std::string const fifo = scratch("out_fifo"), copy = scratch("out_copy.vsk");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(shell("cat \"" + fifo + "\" > \"" + copy + "\" & \"" + host_program + "\" --quiet save " +
                    source + "/examples/character.json \"" + fifo + "\"; wait"),
              0);
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(contents(copy).rfind("<skinfile>\n", 0), 0u);
    EXPECT_EQ(run_split("--quiet save " + scene + " -").output, contents(copy));
    // A scene read from a FIFO, which cannot be read twice, reads as from its
    // file, also where the first parser hands it to the other (a byte order mark).
    std::string const in_fifo = scratch("in_fifo");
    std::remove(in_fifo.c_str());
    ASSERT_EQ(mkfifo(in_fifo.c_str(), 0600), 0);
    Outcome const piped = capture("(printf '\\357\\273\\277'; cat " + scene + ") > \"" + in_fifo + "\" & \"" + host_program + "\" show \"" + in_fifo + "\"; wait");
    EXPECT_EQ(piped.code, 0);
    EXPECT_EQ(piped.output, run_split("show " + scene).output);
    std::remove(in_fifo.c_str());
    // The same file as input and output is refused before anything is written.
    std::string const same = scratch("out_same.json");
    std::ofstream(same) << contents(source + "/examples/character.json");
    std::string const hard = scratch("out_hard.json");
    std::remove(hard.c_str());
    ASSERT_EQ(::link(same.c_str(), hard.c_str()), 0);
    for (std::string const& out : {same, hard}) {
        Outcome refused = run("clear " + quoted(same) + " " + quoted(out));
        EXPECT_EQ(refused.code, 2) << refused.output;
        EXPECT_NE(refused.output.find("is the input"), std::string::npos) << refused.output;
    }
    EXPECT_EQ(contents(same), contents(source + "/examples/character.json"));
    // A failure names the user's path and the system's reason, and leaves no temporary file.
    Outcome nowhere = run("save " + scene + " " + quoted(scratch("no_folder/x.vsk")));
    EXPECT_EQ(nowhere.code, 2);
    EXPECT_NE(nowhere.output.find("cannot write " + scratch("no_folder/x.vsk") + ": No such file or directory"),
              std::string::npos)
        << nowhere.output;
    if (geteuid() == 0) {
        // A device takes the file directly; /dev/full refuses it.
        std::string const device = scratch("out_full");
        std::remove(device.c_str());
        ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);
        Outcome full = run("save " + scene + " " + quoted(device));
        EXPECT_EQ(full.code, 2);
        EXPECT_NE(full.output.find(device + " was not written whole: No space left on device"), std::string::npos)
            << full.output;
        ASSERT_EQ(stat(device.c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        std::remove(device.c_str());
    } else {
        std::cout << "[ SKIPPED part ] writing into a device node: making one needs root\n";
    }
    EXPECT_EQ(leftovers(".tavrik_cli_out"), 0);
    for (std::string const& path : {target, link, target + ".partial", fifo, copy, same, hard})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, SceneFilesAreCompactUnlessAskedPretty)
{
    std::string const compact = scratch("compact.json"), pretty = scratch("pretty.json");
    std::string const scene = quoted(source + "/examples/character.json");
    ASSERT_EQ(run("--quiet reset " + scene + " " + quoted(compact)).code, 0);
    ASSERT_EQ(run("--quiet --pretty reset " + scene + " " + quoted(pretty)).code, 0);
    std::string const one = contents(compact), many = contents(pretty);
    EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 1);
    EXPECT_GT(std::count(many.begin(), many.end(), '\n'), 50);
    EXPECT_EQ(run_split("show " + quoted(compact)).output, run_split("show " + quoted(pretty)).output);
    std::remove(compact.c_str());
    std::remove(pretty.c_str());
}

TEST(TavrikHostCli, ModelsStandInForSceneFiles)
{
    // A glTF model is read as from-gltf reads it, and an OUT ending in .glb
    // is the model written again with the scene's skins.
    std::string const model = quoted(source + "/examples/triangle.gltf");
    std::string const file = scratch("model.vsk"), out = scratch("model_out.glb");
    ASSERT_EQ(run("--quiet save " + model + " " + quoted(file) + " --form binary").code, 0);
    Outcome checked = run("check " + model + " " + quoted(file));
    EXPECT_EQ(checked.code, 0) << checked.output;
    EXPECT_NE(checked.output.find("totals: 5 of 5 records matched"), std::string::npos) << checked.output;
    std::remove(out.c_str());
    EXPECT_EQ(run("--quiet load " + model + " " + quoted(file) + " " + quoted(out)).code, 0);
    std::string const shown = run_split("show " + quoted(out)).output;
    EXPECT_NE(shown.find("vertex 0: hips=0.5 arm=0.5"), std::string::npos) << shown;
    // Cleared, the model's vertices have no influence: glTF cannot carry that.
    std::remove(out.c_str());
    Outcome cleared = run("--quiet clear " + model + " " + quoted(out));
    EXPECT_EQ(cleared.code, 1) << cleared.output;
    EXPECT_NE(cleared.output.find("have no influence"), std::string::npos) << cleared.output;
    EXPECT_FALSE(exists(out));
    // A scene file has no model to write a .glb from: refused before anything is read.
    Outcome refused = run("--quiet reset " + quoted(source + "/examples/character.json") + " " + quoted(out));
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.output.find("needs a .gltf or .glb model"), std::string::npos) << refused.output;
    std::remove(file.c_str());
}

TEST(TavrikHostCli, ATerminatedCommandLeavesNoTemporaryFile)
{
    // Standard input is taken into a temporary file first; a command stopped
    // while it waits for input removes that file.
    std::string const folder = scratch("signal_dir");
    std::string const fifo = scratch("signal_fifo");
    std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string const script = "exec 3<>'" + fifo + "'; TMPDIR='" + folder + "' '" + host_program +
                               "' inspect - <'" + fifo + "' & pid=\\$!; sleep 0.5; ls -A '" + folder +
                               "' | wc -l; kill -TERM \\$pid; wait \\$pid; echo status \\$?; ls -A '" + folder +
                               "' | wc -l";
    Outcome const outcome = capture("timeout 20 sh -c \"" + script + "\" 2>&1");
    // One temporary file while it waits; ended by the signal; none after.
    EXPECT_EQ(outcome.output.rfind("1\n", 0), 0u) << outcome.output;
    EXPECT_NE(outcome.output.find("status 143\n0\n"), std::string::npos) << outcome.output;
    std::remove(fifo.c_str());
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(TavrikHostCli, ExitStatusesSayWhatWasLostAndDataAloneGoesToStandardOutput)
{
    std::string const source_scene = scratch("lost_rig.json"), out = scratch("lost_out.json");
    std::ofstream(source_scene) << rig_scene("arm", "body", 3);
    std::string const renamed = scratch("lost_renamed.json");
    std::ofstream(renamed) << rig_scene("forearm", "body", 3);
    for (std::string const form : {"text", "binary"}) {
        std::string const file = scratch("lost." + form + ".vsk");
        ASSERT_EQ(run("--quiet save " + quoted(source_scene) + " " + quoted(file) + " --range all --form " + form).code, 0);
        // Everything bound: exit 0, the summary on standard error only.
        std::string errors;
        std::remove(out.c_str());
        Outcome whole = run_split("load " + quoted(source_scene) + " " + quoted(file) + " " + quoted(out), &errors);
        EXPECT_EQ(whole.code, 0) << errors;
        EXPECT_EQ(whole.output, "");
        EXPECT_NE(errors.find("0 bindings lost"), std::string::npos) << errors;
        // A joint that does not resolve: exit 1, OUT written, unless --strict.
        std::remove(out.c_str());
        Outcome lost = run("load " + quoted(renamed) + " " + quoted(file) + " " + quoted(out));
        EXPECT_EQ(lost.code, 1) << lost.output;
        EXPECT_NE(lost.output.find("3 bindings lost"), std::string::npos) << lost.output;
        EXPECT_TRUE(exists(out));
        std::remove(out.c_str());
        EXPECT_EQ(run("--quiet load --strict " + quoted(renamed) + " " + quoted(file) + " " + quoted(out)).code, 1);
        EXPECT_FALSE(exists(out));
        // A cut file: exit 2, where it breaks, and no OUT.
        std::string const whole_bytes = contents(file);
        std::string const cut = scratch("lost_cut.vsk");
        std::ofstream(cut, std::ios::binary) << whole_bytes.substr(0, whole_bytes.size() * 2 / 3);
        Outcome broken = run("load " + quoted(source_scene) + " " + quoted(cut) + " " + quoted(out));
        EXPECT_EQ(broken.code, 2) << broken.output;
        EXPECT_NE(broken.output.find(form == "text" ? "breaks at line " : "breaks at byte "), std::string::npos)
            << broken.output;
        EXPECT_NE(broken.output.find("not written"), std::string::npos) << broken.output;
        EXPECT_FALSE(exists(out));
        // check and inspect: a JSON report, or an error object, on standard output alone.
        Outcome report = run_split("check --json " + quoted(renamed) + " " + quoted(file));
        EXPECT_EQ(report.code, 1);
        EXPECT_EQ(report.output.rfind("{\n  \"file\"", 0), 0u) << report.output;
        EXPECT_NE(report.output.find("\"version\": 1"), std::string::npos);
        for (std::string const& command : {"check --json " + quoted(renamed) + " " + quoted(cut), "inspect --json " + quoted(cut)}) {
            Outcome failed = run_split(command, &errors);
            EXPECT_EQ(failed.code, 2) << command;
            EXPECT_NE(failed.output.find("\"error\": {"), std::string::npos) << failed.output;
            EXPECT_NE(errors.find(form == "text" ? ": line " : ": byte "), std::string::npos) << errors;
        }
        std::remove(cut.c_str());
        std::remove(file.c_str());
    }
    EXPECT_EQ(run("check " + quoted(scratch("nowhere.json")) + " " + quoted(source_scene)).code, 2);
    std::ofstream(out) << "{";
    EXPECT_EQ(run("check " + quoted(out) + " " + quoted(source + "/tests/data/part_tree.vsk")).code, 2);
    Outcome unknown = run("frobnicate");
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.output.find("commands: menu, save, load"), std::string::npos) << unknown.output;
    EXPECT_NE(run_split("--version").output.find("tavrik-host "), std::string::npos);
    for (std::string const& path : {source_scene, renamed, out})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, CheckCountsPointsLeftWithoutInfluence)
{
    // Vertex 0 bound to arm alone, vertex 1 to hips alone.
    auto scene = [](char const* arm) {
        return std::string(R"({"root": {"kind": "part", "name": "root", "children": [
          {"kind": "rotator", "name": "hips", "children": [{"kind": "rotator", "name": ")") + arm + R"("}]},
          {"kind": "polygon", "name": "body", "vertices": [
            {"position": [0,0,0], "skin": [{"joint": "root/hips/)" + arm + R"(", "weight": 1}]},
            {"position": [1,0,0], "skin": [{"joint": "root/hips", "weight": 0.5}]}]}]}})";
    };
    std::string const from = scratch("influence_from.json"), to = scratch("influence_to.json");
    std::string const file = scratch("influence.vsk");
    std::ofstream(from) << scene("arm");
    std::ofstream(to) << scene("forearm");
    ASSERT_EQ(run("--quiet save " + quoted(from) + " " + quoted(file) + " --range all").code, 0);
    Outcome checked = run("check --json " + quoted(to) + " " + quoted(file));
    EXPECT_EQ(checked.code, 1);
    EXPECT_NE(checked.output.find("\"points_without_influence\": 1"), std::string::npos) << checked.output;
    EXPECT_NE(checked.output.find("\"points_not_summing_to_one\": 1"), std::string::npos) << checked.output;
    for (std::string const& path : {from, to, file})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, ReadersOfSkinFilesNeverCrashAndSayWhereAFileBreaks)
{
    struct Case {
        char const* what;
        std::string bytes;
        int code;
        char const* message;
    };
    std::string nested = "<skinfile>\npart:a:1\n0:0:\n", closed;
    for (int i = 0; i < 20000; ++i)
        nested += "{part:a:1\n0:0:\n";
    closed = nested;
    for (int i = 0; i < 20000; ++i)
        closed += "}\n";
    closed += "<end>\n";
    std::string const zeros = std::string("\x10\x00\x02\x50", 4) + std::string(200000, '\0');
    std::vector<Case> const cases = {
        {"20,000 nested records, cut", nested, 2, "the file ends inside the record"},
        {"20,000 nested records", closed, 0, "text skin file, 1 top-level record"},
        {"the binary header and zero bytes", zeros, 2, "byte "},
        {"two points in one weight", "<skinfile>\npart:a:1\n0:1:0.6.7/a/:\n<end>\n", 2, "line 3: a weight that is not a number: \"0.6.7\""},
        {"letters", "<skinfile>\npart:a:1\n0:1:abc/a/:\n<end>\n", 2, "line 3: a weight that is not a number: \"abc\""},
        {"a decimal comma", "<skinfile>\npart:a:1\n0:1:0,6/a/:\n<end>\n", 2, "line 3: a weight that is not a number: \"0,6\""},
        {"a letter after the exponent", "<skinfile>\npart:a:1\n0:1:6e-1x/a/:\n<end>\n", 2, "line 3: a weight that is not a number: \"6e-1x\""},
        {"a good weight", "<skinfile>\npart:a:1\n0:1:6e-1/a/:\n<end>\n", 0, "a: 1"},
        {"not a skin file", std::string(100, '\0'), 2, "not a skin file"},
    };
    std::string const file = scratch("hostile.vsk");
    for (Case const& c : cases) {
        std::ofstream(file, std::ios::binary) << c.bytes;
        for (std::string const& command : {"inspect " + quoted(file), "inspect - < " + quoted(file)}) {
            Outcome inspected = run(command);
            EXPECT_EQ(inspected.code, c.code) << c.what << ": " << inspected.output.substr(0, 500);
            EXPECT_NE(inspected.output.find(c.message), std::string::npos) << c.what << ": " << inspected.output.substr(0, 500);
        }
        Outcome checked = run("check " + quoted(source + "/examples/character.json") + " " + quoted(file));
        EXPECT_EQ(checked.code, c.code == 0 ? 1 : 2) << c.what << ": " << checked.output.substr(0, 500);
    }
    // A name that is not UTF-8 is given in hex in a JSON report, which stays valid JSON.
    std::string const odd = std::string("\x10\x00\x02\x50", 4) + std::string("\x11\0\0\0", 4) + "\xC3\x28" +
                            std::string(1, '\0') + std::string("\x01\0\0\0", 4) + std::string(8, '\0') + "\xFF" +
                            std::string("\xFF\xFF\xFF\xFF", 4);
    std::ofstream(file, std::ios::binary) << odd;
    Outcome hex = run_split("inspect --json " + quoted(file));
    EXPECT_EQ(hex.code, 0) << hex.output;
    EXPECT_NE(hex.output.find("\"name_hex\": \"c328\""), std::string::npos) << hex.output;
    // A pipe named as a file cannot be read twice: refused, with the way to read one.
    std::string const fifo = scratch("hostile_fifo");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Outcome pipe = run("inspect " + quoted(fifo));
    EXPECT_EQ(pipe.code, 2);
    EXPECT_NE(pipe.output.find("not a regular file"), std::string::npos) << pipe.output;
    std::remove(fifo.c_str());
    std::remove(file.c_str());
}

// A rig whose names changed: the map carries the file across, and remap
// writes the renamed file, refusing names the form cannot hold.
TEST(TavrikHostCli, NameMapsCarrySkinsAcrossRenamedRigs)
{
    std::string const file = scratch("map.vsk"), map = scratch("m.map"), out = scratch("map_out.vsk");
    std::string const loaded = scratch("map_loaded.json"), renamed = scratch("map_renamed.json");
    ASSERT_EQ(run("--quiet save '" + source + "/examples/character.json' '" + file + "'").code, 0);
    std::string scene = contents(source + "/examples/character_unbound.json");
    scene.replace(scene.find("\"name\": \"arm\""), 13, "\"name\": \"upper_arm\"");
    std::ofstream(renamed) << scene;
    // The one child of spine that no name of the file claims is what arm became.
    Outcome suggested = run("check '" + renamed + "' '" + file + "' --suggest-map '" + map + "'");
    EXPECT_EQ(suggested.code, 1);
    EXPECT_NE(suggested.output.find("joint figure/skeleton/hips/spine/arm: perhaps root/figure/skeleton/hips/spine/"
                                    "upper_arm (arm -> upper_arm: the one shape at that place that no name of the "
                                    "file claims)"),
              std::string::npos)
        << suggested.output;
    EXPECT_NE(contents(map).find("\narm = upper_arm\n"), std::string::npos) << contents(map);
    EXPECT_EQ(run("check '" + renamed + "' '" + file + "' --map '" + map + "'").code, 0);
    std::ofstream(map) << "# the arm was renamed\narm = upper_arm\nleg = thigh\n";
    Outcome check = run("check '" + renamed + "' '" + file + "' --map '" + map + "'");
    EXPECT_EQ(check.code, 0) << check.output;
    EXPECT_NE(check.output.find("line 2, arm = upper_arm: 2 names changed"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("line 3, leg = thigh: changed no name (a typo?)"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("rotator upper_arm: binds root/figure/skeleton/hips/spine/upper_arm"), std::string::npos)
        << check.output;
    EXPECT_EQ(run("--quiet load '" + renamed + "' '" + file + "' '" + loaded + "' --map '" + map + "'").code, 0);
    // remap: the renamed file loads without a map; one the map leaves alone is the same bytes.
    EXPECT_EQ(run("--quiet remap '" + file + "' '" + out + "' --map '" + map + "'").code, 0);
    EXPECT_EQ(run("check '" + renamed + "' '" + out + "'").code, 0);
    std::ofstream(map) << "nothing = here\n";
    EXPECT_EQ(run("--quiet remap '" + file + "' '" + out + "' --map '" + map + "'").code, 0);
    EXPECT_EQ(contents(out), contents(file));
    std::remove(out.c_str());
    std::ofstream(map) << "arm = up:per\nfrob\n";
    Outcome bad = run("remap '" + file + "' '" + out + "' --map '" + map + "'");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.output.find("m.map, line 2: not a rule"), std::string::npos) << bad.output;
    std::ofstream(map) << "shapes:\narm = up:per\n";
    Outcome refused = run("remap '" + file + "' '" + out + "' --map '" + map + "'");
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.output.find("the map renames the shape \"arm\" to \"up:per\""), std::string::npos) << refused.output;
    EXPECT_FALSE(exists(out));

    for (std::string const& path : {file, map, loaded, renamed})
        std::remove(path.c_str());
}

// Renames shapes in a scene file's text: names and the references that name them.
std::string renamed_in(std::string text, std::vector<std::pair<std::string, std::string>> const& renames)
{
    for (auto const& [from, to] : renames)
        for (char const* before : {"\"", "/"})
            for (char const* after : {"\"", "/"})
                for (std::size_t at = 0; (at = text.find(before + from + after, at)) != std::string::npos; ++at)
                    text.replace(at + 1, from.size(), to);
    return text;
}

// Shared models with renamed joints: check suggests a map, with which check
// finds nothing lost and load gives back every vertex skin of the original.
TEST(TavrikHostCli, SuggestedMapsCarryRealModelsAcrossRenames)
{
    std::string const models = source + "/../shared/data/models";
    if (!exists(models + "/Fox/glTF-Binary/Fox.glb") || !exists(models + "/CesiumMan/glTF-Binary/CesiumMan.glb"))
        GTEST_SKIP() << "no Fox or CesiumMan under " << models << " (the shared models folder is absent)";
    std::string const bound = scratch("real_rig.json"), cleared = scratch("real_rig_cleared.json"), file = scratch("real_rig.vsk");
    std::string const renamed = scratch("real_rig_renamed.json"), expected = scratch("real_rig_expected.json");
    std::string const map = scratch("real_rig.map"), loaded = scratch("real_rig_loaded.json");
    auto prefix_b = [](std::string const& text) {  // every b_ name, from the model's own nodes
        std::vector<std::pair<std::string, std::string>> renames;
        for (std::size_t at = 0; (at = text.find("\"name\":\"b_", at)) != std::string::npos; ++at) {
            std::size_t const start = at + 8, end = text.find('"', start);
            renames.emplace_back(text.substr(start, end - start), text.substr(start + 2, end - start - 2));
        }
        return renames;
    };
    struct Case {
        std::string model;
        std::vector<std::pair<std::string, std::string>> renames;  // empty: every b_ name loses its prefix
    } const cases[] = {
        {"Fox/glTF-Binary/Fox.glb", {}},
        {"CesiumMan/glTF-Binary/CesiumMan.glb", {{"torso_joint_3", "chest"}, {"Skeleton_arm_joint_R", "right_arm"}}},
    };
    for (Case const& c : cases) {
        ASSERT_EQ(run("--quiet from-gltf '" + models + "/" + c.model + "' '" + bound + "'").code, 0);
        ASSERT_EQ(run("--quiet save '" + bound + "' '" + file + "'").code, 0);
        ASSERT_EQ(run("--quiet clear '" + bound + "' '" + cleared + "'").code, 0);
        auto const renames = c.renames.empty() ? prefix_b(contents(bound)) : c.renames;
        ASSERT_FALSE(renames.empty());
        std::ofstream(renamed) << renamed_in(contents(cleared), renames);
        std::ofstream(expected) << renamed_in(contents(bound), renames);
        Outcome suggested = run("check '" + renamed + "' '" + file + "' --suggest-map '" + map + "'");
        EXPECT_EQ(suggested.code, 1) << c.model;
        EXPECT_NE(suggested.output.find("suggestions:\n  joint "), std::string::npos) << suggested.output;
        Outcome mapped = run("check '" + renamed + "' '" + file + "' --map '" + map + "'");
        EXPECT_EQ(mapped.code, 0) << c.model << "\n" << contents(map) << mapped.output;
        ASSERT_EQ(run("--quiet load '" + renamed + "' '" + file + "' '" + loaded + "' --map '" + map + "'").code, 0);
        EXPECT_EQ(run("show '" + loaded + "'").output, run("show '" + expected + "'").output) << c.model;
    }

    // A file saved with the range All, loaded into the scene from-gltf made
    // (its top part selected): check says so and which selection binds it.
    ASSERT_EQ(run("--quiet from-gltf '" + models + "/Fox/glTF-Binary/Fox.glb' '" + bound + "'").code, 0);
    ASSERT_EQ(run("--quiet save '" + bound + "' '" + file + "' --range all").code, 0);
    ASSERT_EQ(run("--quiet clear '" + bound + "' '" + cleared + "'").code, 0);
    Outcome trap = run("check '" + cleared + "' '" + file + "'");
    EXPECT_EQ(trap.code, 1);
    EXPECT_NE(trap.output.find("warning: the file's top record part root binds root/Fox/root, below where a save of "
                               "it would have started (the file was saved from another selection); --select none"),
              std::string::npos)
        << trap.output;
    Outcome selected = run("check '" + cleared + "' '" + file + "' --select none");
    EXPECT_EQ(selected.code, 0) << selected.output;
    EXPECT_EQ(selected.output.find("warning:"), std::string::npos);
    EXPECT_EQ(run("--quiet load '" + cleared + "' '" + file + "' '" + loaded + "' --select none").code, 0);
    EXPECT_EQ(run("show '" + loaded + "'").output, run("show '" + bound + "'").output);
    EXPECT_EQ(run("check '" + cleared + "' '" + file + "' --select root/nowhere").code, 2);
    for (std::string const& path : {bound, cleared, file, renamed, expected, map, loaded})
        std::remove(path.c_str());
}

// Suggestions from the names alone: a suffix most of the scene's rig carries,
// and a name that differs in case.
TEST(TavrikHostCli, SuggestionsSeeSuffixesAndCase)
{
    auto rig = [](char const* hips, char const* spine, char const* arm, bool bound) {
        std::string const skin = bound ? std::string(R"(, "skin": [{"joint": "root/)") + hips + "/" + spine + "/" + arm +
                                             R"(", "weight": 1}])"
                                       : "";
        return std::string(R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator", "name": ")") +
               hips + R"(", "children": [{"kind": "rotator", "name": ")" + spine +
               R"(", "children": [{"kind": "rotator", "name": ")" + arm +
               R"("}]}]}, {"kind": "polygon", "name": "body", "vertices": [{"position": [0, 0, 0])" + skin + "}]}]}}";
    };
    std::string const source_scene = scratch("suggest_source.json"), target = scratch("suggest_target.json");
    std::string const file = scratch("suggest.vsk"), map = scratch("suggest.map");
    std::ofstream(source_scene) << rig("hips", "spine", "arm", true);
    std::ofstream(target) << rig("hips_jnt", "spine_jnt", "Arm", false);
    ASSERT_EQ(run("--quiet save '" + source_scene + "' '" + file + "' --range all").code, 0);
    Outcome check = run("check '" + target + "' '" + file + "' --select none --suggest-map '" + map + "'");
    EXPECT_EQ(check.code, 1);
    for (char const* said : {"hips -> hips_jnt: the name with the scene's suffix _jnt",
                             "spine -> spine_jnt: the name with the scene's suffix _jnt",
                             "arm -> Arm: the same name but for case"})
        EXPECT_NE(check.output.find(said), std::string::npos) << said << "\n" << check.output;
    EXPECT_EQ(run("check '" + target + "' '" + file + "' --select none --map '" + map + "'").code, 0) << contents(map);
    // A level fewer along the path: said, though no rename mends it.
    std::ofstream(target) << R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator",
      "name": "hips", "children": [{"kind": "rotator", "name": "arm"}]}, {"kind": "polygon", "name": "body",
      "vertices": [{"position": [0, 0, 0]}]}]}})";
    Outcome level = run("check '" + target + "' '" + file + "' --select none");
    EXPECT_NE(level.output.find("joint root/hips/spine/arm: perhaps root/hips/arm (the same chain without spine)"),
              std::string::npos)
        << level.output;
    for (std::string const& path : {source_scene, target, file, map})
        std::remove(path.c_str());
}

// diff compares point by point; stats counts what the character's file holds
// (the counts worked out by hand from its lines).
TEST(TavrikHostCli, DiffAndStatsOfFilesAndScenes)
{
    std::string const file = scratch("diff.vsk"), changed = scratch("diff_changed.vsk"), cut = scratch("diff_cut.vsk");
    std::string const scene = source + "/examples/character.json";
    ASSERT_EQ(run("--quiet save '" + scene + "' '" + file + "'").code, 0);
    std::string text = contents(file);
    std::string const line = "2:2:0.75/figure/skeleton/hips/spine/:0.25/figure/skeleton/hips/spine/#head/:";
    ASSERT_NE(text.find(line), std::string::npos);
    std::ofstream(changed) << std::string(text).replace(
        text.find(line), line.size(), "2:2:0.7/figure/skeleton/hips/spine/:0.3/figure/skeleton/hips/spine/arm/:");
    std::ofstream(cut) << text.substr(0, 300);
    std::string const longer = scratch("diff_longer.vsk");
    std::string seven = text;
    seven.replace(seven.find("5:0:\n}\n{line:belt"), 5, "5:0:\n6:0:\n");
    seven.replace(seven.find("{polygon:body:6"), 15, "{polygon:body:7");
    std::ofstream(longer) << seven;
    struct Case {
        std::string arguments;
        int code;
        std::string said;
    } const cases[] = {
        {"'" + file + "' '" + file + "'", 0, "totals: 10 records and 20 points compared, 0 differ"},
        {"'" + scene + "' '" + file + "'", 0, "0 differ"},  // the scene's skins as a save writes them
        {"'" + file + "' '" + changed + "'", 1,
         "polygon figure/body, point 2: changed figure/skeleton/hips/spine 0.75 -> 0.7; removed "
         "figure/skeleton/hips/spine/#head 0.25; added figure/skeleton/hips/spine/arm 0.3\n"},
        {"'" + file + "' '" + changed + "' --tolerance 0.1", 1, "bindings 1 added, 1 removed, 0 changed"},
        {"'" + file + "' '" + changed + "' --json", 1, "\"points_differing\": 1"},
        {"'" + file + "' '" + cut + "'", 2, "diff_cut.vsk breaks at line 29"},
        {"'" + file + "' '" + longer + "'", 1, "polygon figure/body: 6 points, 7 in " + longer + "\ntotals: 10 records"},
        {"'" + longer + "' '" + file + "'", 1, "polygon figure/body: 7 points, 6 in " + file},
        {"'" + file + "' '" + scene + "' --range all", 1, "the record trees differ after 0 records"},
    };
    for (Case const& c : cases) {
        Outcome diff = run("diff " + c.arguments);
        EXPECT_EQ(diff.code, c.code) << c.arguments << "\n" << diff.output;
        EXPECT_NE(diff.output.find(c.said), std::string::npos) << c.arguments << "\n" << diff.output;
    }
    Outcome stats = run("stats '" + file + "'");
    EXPECT_EQ(stats.code, 0);
    for (char const* said : {"20 points, 8 bound\n", "    0          12 points\n", "    1           4 points\n",
                             "    2           4 points\n", "most influenced: polygon figure/body, point 1 (2 influences)",
                             "           4          3.1000  figure/skeleton/hips\n",
                             "           3          1.6500  figure/skeleton/hips/spine\n",
                             "           1          0.7000  figure/skeleton/hips/spine/arm/hand\n"})
        EXPECT_NE(stats.output.find(said), std::string::npos) << said << "\n" << stats.output;
    Outcome unused = run("stats '" + source + "/examples/character_unbound.json' --json");
    EXPECT_EQ(unused.code, 0);
    EXPECT_NE(unused.output.find("\"points_bound\": 0"), std::string::npos) << unused.output;
    EXPECT_NE(unused.output.find("\"root/figure/skeleton/hips/spine/arm/hand\""), std::string::npos) << unused.output;
    EXPECT_EQ(run("stats '" + cut + "'").code, 2);
    for (std::string const& path : {file, changed, cut, longer})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, WritesThatFailAndOutputsOverInputsAreErrors)
{
    // A .glb or a report that cannot be written whole is exit 2 (a full
    // device stands for a full disk); no output replaces an input, the name
    // map included; and no rule runs on a name the plug-in could not load.
    std::string const model = quoted(source + "/examples/triangle.gltf");
    std::string const file = scratch("trust.vsk"), map = scratch("trust.map"), full = scratch("trust_full.glb");
    std::string const host = quoted(host_program) + " ";
    ASSERT_EQ(run("--quiet save " + model + " " + quoted(file)).code, 0);
    std::ofstream(map) << "s/(.*)y/$1Y/\n";
    std::remove(full.c_str());
    ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
    std::string const saved = contents(file), rules = contents(map);
    struct Case {
        std::string command;  // standard error joins standard output
        char const* says;
    } const cases[] = {
        {host + "--quiet to-gltf " + model + " " + model + " " + quoted(full) + " 2>&1", "cannot write"},
        {host + "--quiet load " + model + " " + quoted(file) + " " + quoted(full) + " 2>&1", "cannot write"},
        {host + "inspect " + quoted(file) + " 2>&1 >/dev/full", "cannot write standard output"},
        {host + "show " + model + " 2>&1 >/dev/full", "cannot write standard output"},
        {host + "check " + model + " " + quoted(file) + " --suggest-map " + quoted(file) + " 2>&1", "is the input"},
        {host + "remap " + quoted(file) + " " + quoted(map) + " --map " + quoted(map) + " 2>&1", "is the input"},
        {host + "load " + model + " " + quoted(file) + " " + quoted(map) + " --map " + quoted(map) + " 2>&1",
         "is the input"},
    };
    for (Case const& c : cases) {
        Outcome const outcome = capture(c.command);
        EXPECT_EQ(outcome.code, 2) << c.command << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find(c.says), std::string::npos) << c.command << "\n" << outcome.output;
    }
    EXPECT_EQ(contents(file), saved);
    EXPECT_EQ(contents(map), rules);

    std::string const long_file = scratch("trust_long.vsk"), out = scratch("trust_long_out.vsk");
    std::ofstream(long_file) << "<skinfile>\npart:" << std::string(30000, 'y') << ":1\n0:0:\n<end>\n";
    std::remove(out.c_str());
    for (std::string const& command : {"remap " + quoted(long_file) + " " + quoted(out) + " --map " + quoted(map),
                                       "check " + model + " " + quoted(long_file) + " --map " + quoted(map)}) {
        Outcome const outcome = run(command);
        EXPECT_EQ(outcome.code, 1) << command << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find("longer than the plug-in can load (255 bytes)"), std::string::npos)
            << outcome.output;
    }
    EXPECT_FALSE(exists(out));
    for (std::string const& path : {file, map, full, long_file})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, JsonReportsGiveNamesThatAreNotUtf8InHex)
{
    // A joint "bone\xC0" and a mesh "m\xFE" (neither is UTF-8), and a
    // kind word "\xFEpolygon": every report still writes its JSON.
    std::string const scene = scratch("hex.json"), other = scratch("hex2.json");
    std::string const file = scratch("hex.vsk"), file2 = scratch("hex2.vsk"), kind = scratch("hex_kind.vsk");
    std::string const text =
        R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "part", "name_hex": "626f6e65c0", "id": "j"},
            {"kind": "polygon", "name_hex": "6dfe", "vertices": [{"position": [0, 0, 0], "skin": [{"joint": "@j", "weight": 0.5}]}]}]}})";
    std::ofstream(scene) << text;
    std::ofstream(other) << std::string(text).replace(text.find("0.5"), 3, "0.25");
    ASSERT_EQ(run("--quiet save " + quoted(scene) + " " + quoted(file) + " --range all").code, 0);
    ASSERT_EQ(run("--quiet save " + quoted(other) + " " + quoted(file2) + " --range all").code, 0);
    std::string saved = contents(file);
    std::ofstream(kind) << saved.replace(saved.find("polygon"), 0, "\xFE");
    for (std::string const& command :
         {"check " + quoted(scene) + " " + quoted(file), "diff " + quoted(file) + " " + quoted(file2),
          "stats " + quoted(file), "inspect " + quoted(file), "inspect " + quoted(kind)}) {
        Outcome const outcome = run_split(command + " --json");
        EXPECT_NE(outcome.code, 2) << command << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.rfind("{", 0), 0u) << command << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find("_hex\": \""), std::string::npos) << command << "\n" << outcome.output;
    }
    for (std::string const& path : {scene, other, file, file2, kind})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, BrokenFilesAndBadInputsAreRefusedByEveryCommand)
{
    std::string const example = quoted(source + "/examples/character.json");
    std::string const unbound = quoted(source + "/examples/character_unbound.json");
    std::string const file = scratch("refused.vsk"), broken = scratch("refused_broken.vsk");
    std::string const out = scratch("refused_out.json"), fifo = scratch("refused.fifo");
    ASSERT_EQ(run("--quiet save " + example + " " + quoted(file) + " --form text").code, 0);
    // A weight "0.6.7": the plug-in would read 0.6 and go on.
    std::string text = contents(file);
    text.replace(text.find(":0.5/"), 5, ":0.6.7/");
    std::ofstream(broken) << text;
    // "1e999" is of the number grammar, and no float holds it.
    std::string const huge = scratch("refused_huge.vsk");
    text = contents(file);
    text.replace(text.find(":0.5/"), 5, ":1e999/");
    std::ofstream(huge) << text;
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::remove(out.c_str());
    std::remove(scratch("refused.gltf").c_str());
    struct Case {
        std::string arguments;
        char const* says;
    } const cases[] = {
        {"load " + unbound + " " + quoted(broken) + " " + quoted(out), "a weight that is not a number"},
        {"stats " + quoted(fifo), "a pipe or device cannot be read twice"},
        {"diff " + quoted(fifo) + " " + quoted(file), "a pipe or device cannot be read twice"},
        {"diff " + quoted(file) + " " + quoted(file) + " --tolerance nan", "a finite number of 0 or more"},
        {"diff " + quoted(file) + " " + quoted(file) + " --tolerance -1", "a finite number of 0 or more"},
        {"load " + unbound + " " + quoted(huge) + " " + quoted(out), "a weight that is not finite: \"1e999\""},
        {"from-gltf " + quoted(source + "/examples/triangle.gltf") + " " + quoted(scratch("refused.gltf")),
         "give it a .json name"},
        {"reset " + example + " " + quoted(scratch("refused.gltf")), "models are written as .glb"},
        {"check " + unbound + " " + quoted(file) + " --json --suggest-map -", "would both write to standard output"},
    };
    for (Case const& c : cases) {
        Outcome const outcome = run(c.arguments);
        EXPECT_EQ(outcome.code, 2) << c.arguments << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find(c.says), std::string::npos) << c.arguments << "\n" << outcome.output;
    }
    EXPECT_FALSE(exists(out));
    // A missing input still gives the JSON error object; standard input serves as a file.
    for (std::string const& command : {std::string("inspect missing.vsk"), std::string("stats missing.vsk"), "diff missing.vsk " + quoted(file),
                                       "check " + unbound + " missing.vsk"}) {
        Outcome const outcome = run_split(command + " --json");
        EXPECT_EQ(outcome.code, 2) << command;
        EXPECT_NE(outcome.output.find("\"error\": {"), std::string::npos) << command << "\n" << outcome.output;
    }
    Outcome const piped = run_split("stats - < " + quoted(file));
    EXPECT_EQ(piped.code, 0) << piped.output;
    EXPECT_NE(piped.output.find("-: 20 points, 8 bound"), std::string::npos) << piped.output;
    EXPECT_FALSE(exists(scratch("refused.gltf")));
    // A map saved with a byte-order mark reads as one without.
    std::string const map = scratch("refused_bom.map"), mapped = scratch("refused_mapped.vsk");
    std::ofstream(map) << "\xEF\xBB\xBFstrip-prefix #\n";
    Outcome const remapped = run("remap " + quoted(file) + " " + quoted(mapped) + " --map " + quoted(map));
    EXPECT_EQ(remapped.code, 0) << remapped.output;
    for (std::string const& path : {file, broken, huge, fifo, map, mapped})
        std::remove(path.c_str());
}

TEST(TavrikHostCli, AModelReadsOnlyItsOwnFolderAndEmbedsOnlyImages)
{
    // A .gltf whose buffer or image climbs out of its folder, or whose
    // "image" is not one: refused with its name, nothing written, unless
    // --resources names the wider folder.
    std::string const dir = scratch("resources_" + std::to_string(getpid()) + "/");
    ASSERT_EQ(shell("mkdir -p " + dir + "m"), 0);
    std::string const model = contents(source + "/examples/triangle.gltf");
    auto variant = [&](std::string const& name, std::string const& before, std::string const& after) {
        std::string text = model;
        std::size_t const at = text.find(before);
        EXPECT_NE(at, std::string::npos) << before;
        text.replace(at, before.size(), after);
        std::ofstream(dir + "m/" + name) << text;
        return quoted(dir + "m/" + name);
    };
    std::ofstream(dir + "secret.bin") << std::string(96, '\0');  // the triangle's buffer length
    std::ofstream(dir + "m/fake.png") << "not an image";
    std::size_t const uri = model.find("\"uri\"");
    std::string const data_uri = model.substr(uri, model.find('"', model.find(':', uri) + 3) - uri + 1);
    std::string const climbing_buffer = variant("buffer.gltf", data_uri, "\"uri\": \"../secret.bin\"");
    std::string const climbing_image = variant("image.gltf", "\"asset\"",
                                               "\"images\": [{\"uri\": \"../../../../../../etc/passwd\"}], \"asset\"");
    std::string const fake_image = variant("fake.gltf", "\"asset\"", "\"images\": [{\"uri\": \"fake.png\"}], \"asset\"");
    std::string const out = dir + "out.glb";
    struct Case {
        std::string arguments;
        char const* says;
    } const cases[] = {
        {"from-gltf " + climbing_buffer + " " + quoted(dir + "out.json"), "secret.bin: it lies outside"},
        {"to-gltf " + climbing_image + " " + climbing_image + " " + quoted(out), "etc/passwd: it lies outside"},
        {"to-gltf " + fake_image + " " + fake_image + " " + quoted(out), "not a PNG, JPEG or WebP image"},
    };
    for (Case const& c : cases) {
        Outcome const outcome = run(c.arguments);
        EXPECT_EQ(outcome.code, 2) << c.arguments << "\n" << outcome.output;
        EXPECT_NE(outcome.output.find(c.says), std::string::npos) << c.arguments << "\n" << outcome.output;
    }
    EXPECT_FALSE(exists(out));
    EXPECT_FALSE(exists(dir + "out.json"));
    Outcome const allowed = run("--resources " + quoted(dir) + " from-gltf " + climbing_buffer + " " + quoted(dir + "out.json"));
    EXPECT_EQ(allowed.code, 0) << allowed.output;
    shell("rm -rf " + dir);
}

TEST(TavrikHostCli, TheReportsReaderTellsNamesApartAndNestingWhole)
{
    // Two joint paths of one length that share their first and last eight
    // bytes are two joints; a record left open at depth 2 breaks the file.
    std::string const names = scratch("reader_lr.vsk"), open = scratch("reader_open.vsk");
    std::ofstream(names) << "<skinfile>\npolygon:m:2\n0:1:1/root/aaaaaaaaLbbbbbbbb/:\n1:1:1/root/aaaaaaaaRbbbbbbbb/:\n<end>\n";
    std::ofstream(open) << "<skinfile>\npart:a:1\n0:0:\n{part:b:1\n0:0:\npart:d:1\n0:0:\n<end>\n";
    Outcome const stats = run_split("stats " + quoted(names));
    EXPECT_EQ(stats.code, 0) << stats.output;
    for (char const* joint : {"1          1.0000  root/aaaaaaaaLbbbbbbbb", "1          1.0000  root/aaaaaaaaRbbbbbbbb"})
        EXPECT_NE(stats.output.find(joint), std::string::npos) << stats.output;
    Outcome const inspected = run("inspect " + quoted(open));
    EXPECT_EQ(inspected.code, 2) << inspected.output;
    EXPECT_NE(inspected.output.find("line 6: a nested record not closed by"), std::string::npos) << inspected.output;
    std::remove(names.c_str());
    std::remove(open.c_str());
}

TEST(TavrikHostCli, AnOutputThroughARelativeLinkReplacesTheLinksTarget)
{
    // The link's target is relative to the link's folder, not to where the
    // command runs.
    std::string const dir = scratch("link_" + std::to_string(getpid()) + "/");
    ASSERT_EQ(shell("mkdir -p " + dir + " && echo old > " + dir + "real.vsk && ln -sf real.vsk " + dir + "link.vsk"), 0);
    Outcome const saved = run("--quiet save " + quoted(source + "/examples/character.json") + " " + quoted(dir + "link.vsk"));
    EXPECT_EQ(saved.code, 0) << saved.output;
    struct stat link {};
    ASSERT_EQ(lstat((dir + "link.vsk").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(contents(dir + "real.vsk").rfind("<skinfile>", 0), 0u);
    EXPECT_FALSE(exists("real.vsk"));
    shell("rm -rf " + dir);
}

TEST(TavrikHostCli, CheckCountsAWholeShapeOnceAndNamesAShapeTakenTwice)
{
    // A rotator's two point lines are one skin, whose weights (0.5) are
    // counted once; a second record of the same sphere finds it taken.
    std::string const scene = scratch("taken.json"), file = scratch("taken.vsk");
    std::ofstream(scene) << R"({"root": {"kind": "part", "name": "root", "children": [
      {"kind": "rotator", "name": "J"}, {"kind": "rotator", "name": "r"}, {"kind": "sphere", "name": "eye"}]}})";
    std::ofstream(file) << "<skinfile>\nrotator:r:2\n0:1:0.5/root/J/:\n1:1:0.5/root/J/:\nsphere:eye:1\n0:1:1/root/J/:\n"
                           "sphere:eye:1\n0:1:1/root/J/:\n<end>\n";
    Outcome const checked = run_split("check " + quoted(scene) + " " + quoted(file));
    EXPECT_EQ(checked.code, 1) << checked.output;
    for (char const* line : {"sphere eye: matches nothing (root/eye lies before the previous target root/eye)",
                             "totals: 2 of 3 records matched, 3 points bound, 1 binding lost, 0 points left without "
                             "influence, 1 whose weights do not sum to 1"})
        EXPECT_NE(checked.output.find(line), std::string::npos) << checked.output;
    // The records bind below the root part, which could take none of them:
    // there is nothing to warn of (the root part's record is the Fox case).
    EXPECT_EQ(checked.output.find("warning:"), std::string::npos) << checked.output;
    std::remove(scene.c_str());
    std::remove(file.c_str());
}

TEST(TavrikHostCli, GltfWeightsAreWhatTheValidatorTakes)
{
    // Vertex 0 of the triangle bound with weights whose float sum overflows,
    // bound twice to one joint, or with weights summing to 0.5.
    std::string const model = quoted(source + "/examples/triangle.gltf");
    std::string const scene = scratch("weights.json"), out = scratch("weights.glb");
    ASSERT_EQ(run("--quiet from-gltf " + model + " " + quoted(scene)).code, 0);
    std::string const original = contents(scene);
    std::string const first = R"([{"joint":"root/triangle/hips","weight":0.5},{"joint":"root/triangle/hips/arm","weight":0.5}])";
    ASSERT_NE(original.find(first), std::string::npos) << original.substr(0, 600);
    struct Case {
        char const* skin;
        char const* options;
        int code;
        char const* says;       // on standard error, or empty
        char const* vertex_0;   // as show gives it
    } const cases[] = {
        {R"([{"joint":"root/triangle/hips","weight":3e38},{"joint":"root/triangle/hips/arm","weight":3e38}])",
         "--normalize", 0, "", "vertex 0: hips=0.5 arm=0.5"},
        {R"([{"joint":"root/triangle/hips","weight":0.5},{"joint":"root/triangle/hips","weight":0.5}])", "", 0,
         "1 vertices were bound twice to one joint", "vertex 0: hips=1\n"},
        {R"([{"joint":"root/triangle/hips","weight":0.5}])", "", 1, "weights that do not sum to 1",
         "vertex 0: hips=0.5\n"},
        {R"([{"joint":"root/triangle/hips","weight":0.5}])", "--normalize", 0, "", "vertex 0: hips=1\n"},
    };
    for (Case const& c : cases) {
        std::string text = original;
        text.replace(text.find(first), first.size(), c.skin);
        std::ofstream(scene) << text;
        std::remove(out.c_str());
        std::string errors;
        Outcome const written =
            run_split("to-gltf " + quoted(scene) + " " + model + " " + quoted(out) + " " + c.options, &errors);
        EXPECT_EQ(written.code, c.code) << c.skin << "\n" << errors;
        if (*c.says) {
            EXPECT_NE(errors.find(c.says), std::string::npos) << errors;
        }
        std::string const shown = run_split("show " + quoted(out)).output;
        EXPECT_NE(shown.find(c.vertex_0), std::string::npos) << c.skin << "\n" << shown;
    }
    std::remove(scene.c_str());
    std::remove(out.c_str());
}

TEST(TavrikHostCli, DiffIsLinearInTheDepthOfRecords)
{
    // 40,000 records each inside the last: the open record's path is not
    // joined again for every record (that took 16 s; this takes a tenth).
    int const depth = 40000;
    std::string const file = scratch("deep.vsk");
    {
        std::ofstream out(file);
        out << "<skinfile>\n";
        for (int i = 0; i < depth; ++i)
            out << (i ? "{" : "") << "part:p" << i << ":1\n0:0:\n";
        for (int i = 1; i < depth; ++i)
            out << "}\n";
        out << "<end>\n";
    }
    auto const start = std::chrono::steady_clock::now();
    Outcome const compared = run_split("diff " + quoted(file) + " " + quoted(file));
    double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(compared.code, 0) << compared.output;
    EXPECT_NE(compared.output.find("totals: 40000 records and 40000 points compared, 0 differ"), std::string::npos)
        << compared.output;
    EXPECT_LT(seconds, 8.0);
    std::remove(file.c_str());
}

TEST(TavrikHostCli, AFileThatIsNoSkinFileIsRefusedBeforeItIsRead)
{
    // 64 MB on one line, no skin file: load and check refuse it by its first
    // bytes, as inspect does, instead of the host reading the line whole.
    std::string const file = scratch("not_skin.txt"), out = scratch("not_skin_out.json");
    std::ofstream(file) << std::string(64 << 20, 'a');
    std::string const scene = quoted(source + "/examples/character_unbound.json");
    for (std::string const& command : {"load " + scene + " " + quoted(file) + " " + quoted(out),
                                       "check " + scene + " " + quoted(file)}) {
        auto const start = std::chrono::steady_clock::now();
        Outcome const refused = run(command);
        double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(refused.code, 2) << refused.output;
        EXPECT_NE(refused.output.find("byte 0: not a skin file"), std::string::npos) << refused.output;
        EXPECT_LT(seconds, 1.0) << command;
    }
    EXPECT_FALSE(exists(out));
    std::remove(file.c_str());
}

TEST(TavrikHostCli, TransferSaysWhatItMatchedAndRefusesWhatItCannotSolve)
{
    // A quad of two triangles bound half to a, half to b; the target the same
    // quad with a second, far piece, and (third) with joint b renamed.
    auto scene = [](std::string const& extra, bool skinned, char const* b = "b", std::string const& more = "") {
        std::string const skin = skinned ? R"(, "skin": [{"joint": "root/a", "weight": 0.5}, {"joint": "root/b", "weight": 0.5}])" : "";
        std::string out = R"({"root": {"kind": "part", "name": "root", "children": [{"kind": "rotator", "name": "a"}, {"kind": "rotator", "name": ")" +
                          std::string(b) + R"("}, {"kind": "polygon", "name": "m", "vertices": [)";
        for (char const* p : {"[0,0,0]", "[1,0,0]", "[1,1,0]", "[0,1,0]"})
            out += std::string(p[1] == '0' && p[3] == '0' ? "" : ",") + R"({"position": )" + p + skin + "}";
        return out + extra + R"(], "triangles": [0,1,2,0,2,3)" + more + "]}]}}";
    };
    auto write = [](std::string const& name, std::string const& text) {
        std::ofstream(scratch(name)) << text;
        return "'" + scratch(name) + "'";
    };
    std::string const source_scene = write("tsource.json", scene("", true));
    std::string const out = "'" + scratch("tout.json") + "'";
    std::remove(scratch("tout.json").c_str());
    Outcome done = run("transfer " + source_scene + " " + write("ttarget.json", scene("", false)) + " " + out);
    EXPECT_EQ(done.code, 0) << done.output;
    EXPECT_NE(done.output.find("root/m <- root/m: 4 vertices, 4 matched (farthest 0.000000), 0 inpainted"), std::string::npos) << done.output;
    EXPECT_NE(capture("cat " + out).output.find(R"({"joint":"root/b","weight":0.5})"), std::string::npos);

    std::string const far = write("tfar.json", scene(", [9,9,9], [10,9,9], [9,10,9]", false, "b", ",4,5,6"));
    Outcome refused = run("transfer " + source_scene + " " + far + " " + out + " --json");
    EXPECT_EQ(refused.code, 1) << refused.output;
    EXPECT_NE(refused.output.find("a piece of 3 vertices (vertex 4, at 9.000000 9.000000 9.000000)"), std::string::npos)
        << refused.output;
    Outcome nearest = run("transfer " + source_scene + " " + far + " " + out + " --method nearest --quiet");
    EXPECT_EQ(nearest.code, 0) << nearest.output;

    Outcome missing = run("transfer " + source_scene + " " + write("tmiss.json", scene("", false, "c")) + " " + out);
    EXPECT_EQ(missing.code, 1) << missing.output;
    EXPECT_NE(missing.output.find("no joint of that name in the target, its weights dropped: root/b"), std::string::npos) << missing.output;
    Outcome by_index = run("transfer " + source_scene + " " + far + " " + out + " --method index");
    EXPECT_EQ(by_index.code, 1);
    EXPECT_NE(by_index.output.find("vertex counts must match: 4 in the source, 7 here"), std::string::npos) << by_index.output;

    // A model onto itself, written as a .glb of it.
    std::string const gltf = "'" + source + "/examples/triangle.gltf'";
    std::remove(scratch("t.glb").c_str());
    Outcome model = run("transfer " + gltf + " " + gltf + " '" + scratch("t.glb") + "'");
    EXPECT_EQ(model.code, 0) << model.output;
    EXPECT_TRUE(exists(scratch("t.glb")));
    EXPECT_NE(model.output.find("3 vertices, 3 matched (farthest 0.000000), 0 inpainted"), std::string::npos) << model.output;

    Outcome bare = run("transfer " + write("tbare.json", scene("", false)) + " " + source_scene + " " + out);
    EXPECT_EQ(bare.code, 1);
    EXPECT_NE(bare.output.find("refused, left as it was: the source shape has no skin"), std::string::npos) << bare.output;

    for (std::string const bad : {"--method linear", "--max-angle nan", "--max-distance -1", "--pair m", "--smooth -2"}) {
        Outcome const no = run("transfer " + source_scene + " " + source_scene + " " + out + " " + bad);
        EXPECT_EQ(no.code, 2) << bad << ": " << no.output;
    }
    EXPECT_EQ(run("transfer " + source_scene + " " + source_scene + " '" + scratch("t.glb") + "'").code, 2);
}

TEST(TavrikHostCli, ViewWritesOnePageThatNeedsNothingElse)
{
    auto count = [](std::string const& text, std::string const& what) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
            ++n;
        return n;
    };
    std::string const quads = "'" + source + "/tests/data/view_quads.json'";
    std::string const page = scratch("view.html");
    Outcome done = run("view " + quads + " '" + page + "' --compare '" + source + "/tests/data/view_quads_changed.json'");
    EXPECT_EQ(done.code, 0) << done.output;
    EXPECT_NE(done.output.find("1 mesh, 12 vertices, 2 joints"), std::string::npos) << done.output;
    std::string const text = capture("cat '" + page + "'").output;
    EXPECT_EQ(text.rfind("<!doctype html>", 0), 0u);
    for (char const* marker : {"/*DATA*/", "/*SCRIPT*/", "/*MESH_VERTEX*/", "http:", "https:"})
        EXPECT_EQ(text.find(marker), std::string::npos) << marker;
    EXPECT_NE(text.find(R"("parent":-1,"path":"root/b")"), std::string::npos);
    std::size_t const scripts = count(text, "</script>");
    // Each vertex's change, the largest of one joint's weight: b 1 -> 0.5 and
    // a 0 -> 0.5 on the last quad; a joint named twice counts once, summed.
    auto changes = [&](std::string const& page_text) {
        std::size_t const at = page_text.find(R"("change":")") + 10;
        std::string const digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string bytes;
        unsigned bits = 0, held = 0;
        for (std::size_t i = at; i < page_text.size() && page_text[i] != '"' && page_text[i] != '='; ++i) {
            bits = bits << 6 | static_cast<unsigned>(digits.find(page_text[i]));
            if ((held += 6) >= 8)
                bytes += static_cast<char>(bits >> (held -= 8) & 0xff);
        }
        std::vector<float> out(bytes.size() / 4);
        std::memcpy(out.data(), bytes.data(), out.size() * 4);
        return out;
    };
    std::vector<float> expected(12, 0.0f);
    std::fill(expected.begin() + 8, expected.end(), 0.5f);
    EXPECT_EQ(changes(text), expected);
    std::string twice = capture("cat " + quads).output;
    twice.replace(twice.find(R"("weight": 1)"), 11, R"("weight": 0.75}, {"joint": "root/a", "weight": 0.25)");
    std::ofstream(scratch("view_twice.json")) << twice;
    EXPECT_EQ(run("view " + quads + " '" + page + "' --quiet --compare '" + scratch("view_twice.json") + "'").code, 0);
    EXPECT_EQ(changes(capture("cat '" + page + "'").output), std::vector<float>(12, 0.0f));

    // A name that would close the data's script element stays inside it.
    std::string named = capture("sed 's|\"name\": \"b\"|\"name\": \"</script><b>\", \"id\": \"bee\"|; s|\"root/b\"|\"@bee\"|g' " + quads).output;
    std::ofstream(scratch("view_named.json")) << named;
    EXPECT_EQ(run("view '" + scratch("view_named.json") + "' '" + page + "' --quiet").code, 0);
    EXPECT_EQ(count(capture("cat '" + page + "'").output, "</script>"), scripts);

    Outcome joint = run("view " + quads + " '" + page + "' --joint root/nowhere");
    EXPECT_EQ(joint.code, 2);
    EXPECT_NE(joint.output.find("--joint root/nowhere"), std::string::npos) << joint.output;
    EXPECT_EQ(run("view " + quads + " " + quads).code, 2);
    // A skin file whose records find nothing: the page is written, the loss said.
    Outcome lost = run("view '" + source + "/examples/character_unbound.json' '" + page + "' --skins '" + source +
                       "/tests/data/separators.vsk'");
    EXPECT_EQ(lost.code, 1) << lost.output;
    EXPECT_NE(lost.output.find("lost something"), std::string::npos) << lost.output;
}

TEST(TavrikHostCli, LoadAndInspectHoldNothingPerRecord)
{
    // A load asks for no report by record and inspect streams its listing:
    // 150,000 records more must not raise the peak memory of either (before,
    // a load kept about 1.2 KB a record, inspect about 0.6 KB).
    auto records_file = [](std::string const& name, int records) {
        std::string const file = scratch(name);
        std::ofstream out(file);
        out << "<skinfile>\npart:figure:1\n0:0:\n";
        for (int i = 0; i < records; ++i)
            out << "{polygon:body" << i << ":1\n0:1:1/figure/skeleton/hips/:\n}\n";
        out << "<end>\n";
        return file;
    };
    // The exit code and peak memory (KB) of one run of the tool.
    auto run_measured = [](std::string const& line) -> std::pair<int, long> {
        // Freed memory is given back at once, so what is measured is what is held.
        pid_t const child = fork();
        if (child == 0) {
            execl("/bin/sh", "sh", "-c", ("export ASAN_OPTIONS=quarantine_size_mb=0:${ASAN_OPTIONS:-}; exec " + line + " >/dev/null 2>&1").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        if (child < 0 || wait4(child, &status, 0, &usage) != child)
            return {-1, 0};
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
    };
    std::string const small = records_file("records_small.vsk", 1000), large = records_file("records_large.vsk", 150000);
    std::string const out = scratch("records_out.json"), scene = quoted(source + "/examples/character_unbound.json");
    std::string const tool = "'" + host_program + "' ";
    for (std::string const& command : std::vector<std::string>{"load " + scene + " FILE " + quoted(out) + " --quiet",
                                                               "inspect FILE", "inspect FILE --json"}) {
        auto with = [&](std::string const& file) {
            std::string line = command;
            line.replace(line.find("FILE"), 4, quoted(file));
            return run_measured(tool + line);
        };
        auto const [small_code, small_peak] = with(small);
        auto const [large_code, large_peak] = with(large);
        EXPECT_TRUE(small_code == large_code && (small_code == 0 || small_code == 1)) << command << ": " << small_code;
        EXPECT_LT(large_peak - small_peak, 30 * 1024) << command << ": the peak grew by " << (large_peak - small_peak) << " KB";
    }
    for (std::string const& file : {small, large, out})
        std::remove(file.c_str());
}

#else

TEST(TavrikHostCli, RunsOnPosixSystems) { GTEST_SKIP() << "the command-line tests run the program through a POSIX shell"; }

#endif

}  // namespace
