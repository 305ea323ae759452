// The reference host's streams: the byte order and float text the skin file relies on.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <limits>
#include <random>

#include "format.h"
#include "support.h"

namespace {

TEST(HostStreams, BinaryValuesAreLittleEndianAndReadBack)
{
    auto out = host::Binary_stream::collector();
    out->write_integer(0x50020010);
    out->write_int(-1);
    out->write_float(1.0f);
    out->write_text("ab");
    out->write_char('\xFF');
    std::vector<char> const expected = {'\x10', '\x00', '\x02', '\x50', '\xFF', '\xFF', '\xFF', '\xFF',
                                        '\x00', '\x00', '\x80', '\x3F', 'a', 'b', '\xFF'};
    EXPECT_EQ(out->bytes(), expected);
    auto in = host::Binary_stream::over(expected);
    EXPECT_EQ(in->read_int(), 0x50020010);
    EXPECT_EQ(in->read_int(), -1);
    EXPECT_EQ(in->read_float(), 1.0f);
    EXPECT_EQ(in->tell(), 12);
    EXPECT_EQ(in->read_char(), 'a');
    in->seek(14);
    EXPECT_FALSE(in->is_end());
    EXPECT_EQ(in->read_char(), '\xFF');
    EXPECT_TRUE(in->is_end());
    EXPECT_EQ(in->read_int(), 0);  // past the end: zero bytes
}

TEST(HostStreams, FloatsAreWrittenShortestAndReadBackExactly)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 20000; ++i) {
        uint32_t b = bits(random);
        float f;
        std::memcpy(&f, &b, 4);
        if (!std::isfinite(f))
            continue;
        std::string const text = host::shortest_float_text(f);
        EXPECT_EQ(text.find_first_not_of("0123456789.+-eE"), std::string::npos) << text;
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
    }
    EXPECT_EQ(host::shortest_float_text(0.75f), "0.75");
    auto out = host::Text_stream::collector();
    EXPECT_THROW(out->write_float(std::numeric_limits<float>::quiet_NaN()), host::host_error);
}

TEST(HostStreams, EveryFloatReadsBackThroughTheSkinFileReader)
{
    // The reader takes a weight through a double to a float. Every float of a
    // sweep across all bit patterns (both signs, every exponent), and the one
    // whose shortest text reads back as its neighbour, come back to the bit.
    auto check = [](uint32_t b) {
        float f;
        std::memcpy(&f, &b, 4);
        if (!std::isfinite(f))
            return;
        auto out = host::Text_stream::collector();
        out->write_float(f);
        out->write_char('/');
        out->end_line();
        float back = 0;
        char const* end = skin_format::get_float_from_text(out->text().c_str(), back);
        uint32_t back_bits;
        std::memcpy(&back_bits, &back, 4);
        ASSERT_EQ(back_bits, b) << out->text();
        ASSERT_EQ(*end, '/') << out->text();
    };
    for (uint32_t b : {0x15ae43fdu, 0x95ae43fdu})
        check(b);
    EXPECT_EQ(host::float_text(0.75f), "0.75");
    for (uint64_t b = 0; b <= 0xffffffffu; b += 4099)
        check(static_cast<uint32_t>(b));
}

TEST(HostStreams, TextLinesWithoutTheirEnds)
{
    auto in = host::Text_stream::over("one\r\ntwo\n\nlast");
    char const* line = nullptr;
    in->read_line(&line);
    EXPECT_STREQ(line, "one");
    in->read_line(&line);
    EXPECT_STREQ(line, "two");
    in->read_line(&line);
    EXPECT_STREQ(line, "");
    in->read_line(&line);
    EXPECT_STREQ(line, "last");
    EXPECT_TRUE(in->is_end());
    in->rewind();
    in->read_line(&line);
    EXPECT_STREQ(line, "one");
}

TEST(HostStreams, FilesAreCreatedAtTheFirstWrite)
{
    std::string const path = ::testing::TempDir() + "/tavrik_stream_test.vsk";
    std::remove(path.c_str());
    {
        auto unused = host::Binary_stream::writer(path);
        EXPECT_FALSE(unused->written());
    }
    EXPECT_THROW(host::read_file(path), host::host_error);
    {
        auto out = host::Text_stream::writer(path);
        out->write_line("<skinfile>");
        out->close();
    }
    std::vector<char> const bytes = host::read_file(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "<skinfile>\n");
    std::remove(path.c_str());
}

}  // namespace

namespace {

constexpr char const small_scene[] = R"({"root": {"kind": "part", "name": "root", "children": [
    {"kind": "rotator", "name": "j"},
    {"kind": "polygon", "name": "mesh", "vertices": [{"position": [0,0,0], "skin": [{"joint": "root/j"}]}]}]}})";

// A scene whose skin file is larger than the writer's buffer, so that a
// refused write fails inside the export and not at the last hand-over.
std::string large_scene()
{
    std::string scene = R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "joint_with_a_long_name"},
        {"kind": "polygon", "name": "mesh", "vertices": [)";
    for (int i = 0; i < 40000; ++i)
        scene += std::string(i ? "," : "") + R"({"position": [0,0,0], "skin": [{"joint": "root/joint_with_a_long_name", "weight": 0.123456}]})";
    return scene + "]}]}}";
}

TEST(HostStreams, ASaveTheSystemRefusesIsReportedAndFails)
{
    std::vector<std::string> paths = {test::source_dir() + "/no/such/folder/x.vsk"};
#ifndef _WIN32
    paths.push_back("/dev/full");  // every write refused, however small the file
#endif
    std::string const large = large_scene();
    for (std::string const& path : paths)
        for (std::string const& scene : {std::string(small_scene), large})
            for (int form : {0, 1}) {
                test::Session session;
                session.load_scene(scene);
                session.services.dialog_answers.push_back(host::Dialog_answer{true, {{10, 0}, {11, form}}});
                EXPECT_THROW(host::run_save(test::plugin(), session.services, session.scene, path), host::host_error)
                    << path;
                ASSERT_EQ(session.services.message_boxes.size(), 1u) << path;
                EXPECT_EQ(session.services.message_boxes[0].text, "Can't file write.") << path;
                // The same lines whether the write failed inside the export or
                // when the host handed its last buffer over.
                EXPECT_EQ(session.services.messages.back(), "finish save skin file") << path << scene.size();
                session.expect_balanced();
            }
}

TEST(HostStreams, ASaveToAFileWritesWhatMemoryHolds)
{
    std::string const path = ::testing::TempDir() + "tavrik_save_to_file_test.vsk";
    test::Session session;
    session.load_scene(small_scene);
    std::string const in_memory = session.save({{10, 0}}).text;
    session.services.dialog_answers.push_back(host::Dialog_answer{true, {{10, 0}}});
    host::run_save(test::plugin(), session.services, session.scene, path);
    std::vector<char> const written = host::read_file(path);
    EXPECT_EQ(std::string(written.begin(), written.end()), in_memory);
    std::remove(path.c_str());
}

TEST(HostScenes, TreesDeeperThanTheLimitAreRefused)
{
    auto nested = [](int levels) {
        std::string json = R"({"root": )";
        for (int i = 0; i < levels; ++i)
            json += R"({"kind": "part", "name": "p", "children": [)";
        json += R"({"kind": "sphere", "name": "s"})";
        for (int i = 0; i < levels; ++i)
            json += "]}";
        return json + "}";
    };
    test::Session session;
    EXPECT_NO_THROW(session.load_scene(nested(host::max_scene_depth - 1)));
    try {
        session.load_scene(nested(50000));
        FAIL() << "a scene 50,000 levels deep was read";
    } catch (host::host_error const& e) {
        EXPECT_NE(std::string(e.what()).find("nested deeper than 1000 levels"), std::string::npos) << e.what();
    }
}

}  // namespace

namespace {

TEST(HostStreams, AFileLargerThanTheWindowReadsAsAWhole)
{
    // Lines of every length around the window's edge, one longer than the
    // window itself, and bytes read across each refill.
    std::size_t const window = host::Read_source::window_size;
    std::vector<std::string> lines;
    std::string whole;
    std::mt19937 random(3);
    while (whole.size() < 3 * window) {
        std::size_t const length = lines.size() == 5 ? window + 17 : random() % 5000;
        std::string line(length, static_cast<char>('a' + lines.size() % 26));
        if (lines.size() % 7 == 0)
            line += '\r';  // a CRLF line end
        whole += line + "\n";
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    std::string const path = ::testing::TempDir() + "tavrik_window_test.vsk";
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(whole.data(), 1, whole.size(), file);
        std::fclose(file);
    }
    std::shared_ptr<host::Read_source> source = host::Read_source::file(path);
    auto binary = host::Binary_stream::reader(source);
    auto text = host::Text_stream::reader(source);
    // Bytes one at a time and four at a time, across every refill.
    for (std::size_t at : {std::size_t{0}, window - 2, 2 * window - 1, whole.size() - 3}) {
        binary->seek(static_cast<long>(at));
        int32_t expected = 0;
        std::memcpy(&expected, whole.data() + at, std::min<std::size_t>(4, whole.size() - at));
        if (at + 4 > whole.size())  // past the end: zero bytes
            std::memset(reinterpret_cast<char*>(&expected) + (whole.size() - at), 0, at + 4 - whole.size());
        EXPECT_EQ(binary->read_int(), expected) << at;
        binary->seek(static_cast<long>(at));
        EXPECT_EQ(binary->read_char(), whole[at]) << at;
        binary->seek(static_cast<long>(at));  // a step back
        EXPECT_EQ(binary->read_char(), whole[at]) << at;
    }
    // The text view reads every line back, interleaved with the binary view.
    text->rewind();
    binary->seek(static_cast<long>(2 * window + 5));
    std::size_t binary_at = 2 * window + 5;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        char const* line = nullptr;
        text->read_line(&line);
        ASSERT_EQ(std::string(line), lines[i]) << "line " << i;
        if (i % 50 == 0) {  // each view moves the shared window away from the other
            ASSERT_EQ(binary->read_char(), whole[binary_at]) << binary_at;
            ++binary_at;
        }
        if (i % 50 == 25 && binary_at + 4 <= whole.size()) {
            int32_t expected = 0;
            std::memcpy(&expected, whole.data() + binary_at, 4);
            ASSERT_EQ(binary->read_int(), expected) << binary_at;
            binary_at += 4;
        }
    }
    EXPECT_TRUE(text->is_end());
    char const* line = nullptr;
    text->read_line(&line);
    EXPECT_STREQ(line, "");
    binary->seek(static_cast<long>(whole.size()));
    EXPECT_TRUE(binary->is_end());
    EXPECT_EQ(binary->read_char(), 0);
    std::remove(path.c_str());
}

TEST(HostStreams, AWriterHandsItsBufferOverWholeAndReadsBackAlike)
{
    std::string const path = ::testing::TempDir() + "tavrik_writer_test.vsk";
    std::string expected;
    {
        auto out = host::Binary_stream::writer(path);
        for (int i = 0; i < 600000; ++i) {  // more than two buffers
            out->write_int(i);
            out->write_char(static_cast<char>(i));
            int32_t const v = i;
            expected.append(reinterpret_cast<char const*>(&v), 4);
            expected += static_cast<char>(i);
        }
        out->close();
        EXPECT_FALSE(out->failed());
    }
    std::vector<char> const written = host::read_file(path);
    EXPECT_EQ(std::string(written.begin(), written.end()), expected);
    std::remove(path.c_str());
}

}  // namespace

namespace {

TEST(HostScenes, SkinsHoldAnyNumberOfBindingsInOrder)
{
    test::Session session;
    session.load_scene(R"({"root": {"kind": "part", "name": "root", "children": [
        {"kind": "rotator", "name": "a", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 2,0,0,1]},
        {"kind": "rotator", "name": "b", "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,4,0,1]},
        {"kind": "polygon", "name": "mesh", "vertices": [[0,0,0]]}]}})");
    host::Model_shape& a = session.shape("root/a");
    host::Model_shape& b = session.shape("root/b");
    host::Model_skin& skin = session.shape("root/mesh").vertices[0].skin;
    for (int i = 0; i < 7; ++i) {  // past what the skin holds in itself
        skin.append_binding();
        skin.get_binding(i).set_joint(i % 2 ? &b : &a);
        skin.get_binding(i).set_weight(static_cast<float>(i));
    }
    skin.remove_binding(5);
    skin.remove_binding(1);
    std::vector<float> weights;
    for (auto const& binding : skin.bindings())
        weights.push_back(binding.weight);
    EXPECT_EQ(weights, (std::vector<float>{0, 2, 3, 4, 6}));
    while (skin.get_number_of_bindings() > 2)
        skin.remove_binding(0);
    EXPECT_EQ(skin.bindings().at(0).weight, 4);
    EXPECT_THROW(skin.bindings().at(2), std::out_of_range);

    // Removing from a skin that holds its bindings itself keeps their order.
    skin.clear();
    for (float w : {1.0f, 2.0f, 3.0f})
        skin.add(&a, w);
    skin.remove_binding(0);
    EXPECT_EQ(skin.bindings()[0].weight, 2);
    EXPECT_EQ(skin.bindings()[1].weight, 3);

    // The skin's matrix follows its bindings and the joints' matrices.
    skin.clear();
    skin.add(&a, 1);
    EXPECT_EQ(skin.get_matrix().m[3][0], 2);
    skin.get_binding(0).set_joint(&b);
    EXPECT_EQ(skin.get_matrix().m[3][0], 0);
    EXPECT_EQ(skin.get_matrix().m[3][1], 4);
    b.set_local(3, 1, 6);
    session.scene.matrices_changed();
    EXPECT_EQ(skin.get_matrix().m[3][1], 6);

    // A copied point's bindings belong to the copy.
    host::Model_vertex copy = session.shape("root/mesh").vertices[0];
    copy.skin.get_binding(0).set_joint(&a);
    EXPECT_EQ(copy.skin.get_matrix().m[3][0], 2);
    EXPECT_EQ(skin.get_matrix().m[3][0], 0);
    EXPECT_EQ(skin.bindings()[0].joint, &b);
}

}  // namespace
