// The macOS build's id record and missing-interface code, compiled here
// through the platform switch, with NDEBUG as in a release build.
#include <clocale>
#include <cmath>
#include <iostream>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "format.h"

#include "ids.h"
#include "plugininterface.h"
#include "unknowninterface.h"

namespace {

static_assert(sizeof(interface_id::Data1) == 8, "64-bit first field");
static_assert(sizeof(interface_id::Data4[0]) == 2, "16-bit fields for the last group");

TEST(MacIds, RecordHoldsTheGuidFieldByField)
{
    EXPECT_EQ(exporter_iid.Data1, 0x50E47D62u);
    EXPECT_EQ(exporter_iid.Data2, 0x8922u);
    EXPECT_EQ(exporter_iid.Data3, 0x11D1u);
    EXPECT_EQ(exporter_iid.Data4[0], 0x9Au);
    EXPECT_EQ(exporter_iid.Data4[7], 0x26u);
}

TEST(MacIds, EverySignificantFieldIsCompared)
{
    EXPECT_EQ(match_interface(browser_iid), Interface_kind::browser);
    interface_id wide = exporter_iid;
    wide.Data1 |= uint64_t{1} << 40;  // only the 64-bit field can hold this
    EXPECT_EQ(match_interface(wide), Interface_kind::none);
    for (int i = 0; i < 8; ++i) {
        interface_id other = importer_iid;
        other.Data4[i] = static_cast<uint16_t>(other.Data4[i] | 0x100);  // beyond a byte
        EXPECT_EQ(match_interface(other), Interface_kind::none) << i;
    }
}

class Probe : public plugin_interface {
public:
    int get_vantel_version(void*) override { return 0; }
};

TEST(MacIds, MissingInterfaceCodeAndAssertingPlaceholders)
{
    Probe probe;
    void* out = nullptr;
    EXPECT_EQ(static_cast<uint32_t>(probe.QueryInterface(exporter_iid, &out)), 0x80000004u);
    EXPECT_EQ(out, nullptr);
    EXPECT_DEATH(probe.reserved_plugin_0(), "invalid interface.*plugin_interface.*reserved_plugin_0");
}

TEST(MacIds, NumbersReadAsStrtodInTheCLocaleWithoutFromChars)
{
    // macOS's libc++ has no floating-point from_chars: the build reads each
    // run through strtod in the C locale, whatever the host's locale is.
    char const* const comma_locales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8", "nl_NL.UTF-8"};
    std::string locale = "C";
    for (char const* name : comma_locales)
        if (std::setlocale(LC_NUMERIC, name) && std::string(std::localeconv()->decimal_point) == ",") {
            locale = name;
            break;
        }
    struct Case {
        char const* run;
        double value;
    } const cases[] = {{"0.5", 0.5},         {"1", 1.0},         {"-0.25", -0.25},      {"+0.75", 0.75},
                       {"1e-5", 1e-5},       {".5", 0.5},        {"5.", 5.0},           {"1e400", HUGE_VAL},
                       {"1e-400", 0.0},      {"", 0.0},          {"-", 0.0},            {"1e", 1.0},
                       {"0.1", 0.1},         {"0.30000001", 0.30000001}, {"3.4028235e38", 3.4028235e38}};
    for (Case const& c : cases) {
        std::string const line = std::string(c.run) + "/j/:";
        char const* end = nullptr;
        double const got = skin_format::read_number(line.c_str(), &end);
        EXPECT_EQ(std::memcmp(&got, &c.value, sizeof got), 0) << c.run << " gave " << got << " under " << locale;
        EXPECT_EQ(end, line.c_str() + std::strlen(c.run)) << c.run;
    }
    std::setlocale(LC_NUMERIC, "C");
    if (locale == "C")
        std::cout << "[ NOTE     ] no locale with a decimal comma is installed: read in the C locale only\n";
}

}  // namespace
