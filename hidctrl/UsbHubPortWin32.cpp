// The hub walker's Win32 side: the USB hub driver's public I/O controls.
#include <windows.h>

#include <setupapi.h>
#include <winioctl.h>
#include <usbioctl.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "UsbHubWalker.h"

namespace {

// {3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}
const GUID kUsbHostControllerInterface = {
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};

HANDLE AsHandle(UsbNode node) {
    return reinterpret_cast<HANDLE>(node);
}

std::string ToAnsi(const WCHAR* text, std::size_t maxChars) {
    std::size_t length = 0;
    while (length < maxChars && text[length] != 0) {
        ++length;
    }
    if (length == 0) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(), size, nullptr,
                        nullptr);
    return result;
}

// One I/O control whose output size is learned first: the first call fills a
// fixed head that tells the whole length, the second call the whole buffer.
template <typename Head>
bool SizedIoControl(HANDLE device, DWORD code, Head& head, std::vector<BYTE>& whole,
                    ULONG Head::*actualLength) {
    DWORD returned = 0;
    if (!DeviceIoControl(device, code, &head, sizeof head, &head, sizeof head, &returned,
                         nullptr)) {
        return false;
    }
    const ULONG needed = head.*actualLength;
    if (needed < sizeof head || needed > 64 * 1024) {
        return false;
    }
    whole.assign(needed, 0);
    std::memcpy(whole.data(), &head, sizeof head);
    return DeviceIoControl(device, code, whole.data(), needed, whole.data(), needed, &returned,
                           nullptr) != FALSE;
}

class Win32UsbHubPort final : public IUsbHubPort {
public:
    UsbNode Open(const std::string& path) override {
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        return handle == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<UsbNode>(handle);
    }

    void Close(UsbNode node) override { CloseHandle(AsHandle(node)); }

    bool EnumeratesHostControllerInterfaces() override {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExA(&version)) {
            return false;
        }
#pragma GCC diagnostic pop
        return WalksHostControllerInterfaces(version.dwMajorVersion, version.dwMinorVersion);
    }

    std::vector<std::string> HostControllerInterfacePaths() override {
        std::vector<std::string> paths;
        HDEVINFO set = SetupDiGetClassDevsA(&kUsbHostControllerInterface, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) {
            return paths;
        }
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD index = 0;
             SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbHostControllerInterface, index, &data);
             ++index) {
            DWORD needed = 0;
            SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
            if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
                continue;
            }
            std::vector<DWORD> buffer(needed / sizeof(DWORD) + 1);
            auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr)) {
                paths.emplace_back(detail->DevicePath);
            }
        }
        SetupDiDestroyDeviceInfoList(set);
        return paths;
    }

    bool GetRootHubName(UsbNode hostController, std::string& name) override {
        USB_ROOT_HUB_NAME head{};
        std::vector<BYTE> whole;
        if (!SizedIoControl(AsHandle(hostController), IOCTL_USB_GET_ROOT_HUB_NAME, head, whole,
                            &USB_ROOT_HUB_NAME::ActualLength)) {
            return false;
        }
        const auto* full = reinterpret_cast<const USB_ROOT_HUB_NAME*>(whole.data());
        name = ToAnsi(full->RootHubName,
                      (whole.size() - offsetof(USB_ROOT_HUB_NAME, RootHubName)) / sizeof(WCHAR));
        return !name.empty();
    }

    bool GetPortCount(UsbNode hub, int& ports) override {
        USB_NODE_INFORMATION info{};
        DWORD returned = 0;
        if (!DeviceIoControl(AsHandle(hub), IOCTL_USB_GET_NODE_INFORMATION, &info, sizeof info,
                             &info, sizeof info, &returned, nullptr)) {
            return false;
        }
        ports = info.u.HubInformation.HubDescriptor.bNumberOfPorts;
        return true;
    }

    bool GetConnection(UsbNode hub, int port, UsbConnection& connection) override {
        // Room for 30 pipes after the fixed part.
        const DWORD size = sizeof(USB_NODE_CONNECTION_INFORMATION) + 30 * sizeof(USB_PIPE_INFO);
        std::vector<BYTE> buffer(size, 0);
        auto* info = reinterpret_cast<USB_NODE_CONNECTION_INFORMATION*>(buffer.data());
        info->ConnectionIndex = static_cast<ULONG>(port);
        DWORD returned = 0;
        if (!DeviceIoControl(AsHandle(hub), IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, info, size,
                             info, size, &returned, nullptr)) {
            return false;
        }
        connection.connectionStatus = static_cast<int>(info->ConnectionStatus);
        connection.deviceIsHub = info->DeviceIsHub != FALSE;
        connection.bcdUSB = info->DeviceDescriptor.bcdUSB;
        connection.idVendor = info->DeviceDescriptor.idVendor;
        connection.idProduct = info->DeviceDescriptor.idProduct;
        return true;
    }

    bool GetConnectionName(UsbNode hub, int port, std::string& name) override {
        USB_NODE_CONNECTION_NAME head{};
        head.ConnectionIndex = static_cast<ULONG>(port);
        std::vector<BYTE> whole;
        if (!SizedIoControl(AsHandle(hub), IOCTL_USB_GET_NODE_CONNECTION_NAME, head, whole,
                            &USB_NODE_CONNECTION_NAME::ActualLength)) {
            return false;
        }
        const auto* full = reinterpret_cast<const USB_NODE_CONNECTION_NAME*>(whole.data());
        name =
            ToAnsi(full->NodeName,
                   (whole.size() - offsetof(USB_NODE_CONNECTION_NAME, NodeName)) / sizeof(WCHAR));
        return !name.empty();
    }
};

}  // namespace

std::unique_ptr<IUsbHubPort> CreateWin32UsbHubPort() {
    return std::make_unique<Win32UsbHubPort>();
}
