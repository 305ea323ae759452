// The macOS build's id record and missing-interface code, compiled here
// through the platform switch, with NDEBUG as in a release build.
#include <gtest/gtest.h>

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

}  // namespace
