#include <windows.h>

#include "HidApi.h"
#include <devpropdef.h>
#include <setupapi.h>

#include <cstring>
#include <vector>

#include "GuidText.h"
#include "HidPlatform.h"
#include "VirtualDevice.h"

namespace {

// DEVPKEY_Device_ContainerId: the container the device node belongs to,
// shared by all functions of one physical device.
const DEVPROPKEY kContainerIdKey = {
    {0x8c7ed206, 0x3f8a, 0x4827, {0xb3, 0xab, 0xae, 0x9e, 0x1f, 0xae, 0xfc, 0x6c}}, 2};

// The virtual handset, when the variable names a pipe and its announcement exists.
bool FindVirtualHandset(HidCandidate& candidate) {
    char path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(kVirtualHandsetVariable, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return false;
    }
    const std::string mappingName = VirtualHandsetMappingName(path);
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, mappingName.c_str());
    if (mapping == nullptr) {
        return false;
    }
    bool found = false;
    if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
        VirtualHandsetAnnouncement announcement;
        std::memcpy(&announcement, view, sizeof announcement);
        UnmapViewOfFile(view);
        if (announcement.magic == kVirtualHandsetMagic) {
            candidate.path = path;
            candidate.simulated = true;
            candidate.attributes.Size = sizeof candidate.attributes;
            candidate.attributes.VendorID = announcement.vendorId;
            candidate.attributes.ProductID = announcement.productId;
            candidate.attributes.VersionNumber = announcement.versionNumber;
            candidate.inputReportByteLength = announcement.inputReportByteLength;
            candidate.outputReportByteLength = announcement.outputReportByteLength;
            found = true;
        }
    }
    CloseHandle(mapping);
    return found;
}

class Win32HidPlatform final : public IHidPlatform {
public:
    std::vector<HidCandidate> Enumerate() override {
        std::vector<HidCandidate> candidates;
        GUID hidGuid;
        HidD_GetHidGuid(&hidGuid);
        HDEVINFO set =
            SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set != INVALID_HANDLE_VALUE) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &data);
                 ++index) {
                DWORD needed = 0;
                SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
                if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
                    continue;
                }
                std::vector<DWORD> buffer(needed / sizeof(DWORD) + 1);
                auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
                detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
                if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr,
                                                     nullptr)) {
                    HidCandidate candidate;
                    candidate.path = detail->DevicePath;
                    candidates.push_back(candidate);
                }
            }
            SetupDiDestroyDeviceInfoList(set);
        }
        HidCandidate simulated;
        if (FindVirtualHandset(simulated)) {
            candidates.push_back(simulated);
        }
        return candidates;
    }

    HANDLE Open(const std::string& path, bool overlapped) override {
        const DWORD flags = overlapped ? FILE_FLAG_OVERLAPPED : 0;
        HANDLE handle =
            CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
        // Only a pipe can be busy: its server is between two connections.
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PIPE_BUSY &&
            WaitNamedPipeA(path.c_str(), 1000)) {
            handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                                 nullptr);
        }
        return handle;
    }

    bool GetAttributes(HANDLE device, const HidCandidate& candidate,
                       HIDD_ATTRIBUTES& attributes) override {
        if (candidate.simulated) {
            attributes = candidate.attributes;
            return true;
        }
        attributes.Size = sizeof attributes;
        return HidD_GetAttributes(device, &attributes) != FALSE;
    }

    bool GetCaps(HANDLE device, const HidCandidate& candidate, HIDP_CAPS& caps) override {
        if (candidate.simulated) {
            caps.InputReportByteLength = candidate.inputReportByteLength;
            caps.OutputReportByteLength = candidate.outputReportByteLength;
            return true;
        }
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (!HidD_GetPreparsedData(device, &preparsed)) {
            return false;
        }
        const bool ok = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
        HidD_FreePreparsedData(preparsed);
        return ok;
    }

    bool GetContainerId(const HidCandidate& candidate, std::string& containerId) override {
        if (candidate.simulated) {
            return false;
        }
        HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        if (set == INVALID_HANDLE_VALUE) {
            return false;
        }
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        SP_DEVINFO_DATA node{};
        node.cbSize = sizeof node;
        DWORD needed = 0;
        const bool opened = SetupDiOpenDeviceInterfaceA(set, candidate.path.c_str(), 0, &data);
        if (opened) {
            SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
        }
        // The device node comes with the interface's details.
        std::vector<DWORD> buffer(needed / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        GUID container{};
        DEVPROPTYPE type = 0;
        const bool found =
            opened && needed >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) &&
            SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, &node) &&
            SetupDiGetDevicePropertyW(set, &node, &kContainerIdKey, &type,
                                      reinterpret_cast<PBYTE>(&container), sizeof container,
                                      nullptr, 0) &&
            type == DEVPROP_TYPE_GUID;
        SetupDiDestroyDeviceInfoList(set);
        if (found) {
            containerId = GuidText(container);
        }
        return found;
    }
};

}  // namespace

std::unique_ptr<IHidPlatform> CreateWin32HidPlatform() {
    return std::make_unique<Win32HidPlatform>();
}
