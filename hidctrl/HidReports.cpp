#include "HidReports.h"

#include <cstdio>

bool HidDeviceMatches(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t vendorMask,
                      std::uint16_t productMask, const int* productIds, int productIdCount) {
    const std::uint16_t wantedVendor = vendorMask & kHandsetVendorId;
    if (vendorId != wantedVendor) {
        return false;
    }
    const std::uint16_t maskedProduct = productId & productMask;
    if (productIdCount <= 0 || productIds == nullptr) {
        return maskedProduct == productMask;
    }
    for (int i = 0; i < productIdCount && i < kMaxProductIds; ++i) {
        if (maskedProduct == (static_cast<std::uint16_t>(productIds[i]) & productMask)) {
            return true;
        }
    }
    return false;
}

InputMessageWords PackInputReport(const std::uint8_t* report, std::size_t inputReportLength) {
    auto word = [report](int first) {
        return static_cast<std::uint32_t>(report[first]) << 24 |
               static_cast<std::uint32_t>(report[first + 1]) << 16 |
               static_cast<std::uint32_t>(report[first + 2]) << 8 |
               static_cast<std::uint32_t>(report[first + 3]);
    };
    return {word(0), inputReportLength > 4 ? word(4) : 0xFFFFFFFFu};
}

OutputReportBytes CommandReport(std::uint8_t command) {
    return {0, 0, 0, command, 0, 0, 0, 0};
}

OutputReportBytes CommandDataReport(std::uint8_t command, std::uint8_t data) {
    return {0, 0, 0, command, data, 0, 0, 0};
}

OutputReportBytes SetRegisterReport(std::uint8_t reg, std::uint8_t value1, std::uint8_t value2) {
    return {0, 0, 0, 0, 0x60, reg, value1, value2};
}

OutputReportBytes GetRegisterReport(std::uint8_t reg) {
    return {0, 0, 0, 0, 0x70, reg, 0, 0};
}

namespace {

std::string Bytes8(const std::uint8_t* b) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X %02X %02X %02X", b[0], b[1], b[2],
                  b[3], b[4], b[5], b[6], b[7]);
    return text;
}

}  // namespace

std::string InputTraceLine(const std::uint8_t* report) {
    return "MCU->PC: " + Bytes8(report) + ".......\n";
}

std::string CommandTraceLine(const OutputReportBytes& report) {
    return "MCU<-PC: " + Bytes8(report.data()) + " ...\n";
}

std::string RegisterTraceLine(const char* label, const OutputReportBytes& report) {
    return std::string("MCU<-PC: ") + label + "-> " + Bytes8(report.data()) + " ...\n";
}

std::string GetRegisterTraceLine(std::uint8_t reg, const OutputReportBytes& report) {
    char head[64];
    std::snprintf(head, sizeof head, "MCU<-PC: HSD_GetMixerRegControl(%2X)-> ", reg);
    return head + Bytes8(report.data()) + " ...\n";
}
