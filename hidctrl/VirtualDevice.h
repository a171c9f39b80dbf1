// The virtual-device seam: a virtual handset (tools/handsetsim) serves a named
// pipe and announces the attributes a HID device would report. The library
// lists that pipe beside the real HID devices when the environment variable
// names it; from then on the same match test, the same CreateFileA, ReadFile
// and WriteFile calls serve both.
#pragma once

#include <cstdint>
#include <string>

// Environment variable holding the pipe's path, for example
// \\.\pipe\voxlink-handset. Unset: only real HID devices are listed.
inline constexpr char kVirtualHandsetVariable[] = "VOXLINK_VIRTUAL_HANDSET";

// What a plugged-in virtual handset announces, in a named file mapping
// (VirtualHandsetMappingName) that exists exactly while it is plugged in.
struct VirtualHandsetAnnouncement {
    std::uint32_t magic;
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint16_t versionNumber;
    std::uint16_t inputReportByteLength;
    std::uint16_t outputReportByteLength;
    std::uint16_t reserved;
};

inline constexpr std::uint32_t kVirtualHandsetMagic = 0x31534856;  // "VHS1"

// Name of the announcement mapping for a pipe path: the path's characters that
// a kernel object name can't hold become '_'.
inline std::string VirtualHandsetMappingName(const std::string& pipePath) {
    std::string name = "Local\\VoxlinkVirtualHandset_";
    for (char c : pipePath) {
        name += (c == '\\' || c == '/' || c == ':') ? '_' : c;
    }
    return name;
}
