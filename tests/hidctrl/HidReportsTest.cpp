// The handset's report layouts and the device match test.
#include <gtest/gtest.h>

#include <cstdint>

#include "HidReports.h"

namespace {

constexpr std::uint16_t V = kHandsetVendorId;

TEST(HidMatch, DefaultMasksNeedTheVendorAndBothProductBits) {
    EXPECT_TRUE(HidDeviceMatches(V, 0x1800, 0xFFFF, 0x1800, nullptr, 0));
    EXPECT_TRUE(HidDeviceMatches(V, 0x1822, 0xFFFF, 0x1800, nullptr, 0));
    EXPECT_TRUE(HidDeviceMatches(V, 0xFFFF, 0xFFFF, 0x1800, nullptr, 0));
    EXPECT_FALSE(HidDeviceMatches(V, 0x0800, 0xFFFF, 0x1800, nullptr, 0));
    EXPECT_FALSE(HidDeviceMatches(V, 0x1000, 0xFFFF, 0x1800, nullptr, 0));
    EXPECT_FALSE(
        HidDeviceMatches(static_cast<std::uint16_t>(V ^ 1), 0x1800, 0xFFFF, 0x1800, nullptr, 0));
}

TEST(HidMatch, VendorMaskIsAndedWithTheHandsetVendor) {
    // The device must carry the masked vendor id, not the full one.
    const std::uint16_t mask = 0x00FF;
    EXPECT_TRUE(HidDeviceMatches(V & mask, 0x1800, mask, 0x1800, nullptr, 0));
    if ((V & mask) != V) {
        EXPECT_FALSE(HidDeviceMatches(V, 0x1800, mask, 0x1800, nullptr, 0));
    }
    // A zero product mask accepts every product of the vendor.
    EXPECT_TRUE(HidDeviceMatches(V, 0x0001, 0xFFFF, 0x0000, nullptr, 0));
}

TEST(HidMatch, ProductListComparesMaskedIds) {
    const int list[] = {0x1900, 0x0A00};
    // 0x1900 & 0x1800 = 0x1800; 0x0A00 & 0x1800 = 0x0800.
    EXPECT_TRUE(HidDeviceMatches(V, 0x1801, 0xFFFF, 0x1800, list, 2));
    EXPECT_TRUE(HidDeviceMatches(V, 0x0800, 0xFFFF, 0x1800, list, 2));
    EXPECT_TRUE(HidDeviceMatches(V, 0x0F00, 0xFFFF, 0x1800, list, 2));
    EXPECT_FALSE(HidDeviceMatches(V, 0x1000, 0xFFFF, 0x1800, list, 2));
    EXPECT_FALSE(HidDeviceMatches(V, 0x0000, 0xFFFF, 0x1800, list, 2));
    // Only the first count entries count.
    EXPECT_FALSE(HidDeviceMatches(V, 0x0800, 0xFFFF, 0x1800, list, 1));
}

TEST(InputPacking, FirstFourBytesMostSignificantFirst) {
    const std::uint8_t report[8] = {0x00, 0x12, 0xB5, 0x02, 0xA1, 0xB2, 0xC3, 0xD4};
    const InputMessageWords words = PackInputReport(report, 8);
    EXPECT_EQ(words.wParam, 0x0012B502u);
    EXPECT_EQ(words.lParam, 0xA1B2C3D4u);
}

TEST(InputPacking, ShortReportsCarryAllOnesInLParam) {
    const std::uint8_t report[8] = {0x00, 0x00, 0x1F, 0x03, 0, 0, 0, 0};
    EXPECT_EQ(PackInputReport(report, 4).lParam, 0xFFFFFFFFu);
    EXPECT_EQ(PackInputReport(report, 4).wParam, 0x00001F03u);
    EXPECT_EQ(PackInputReport(report, 3).lParam, 0xFFFFFFFFu);
    EXPECT_EQ(PackInputReport(report, 5).lParam, 0u);
    EXPECT_EQ(PackInputReport(report, 64).lParam, 0u);
}

TEST(OutputReports, LayoutsOfEveryOperation) {
    EXPECT_EQ(CommandReport(0x55), (OutputReportBytes{0, 0, 0, 0x55, 0, 0, 0, 0}));
    EXPECT_EQ(CommandDataReport(0x71, 0x0A), (OutputReportBytes{0, 0, 0, 0x71, 0x0A, 0, 0, 0}));
    EXPECT_EQ(SetRegisterReport(0x0E, 0x80, 0x48),
              (OutputReportBytes{0, 0, 0, 0, 0x60, 0x0E, 0x80, 0x48}));
    EXPECT_EQ(GetRegisterReport(0x04), (OutputReportBytes{0, 0, 0, 0, 0x70, 0x04, 0, 0}));
}

TEST(TraceLines, ExactTexts) {
    const std::uint8_t in[8] = {0x00, 0x01, 0xB5, 0x02, 0x00, 0x00, 0x00, 0xFF};
    EXPECT_EQ(InputTraceLine(in), "MCU->PC: 00 01 B5 02 00 00 00 FF.......\n");
    EXPECT_EQ(CommandTraceLine(CommandReport(0xAB)), "MCU<-PC: 00 00 00 AB 00 00 00 00 ...\n");
    EXPECT_EQ(RegisterTraceLine("EnableMixerControl", SetRegisterReport(0x1A, 0x55, 0x55)),
              "MCU<-PC: EnableMixerControl-> 00 00 00 00 60 1A 55 55 ...\n");
    // The register is printed with %2X: a single digit is padded with a blank.
    EXPECT_EQ(GetRegisterTraceLine(0x4, GetRegisterReport(0x4)),
              "MCU<-PC: HSD_GetMixerRegControl( 4)-> 00 00 00 00 70 04 00 00 ...\n");
    EXPECT_EQ(GetRegisterTraceLine(0x1C, GetRegisterReport(0x1C)),
              "MCU<-PC: HSD_GetMixerRegControl(1C)-> 00 00 00 00 70 1C 00 00 ...\n");
}

}  // namespace
