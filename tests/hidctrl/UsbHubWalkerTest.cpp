// The hub walk over made-up USB trees.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UsbHubWalker.h"

namespace {

constexpr int kVendor = 0x0D8C;
constexpr int kProduct = 0x1822;

// A made-up tree: host controllers by index, hubs by name, each hub a list of
// ports.
struct FakeTree {
    struct Port {
        UsbConnection connection;
        std::string childHub;  // for a hub
    };
    std::map<int, std::string> rootHubOfController;  // HCD index -> root hub name
    // Controllers found only through their interface class (USB 3 on Windows
    // 10 and 11): interface path -> root hub name.
    std::map<std::string, std::string> rootHubOfInterface;
    bool walksInterfaces = false;
    std::map<std::string, std::vector<Port>> hubs;
    std::vector<std::string> opened;
    int openNow = 0;
};

class FakePort final : public IUsbHubPort {
public:
    explicit FakePort(FakeTree& tree) : tree_(tree) {}

    UsbNode Open(const std::string& path) override {
        tree_.opened.push_back(path);
        const std::string hcd = "\\\\.\\HCD";
        if (path.rfind(hcd, 0) == 0) {
            const int index = std::stoi(path.substr(hcd.size()));
            if (tree_.rootHubOfController.count(index) == 0) {
                return 0;
            }
            nodes_.push_back("HCD:" + tree_.rootHubOfController[index]);
        } else if (tree_.rootHubOfInterface.count(path) != 0) {
            nodes_.push_back("HCD:" + tree_.rootHubOfInterface[path]);
        } else {
            const std::string name = path.substr(4);
            if (tree_.hubs.count(name) == 0) {
                return 0;
            }
            nodes_.push_back(name);
        }
        ++tree_.openNow;
        return static_cast<UsbNode>(nodes_.size());
    }
    void Close(UsbNode) override { --tree_.openNow; }
    bool EnumeratesHostControllerInterfaces() override { return tree_.walksInterfaces; }
    std::vector<std::string> HostControllerInterfacePaths() override {
        std::vector<std::string> paths;
        for (const auto& entry : tree_.rootHubOfInterface) {
            paths.push_back(entry.first);
        }
        return paths;
    }
    bool GetRootHubName(UsbNode node, std::string& name) override {
        const std::string& n = nodes_[static_cast<std::size_t>(node) - 1];
        if (n.rfind("HCD:", 0) != 0) {
            return false;
        }
        name = n.substr(4);
        return true;
    }
    bool GetPortCount(UsbNode node, int& ports) override {
        ports = static_cast<int>(Hub(node).size());
        return true;
    }
    bool GetConnection(UsbNode node, int port, UsbConnection& connection) override {
        connection = Hub(node)[static_cast<std::size_t>(port) - 1].connection;
        return true;
    }
    bool GetConnectionName(UsbNode node, int port, std::string& name) override {
        name = Hub(node)[static_cast<std::size_t>(port) - 1].childHub;
        return !name.empty();
    }

private:
    std::vector<FakeTree::Port>& Hub(UsbNode node) {
        return tree_.hubs[nodes_[static_cast<std::size_t>(node) - 1]];
    }
    FakeTree& tree_;
    std::vector<std::string> nodes_;
};

FakeTree::Port Device(int vendor, int product) {
    FakeTree::Port port;
    port.connection.connectionStatus = 1;
    port.connection.bcdUSB = 0x0110;
    port.connection.idVendor = static_cast<std::uint16_t>(vendor);
    port.connection.idProduct = static_cast<std::uint16_t>(product);
    return port;
}

FakeTree::Port Hub(const std::string& name, int bcdUSB) {
    FakeTree::Port port;
    port.connection.connectionStatus = 1;
    port.connection.deviceIsHub = true;
    port.connection.bcdUSB = static_cast<std::uint16_t>(bcdUSB);
    port.childHub = name;
    return port;
}

FakeTree::Port Empty() {
    return FakeTree::Port{};
}

TEST(UsbHubWalker, HandsetOnRootHubWithoutExternalUsb2HubGivesZero) {
    FakeTree tree;
    tree.rootHubOfController[0] = "ROOT0";
    tree.hubs["ROOT0"] = {Device(0x1111, 1), Empty(), Device(kVendor, kProduct)};
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = -1;
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 0);
    EXPECT_TRUE(walker.foundDevice);
    EXPECT_FALSE(walker.usb2HubSeen);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(tree.openNow, 0) << "every opened node is closed";
}

TEST(UsbHubWalker, Usb2HubOnALaterControllerStillCounts) {
    FakeTree tree;
    tree.rootHubOfController[0] = "ROOT0";
    tree.rootHubOfController[3] = "ROOT3";
    tree.hubs["ROOT0"] = {Device(kVendor, kProduct)};
    // The handset found on the first controller must not end this one's walk
    // after its first hub.
    tree.hubs["ROOT3"] = {Device(0x2222, 2), Hub("OLD", 0x0110), Hub("EXT", 0x0200)};
    tree.hubs["OLD"] = {Device(0x7777, 7)};
    tree.hubs["EXT"] = {Device(0x3333, 3)};
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = -1;
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 1);
    EXPECT_TRUE(walker.foundDevice);
    EXPECT_TRUE(walker.usb2HubSeen);
    EXPECT_EQ(count, -1) << "count is only stored when the result is 0";
    EXPECT_EQ(tree.openNow, 0);
}

TEST(UsbHubWalker, HandsetBehindUsb2HubGivesOneAndStopsTheWalk) {
    FakeTree tree;
    tree.rootHubOfController[0] = "ROOT0";
    tree.rootHubOfController[1] = "ROOT1";
    tree.hubs["ROOT0"] = {Hub("EXT", 0x0200), Device(0x4444, 4)};
    tree.hubs["EXT"] = {Empty(), Device(kVendor, kProduct), Device(0x5555, 5)};
    tree.hubs["ROOT1"] = {Device(0x6666, 6)};
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = 0;
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 1);
    EXPECT_EQ(walker.connectedCount, 2) << "the walk ends at the handset";
    EXPECT_EQ(walker.hubCount, 1);
    for (const std::string& path : tree.opened) {
        EXPECT_NE(path, "\\\\.\\HCD1") << "no controller after the one with the answer";
    }
    EXPECT_EQ(tree.openNow, 0);
}

TEST(UsbHubWalker, HandsetBehindUsb11HubGivesZero) {
    FakeTree tree;
    tree.rootHubOfController[0] = "ROOT0";
    tree.hubs["ROOT0"] = {Hub("EXT", 0x0110)};
    tree.hubs["EXT"] = {Device(kVendor, kProduct)};
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = 0;
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 0);
    EXPECT_TRUE(walker.foundDevice);
    EXPECT_EQ(count, 2);
}

TEST(UsbHubWalker, Usb2HubSeenSurvivesTheNextWalk) {
    FakeTree tree;
    tree.rootHubOfController[0] = "ROOT0";
    tree.hubs["ROOT0"] = {Hub("EXT", 0x0200)};
    tree.hubs["EXT"] = {Device(kVendor, kProduct)};
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = 0;
    ASSERT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 1);
    // The handset moves to the root hub and the external hub goes away.
    tree.hubs["ROOT0"] = {Device(kVendor, kProduct)};
    tree.hubs.erase("EXT");
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 1);
    EXPECT_TRUE(walker.usb2HubSeen);
    EXPECT_EQ(walker.connectedCount, 1) << "counters restart with every walk";
}

TEST(UsbHubWalker, NothingFoundWhenNoControllerOpens) {
    FakeTree tree;
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = -1;
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tree.opened.size(), 10u) << "HCD0 to HCD9 are tried";
}

TEST(UsbHubWalker, UnopenableHubIsSkippedAndTheWalkGoesOn) {
    FakeTree tree;
    tree.rootHubOfController[0] = "ROOT0";
    tree.hubs["ROOT0"] = {Hub("GONE", 0x0200), Device(kVendor, kProduct)};
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = 0;
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 0);
    EXPECT_TRUE(walker.foundDevice);
    EXPECT_FALSE(walker.usb2HubSeen) << "a hub that can't be opened is not entered";
}

TEST(UsbHubWalker, ControllersAreAlsoFoundByInterfaceOnWindowsTenAndEleven) {
    EXPECT_TRUE(WalksHostControllerInterfaces(10, 0)) << "Windows 10 and 11";
    EXPECT_FALSE(WalksHostControllerInterfaces(6, 1)) << "Windows 7";
    EXPECT_FALSE(WalksHostControllerInterfaces(6, 3)) << "Windows 8.1";
    EXPECT_TRUE(WalksHostControllerInterfaces(6, 0)) << "Windows Vista";

    // A USB 3 controller without an HCD name: the handset behind a USB 2.0 hub.
    FakeTree tree;
    tree.walksInterfaces = true;
    tree.rootHubOfInterface["\\\\?\\pci#ven_8086&dev_a36d#xhci"] = "ROOT3";
    tree.hubs["ROOT3"] = {Empty(), Hub("HUB2", 0x0200)};
    tree.hubs["HUB2"] = {Device(kVendor, kProduct)};
    CUsbHubWalker walker(std::make_unique<FakePort>(tree));
    int count = 0;
    EXPECT_EQ(walker.FindDevice(0, &count, kVendor, kProduct), 1);
}

}  // namespace
