// The operating system calls of handset discovery, behind an interface that
// tests replace with made-up device lists. Windows only.
#pragma once

#include <windows.h>

#include "HidApi.h"

#include <memory>
#include <string>
#include <vector>

// One device that discovery offers to the match test.
struct HidCandidate {
    std::string path;
    // A virtual handset: its attributes and report lengths come from its
    // announcement, not from the HID class driver.
    bool simulated = false;
    HIDD_ATTRIBUTES attributes{};
    USHORT inputReportByteLength = 0;
    USHORT outputReportByteLength = 0;
};

class IHidPlatform {
public:
    virtual ~IHidPlatform() = default;
    // Present HID device interfaces in the system's order, then the virtual
    // handset when one is plugged in.
    virtual std::vector<HidCandidate> Enumerate() = 0;
    // CreateFileA with read and write access, shared; INVALID_HANDLE_VALUE on failure.
    virtual HANDLE Open(const std::string& path, bool overlapped) = 0;
    virtual bool GetAttributes(HANDLE device, const HidCandidate& candidate,
                               HIDD_ATTRIBUTES& attributes) = 0;
    virtual bool GetCaps(HANDLE device, const HidCandidate& candidate, HIDP_CAPS& caps) = 0;
    // The device container the candidate belongs to, as GUID text; false when
    // it has none or it cannot be read.
    virtual bool GetContainerId(const HidCandidate& candidate, std::string& containerId) = 0;
};

// SetupAPI and the HID class driver, plus the virtual handset named by
// kVirtualHandsetVariable.
std::unique_ptr<IHidPlatform> CreateWin32HidPlatform();
