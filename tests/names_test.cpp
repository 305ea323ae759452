// Kind codes and words, special characters and full path names.
#include "names.h"
#include "support.h"

namespace {

TEST(Names, KindCodesAndWordsOfHostShapes)
{
    test::Session session;
    struct Case {
        int type, part_type, code;
        char const* word;
    } const cases[] = {
        {2, 0, 0, "part"},     {2, 1, 1, "surface"}, {2, 2, 2, "rotator"},     {2, 3, 3, "slider"},
        {2, 4, 4, "scale"},    {2, 5, 5, "uniscale"}, {2, 6, 6, "light_joint"}, {2, 7, 7, "path"},
        {2, 8, 8, "morph"},    {2, 9, 9, "custom"},  {2, 10, 10, "ball"},      {2, 11, 11, "camera"},
        {2, 101, 12, "link"},  {3, -1, 13, "light"}, {4, -1, 14, "line"},      {5, -1, 15, "sphere"},
        {6, -1, 16, "disk"},   {7, -1, 17, "polygon"}, {2, 12, 1000, nullptr}, {2, 13, 1000, nullptr},
        {8, -1, 1000, nullptr}, {1, -1, 1000, nullptr},
    };
    for (auto const& c : cases) {
        host::Model_shape shape(&session.scene, c.type, c.part_type, "s");
        EXPECT_EQ(get_code(shape), c.code) << c.type << "/" << c.part_type;
        if (c.word)
            EXPECT_STREQ(get_string(shape), c.word);
        else
            EXPECT_EQ(get_string(shape), nullptr);
    }
}

TEST(Names, WordsAndCodesBothWays)
{
    EXPECT_EQ(get_code("polygon"), 17);
    EXPECT_EQ(get_code("Polygon"), -1);
    EXPECT_EQ(get_code("link"), 12);
    EXPECT_EQ(get_code(""), -1);
    EXPECT_STREQ(get_string(0), "part");
    EXPECT_EQ(get_string(18), nullptr);
    EXPECT_EQ(get_string(-1), nullptr);
    EXPECT_EQ(static_cast<unsigned char>(Null_char[0]), 0x00);
    EXPECT_EQ(static_cast<unsigned char>(Rev_char[0]), 0xFF);
}

TEST(Names, TrimmingSkipsOnlyLeadingSpecialCharacters)
{
    char const* const saved = sp_char;
    sp_char = "#";
    EXPECT_STREQ(skip_special_char(true, "##arm#1"), "arm#1");
    EXPECT_STREQ(skip_special_char(false, "##arm#1"), "##arm#1");
    EXPECT_STREQ(skip_special_char(true, "###"), "");
    EXPECT_STREQ(skip_special_char(true, ""), "");
    sp_char = "";
    EXPECT_STREQ(skip_special_char(true, "##arm"), "##arm");
    sp_char = nullptr;
    EXPECT_STREQ(skip_special_char(true, "##arm"), "##arm");
    sp_char = saved;
}

struct Path_scene : test::Session {
    Path_scene(char const* body = "Body", char const* arm = "Arm", char const* hand = "Hand")
    {
        auto& b = scene.new_root().add_child(std::make_unique<host::Model_shape>(&scene, 2, 0, body));
        auto& a = b.add_child(std::make_unique<host::Model_shape>(&scene, 2, 2, arm));
        a.add_child(std::make_unique<host::Model_shape>(&scene, 2, 2, hand));
        scene.renumber();
    }
    host::Model_shape& body() { return *scene.root().children()[0]; }
    host::Model_shape& arm() { return *body().children()[0]; }
    host::Model_shape& hand() { return *arm().children()[0]; }
};

TEST(Names, BinaryAndTextPathsClimbToTheTopShape)
{
    Path_scene s;
    Name_options options{true, false, false, &s.body()};
    std::string binary;
    append_fullname_binary(options, s.hand(), binary, true);
    EXPECT_EQ(binary, std::string("Body\xFF" "Arm\xFF" "Hand", 13) + std::string(1, '\0'));
    std::string text;
    EXPECT_EQ(make_fullname_text(options, s.hand(), text), '/');
    EXPECT_EQ(text, std::string("Body/Arm/Hand") + std::string(1, '\0'));
    // The top shape's own path is its name alone; without full paths every name stands alone.
    text.clear();
    make_fullname_text(options, s.body(), text);
    EXPECT_STREQ(text.c_str(), "Body");
    options.full_path = false;
    text.clear();
    make_fullname_text(options, s.hand(), text);
    EXPECT_STREQ(text.c_str(), "Hand");
    // Without a top shape on the way the climb ends at a shape without parent.
    options = Name_options{true, false, false, nullptr};
    text.clear();
    make_fullname_text(options, s.hand(), text);
    EXPECT_STREQ(text.c_str(), "root/Body/Arm/Hand");
    options.binary_form = true;
    text.clear();
    EXPECT_EQ(make_fullname_text(options, s.hand(), text), 0);
}

TEST(Names, SeparatorIsTheFirstCandidateNoNameHolds)
{
    struct Case {
        char const* arm;
        char separator;
    } const cases[] = {{"A/rm", ':'}, {"A/r:m", '"'}, {"A/r:m\"", '\\'}, {"Arm", '/'}};
    for (auto const& c : cases) {
        Path_scene s("Body", c.arm);
        std::string text;
        EXPECT_EQ(make_fullname_text(Name_options{true, false, false, &s.body()}, s.hand(), text), c.separator) << c.arm;
        EXPECT_EQ(text.find('\xFF'), std::string::npos);
    }
    Path_scene all("Body", "A/r:m\"\\");
    std::string text;
    EXPECT_EQ(make_fullname_text(Name_options{true, false, false, &all.body()}, all.hand(), text), 0);
    // With full paths off the separator looks at the joint's own name only.
    text.clear();
    EXPECT_EQ(make_fullname_text(Name_options{false, false, false, &all.body()}, all.hand(), text), '/');
    // An empty name, last or in between, rules out ":": "::" would end the path there.
    struct Path {
        std::string components;  // separated by 0xFF
        char separator;
        char const* text;
    } const paths[] = {{"A/rm\xFF", '"', "A/rm\""}, {"A/rm\xFF\xFFx", '"', "A/rm\"\"x"}, {"Arm\xFF", '/', "Arm/"}};
    for (Path const& p : paths) {
        std::string path = p.components;
        EXPECT_EQ(text_path_separator(path), p.separator) << p.text;
        EXPECT_EQ(path, p.text);
    }
}

TEST(Names, ALineBreakInANameHasNoTextForm)
{
    Path_scene s("Body", "Ar\nm");
    std::string text;
    EXPECT_EQ(make_fullname_text(Name_options{true, false, false, &s.body()}, s.hand(), text), 0);
}

TEST(Names, TrimmedNamesInPaths)
{
    Path_scene s("#Body", "##Arm", "Hand#");
    char const* const saved = sp_char;
    sp_char = "#";
    std::string text;
    make_fullname_text(Name_options{true, true, false, &s.body()}, s.hand(), text);
    EXPECT_STREQ(text.c_str(), "Body/Arm/Hand#");
    sp_char = saved;
}

}  // namespace
