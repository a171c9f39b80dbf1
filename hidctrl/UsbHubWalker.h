// Walks the USB tree (host controllers, root hubs, external hubs, port by
// port) to learn whether the handset sits behind an external USB 2.0 hub. The
// hub driver's I/O controls sit behind IUsbHubPort, so the walk itself is
// plain code that tests run over made-up trees.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An open host controller or hub; 0 is "not open".
using UsbNode = std::intptr_t;

// What the hub driver tells about one downstream port.
struct UsbConnection {
    int connectionStatus = 0;  // 1: a device is connected
    bool deviceIsHub = false;
    std::uint16_t bcdUSB = 0;  // from the device descriptor
    std::uint16_t idVendor = 0;
    std::uint16_t idProduct = 0;
};

// Whether host controllers are also found through their device interface
// class, by the Windows version the system reports: when the major version is
// below 5 or the minor version is 0. Windows 10 and 11 report 10.0 (to a
// program that declares them in its manifest): their USB 3 host controllers
// have no "\\.\HCDn" names and are found only this way.
bool WalksHostControllerInterfaces(unsigned long majorVersion, unsigned long minorVersion);

// The operating system's side of the walk.
class IUsbHubPort {
public:
    virtual ~IUsbHubPort() = default;
    // Opens "\\.\HCD<n>", a host controller interface path or "\\.\<hub name>".
    virtual UsbNode Open(const std::string& path) = 0;
    virtual void Close(UsbNode node) = 0;
    // WalksHostControllerInterfaces for the running system.
    virtual bool EnumeratesHostControllerInterfaces() = 0;
    virtual std::vector<std::string> HostControllerInterfacePaths() = 0;
    virtual bool GetRootHubName(UsbNode hostController, std::string& name) = 0;
    virtual bool GetPortCount(UsbNode hub, int& ports) = 0;
    virtual bool GetConnection(UsbNode hub, int port, UsbConnection& connection) = 0;
    virtual bool GetConnectionName(UsbNode hub, int port, std::string& name) = 0;
};

// The Win32 port (hub driver I/O controls); only on Windows builds.
std::unique_ptr<IUsbHubPort> CreateWin32UsbHubPort();

class CUsbHubWalker {
public:
    explicit CUsbHubWalker(std::unique_ptr<IUsbHubPort> port);

    // 1 when the device was found and an external USB 2.0 hub was seen;
    // otherwise 0, with the number of connected ports in *count. flags has no
    // effect.
    int FindDevice(int flags, int* count, int vendorId, int productId);

    int connectedCount = 0;
    int hubCount = 0;
    int wantedVendorId = 0;
    int wantedProductId = 0;
    // Neither flag is reset by a new walk.
    bool foundDevice = false;
    bool usb2HubSeen = false;

private:
    bool WalkHostController(const std::string& path);
    // True when the wanted device was seen below the hub: that ends the walk
    // of the host controller. A device found on an earlier controller ends
    // nothing here.
    bool WalkHub(const std::string& name, const UsbConnection* parent);

    std::unique_ptr<IUsbHubPort> port_;
};
