#include "UsbHubWalker.h"

#include <string>
#include <utility>

bool WalksHostControllerInterfaces(unsigned long majorVersion, unsigned long minorVersion) {
    return majorVersion < 5 || minorVersion == 0;
}

CUsbHubWalker::CUsbHubWalker(std::unique_ptr<IUsbHubPort> port) : port_(std::move(port)) {}

int CUsbHubWalker::FindDevice(int /*flags*/, int* count, int vendorId, int productId) {
    wantedVendorId = vendorId;
    wantedProductId = productId;
    connectedCount = 0;
    hubCount = 0;
    if (port_ != nullptr) {
        for (int n = 0; n < 10; ++n) {
            if (WalkHostController("\\\\.\\HCD" + std::to_string(n)) && foundDevice &&
                usb2HubSeen) {
                return 1;
            }
        }
        if (port_->EnumeratesHostControllerInterfaces()) {
            for (const std::string& path : port_->HostControllerInterfacePaths()) {
                if (WalkHostController(path) && foundDevice && usb2HubSeen) {
                    return 1;
                }
            }
        }
    }
    if (count != nullptr) {
        *count = connectedCount;
    }
    return 0;
}

// Returns whether the host controller could be opened (and so was walked).
bool CUsbHubWalker::WalkHostController(const std::string& path) {
    const UsbNode controller = port_->Open(path);
    if (controller == 0) {
        return false;
    }
    std::string rootHub;
    if (port_->GetRootHubName(controller, rootHub)) {
        WalkHub(rootHub, nullptr);
    }
    port_->Close(controller);
    return true;
}

bool CUsbHubWalker::WalkHub(const std::string& name, const UsbConnection* parent) {
    const UsbNode hub = port_->Open("\\\\.\\" + name);
    if (hub == 0) {
        return false;
    }
    bool seen = false;
    int ports = 0;
    if (port_->GetPortCount(hub, ports)) {
        if (parent != nullptr && parent->bcdUSB == 0x0200) {
            usb2HubSeen = true;
        }
        for (int p = 1; p <= ports; ++p) {
            UsbConnection connection;
            if (!port_->GetConnection(hub, p, connection)) {
                continue;
            }
            const bool connected = connection.connectionStatus == 1;
            if (connected) {
                ++connectedCount;
            }
            if (connection.deviceIsHub) {
                ++hubCount;
            }
            if (!connected) {
                continue;
            }
            if (!connection.deviceIsHub) {
                if (connection.idVendor == wantedVendorId &&
                    connection.idProduct == wantedProductId) {
                    foundDevice = true;
                    seen = true;
                    break;
                }
                continue;
            }
            std::string childName;
            if (port_->GetConnectionName(hub, p, childName) && WalkHub(childName, &connection)) {
                seen = true;
                break;
            }
        }
    }
    port_->Close(hub);
    return seen;
}
