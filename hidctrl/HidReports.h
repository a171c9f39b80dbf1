// The handset's report formats and the rules for finding it among HID
// devices. Pure functions, shared by the library and its tests on every build.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// USB vendor id of the handset's controller (a build setting, see CMake's
// HANDSET_VENDOR_ID cache variable).
#ifndef HANDSET_VENDOR_ID
#define HANDSET_VENDOR_ID 0x0D8C
#endif
inline constexpr std::uint16_t kHandsetVendorId = HANDSET_VENDOR_ID;

// Masks every caller in the system uses: the handset's vendor, and a product id
// with both bits 0x0800 and 0x1000 set.
inline constexpr std::uint16_t kDefaultVendorMask = 0xFFFF;
inline constexpr std::uint16_t kDefaultProductMask = 0x1800;
inline constexpr int kMaxProductIds = 10;

// The match test of OpenDevice. Without a product list (count 0) every bit of
// the product mask must be set in the product id; with one, the masked product
// id must equal some masked entry.
bool HidDeviceMatches(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t vendorMask,
                      std::uint16_t productMask, const int* productIds, int productIdCount);

// wParam and lParam of WM_HANDSET_INPUT for one input report.
struct InputMessageWords {
    std::uint32_t wParam;
    std::uint32_t lParam;
};

// report holds at least 8 bytes (bytes the device didn't send are 0);
// inputReportLength is the device's input report length. Reports of 4 bytes or
// fewer carry lParam 0xFFFFFFFF.
InputMessageWords PackInputReport(const std::uint8_t* report, std::size_t inputReportLength);

// The first 8 bytes of an output report; the rest of a longer report is zero.
using OutputReportBytes = std::array<std::uint8_t, 8>;

OutputReportBytes CommandReport(std::uint8_t command);
OutputReportBytes CommandDataReport(std::uint8_t command, std::uint8_t data);
OutputReportBytes SetRegisterReport(std::uint8_t reg, std::uint8_t value1, std::uint8_t value2);
OutputReportBytes GetRegisterReport(std::uint8_t reg);

// Codec register that switches the handset's mixer control on (0x55 0x55) and off.
inline constexpr std::uint8_t kMixerControlRegister = 0x1A;

// Trace lines written to standard output for every report.
std::string InputTraceLine(const std::uint8_t* report);
std::string CommandTraceLine(const OutputReportBytes& report);
// label is "EnableMixerControl", "DisableMixerControl" or "HSD_SetMixerRegControl".
std::string RegisterTraceLine(const char* label, const OutputReportBytes& report);
std::string GetRegisterTraceLine(std::uint8_t reg, const OutputReportBytes& report);
