// CHsdHIDCtrl over made-up device lists: the match rules, the product list,
// ReopenDevice's hub walk and font component, and the operations that need
// no device.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HidTestSupport.h"
#include "HsdHIDCtrl.h"
#include "Report.h"
#include "ThreadLabels.h"

namespace {

constexpr USHORT V = kHandsetVendorId;

struct FakeDevice {
    std::string path;
    USHORT vendor;
    USHORT product;
    bool openable = true;
};

// Devices in a fixed order; an "open" device is an event handle (writes to it fail).
class FakeHidPlatform final : public IHidPlatform {
public:
    FakeHidPlatform(std::vector<FakeDevice>& devices,
                    std::map<std::string, std::string>& containers)
        : devices_(devices), containers_(containers) {}

    std::vector<HidCandidate> Enumerate() override {
        std::vector<HidCandidate> list;
        for (const FakeDevice& device : devices_) {
            HidCandidate candidate;
            candidate.path = device.path;
            list.push_back(candidate);
        }
        return list;
    }
    HANDLE Open(const std::string& path, bool) override {
        const FakeDevice* device = Find(path);
        if (device == nullptr || !device->openable) {
            return INVALID_HANDLE_VALUE;
        }
        return CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    bool GetAttributes(HANDLE, const HidCandidate& candidate, HIDD_ATTRIBUTES& a) override {
        const FakeDevice* device = Find(candidate.path);
        a.VendorID = device->vendor;
        a.ProductID = device->product;
        return true;
    }
    bool GetCaps(HANDLE, const HidCandidate&, HIDP_CAPS& caps) override {
        caps.InputReportByteLength = 8;
        caps.OutputReportByteLength = 8;
        return true;
    }
    bool GetContainerId(const HidCandidate& candidate, std::string& containerId) override {
        const auto found = containers_.find(candidate.path);
        if (found == containers_.end()) {
            return false;
        }
        containerId = found->second;
        return true;
    }

private:
    const FakeDevice* Find(const std::string& path) const {
        for (const FakeDevice& device : devices_) {
            if (device.path == path) {
                return &device;
            }
        }
        return nullptr;
    }
    std::vector<FakeDevice>& devices_;
    std::map<std::string, std::string>& containers_;  // by path; a missing one has none
};

// A one-controller USB tree; the handset sits behind a USB 2.0 hub or not.
class FakeHubPort final : public IUsbHubPort {
public:
    FakeHubPort(int& opens, bool behindUsb2Hub) : opens_(opens), behind_(behindUsb2Hub) {}
    UsbNode Open(const std::string& path) override {
        ++opens_;
        if (path == "\\\\.\\HCD0") {
            return 1;
        }
        if (path == "\\\\.\\ROOT") {
            return 2;
        }
        if (path == "\\\\.\\EXT") {
            return 3;
        }
        return 0;
    }
    void Close(UsbNode) override {}
    bool EnumeratesHostControllerInterfaces() override { return false; }
    std::vector<std::string> HostControllerInterfacePaths() override { return {}; }
    bool GetRootHubName(UsbNode, std::string& name) override {
        name = "ROOT";
        return true;
    }
    bool GetPortCount(UsbNode, int& ports) override {
        ports = 1;
        return true;
    }
    bool GetConnection(UsbNode node, int, UsbConnection& c) override {
        c.connectionStatus = 1;
        if (node == 2 && behind_) {
            c.deviceIsHub = true;
            c.bcdUSB = 0x0200;
        } else {
            c.idVendor = V;
            c.idProduct = 0x1822;
        }
        return true;
    }
    bool GetConnectionName(UsbNode, int, std::string& name) override {
        name = "EXT";
        return true;
    }

private:
    int& opens_;
    bool behind_;
};

class HidCtrlRules : public ::testing::Test {
protected:
    std::unique_ptr<CHsdHIDCtrl> Make(bool behindUsb2Hub = false) {
        return std::make_unique<CHsdHIDCtrl>(
            std::make_unique<FakeHidPlatform>(devices, containers),
            std::make_unique<CUsbHubWalker>(
                std::make_unique<FakeHubPort>(hubOpens, behindUsb2Hub)));
    }
    std::vector<FakeDevice> devices;
    std::map<std::string, std::string> containers;
    int hubOpens = 0;
};

TEST_F(HidCtrlRules, FirstDeviceThatOpensAndMatchesWins) {
    devices = {{"other-vendor", static_cast<USHORT>(V ^ 0x0100), 0x1822},
               {"one-bit-only", V, 0x0822},
               {"locked", V, 0x1820, false},
               {"first", V, 0x1801},
               {"second", V, 0x1802}};
    auto hid = Make();
    EXPECT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    EXPECT_TRUE(hid->IsOpen());
    EXPECT_EQ(hid->DevicePath(), "first");
    EXPECT_EQ(hid->VendorId(), V);
    EXPECT_EQ(hid->ProductId(), 0x1801);
    EXPECT_EQ(hid->InputReportLength(), 8);
}

TEST_F(HidCtrlRules, ContainerIdIsTheOpenDevicesWhenItHasOne) {
    const std::string id = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
    devices = {{"no-container", V, 0x1801}, {"handset", V, 0x1802}};
    containers["handset"] = id;
    auto hid = Make();
    char text[64] = "untouched";
    EXPECT_EQ(hid->GetContainerId(text, sizeof text), E_FAIL);  // nothing open
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1802), 0);
    EXPECT_EQ(hid->GetContainerId(text, sizeof text), 0);
    EXPECT_EQ(text, id);
    EXPECT_EQ(hid->GetContainerId(text, static_cast<unsigned>(id.size())), E_FAIL);
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1801), 0);
    EXPECT_EQ(hid->GetContainerId(text, sizeof text), E_FAIL);
}

TEST_F(HidCtrlRules, NoMatchFailsAndLeavesTheDeviceClosed) {
    devices = {{"one-bit-only", V, 0x0822}, {"locked", V, 0x1822, false}};
    auto hid = Make();
    EXPECT_EQ(hid->OpenDevice(0xFFFF, 0x1800), E_FAIL);
    EXPECT_FALSE(hid->IsOpen());
    // An earlier open is not left behind by a failed one.
    devices.push_back({"good", V, 0x1822});
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    devices.pop_back();
    EXPECT_EQ(hid->OpenDevice(0xFFFF, 0x1800), E_FAIL);
    EXPECT_FALSE(hid->IsOpen());
}

TEST_F(HidCtrlRules, ProductListOfTwoEntriesCountElevenRefusedCountZeroSwitchesOff) {
    devices = {{"plain", V, 0x1000}, {"listed", V, 0x0800}};
    auto hid = Make();
    const int two[] = {0x0A00, 0x7777};
    EXPECT_EQ(hid->SetProductIdList(two, 2), 0);
    EXPECT_EQ(hid->ProductIdCount(), 2);
    // Masked entries: 0x0A00 -> 0x0800, 0x7777 -> 0x1000; both devices match, the first wins.
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    EXPECT_EQ(hid->DevicePath(), "plain") << "0x1000 equals the masked second entry";

    const int one[] = {0x0800};
    ASSERT_EQ(hid->SetProductIdList(one, 1), 0);
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    EXPECT_EQ(hid->DevicePath(), "listed");

    const int eleven[11] = {};
    EXPECT_EQ(hid->SetProductIdList(eleven, 11), 0);
    EXPECT_EQ(hid->ProductIdCount(), 1) << "a list of 11 changes nothing";
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    EXPECT_EQ(hid->DevicePath(), "listed");

    EXPECT_EQ(hid->SetProductIdList(nullptr, 0), 0);
    EXPECT_EQ(hid->ProductIdCount(), 0);
    EXPECT_EQ(hid->OpenDevice(0xFFFF, 0x1800), E_FAIL) << "by masks alone neither has both bits";
    EXPECT_EQ(hid->OpenDevice(0xFFFF, 0x1000), 0);
    EXPECT_EQ(hid->DevicePath(), "plain");
}

TEST_F(HidCtrlRules, ReopenTellsTheFontComponentAndPassesTheHubWalkResult) {
    devices = {{"handset", V, 0x1822}};
    RecordingFontProcess font;
    auto behind = Make(true);
    behind->SetFontProcess(&font);
    EXPECT_EQ(behind->ReopenDevice(), 0);
    ASSERT_EQ(font.keyCalls.size(), 1u);
    EXPECT_EQ(font.keyCalls[0].handsetOpen, 1);
    EXPECT_EQ(font.keyCalls[0].pace, 1);
    EXPECT_EQ(behind->PaceTransfers(), 1);

    RecordingFontProcess font2;
    auto direct = Make(false);
    direct->SetFontProcess(&font2);
    EXPECT_EQ(direct->ReopenDevice(), 0);
    ASSERT_EQ(font2.keyCalls.size(), 1u);
    EXPECT_EQ(font2.keyCalls[0].pace, 0);
}

TEST_F(HidCtrlRules, ReopenWithoutFontComponentSkipsTheHubWalk) {
    devices = {{"handset", V, 0x1822}};
    auto hid = Make(true);
    EXPECT_EQ(hid->ReopenDevice(), 0);
    EXPECT_TRUE(hid->IsOpen());
    EXPECT_EQ(hubOpens, 0);
    EXPECT_EQ(hid->PaceTransfers(), 0);
}

TEST_F(HidCtrlRules, ReopenWithoutHandsetFailsAndLeavesTheFontComponentAlone) {
    RecordingFontProcess font;
    auto hid = Make(true);
    hid->SetFontProcess(&font);
    EXPECT_EQ(hid->ReopenDevice(), E_FAIL);
    EXPECT_FALSE(hid->IsOpen());
    EXPECT_TRUE(font.keyCalls.empty());
    EXPECT_EQ(hubOpens, 0);
}

TEST_F(HidCtrlRules, OutputWithoutHandset) {
    auto hid = Make();
    EXPECT_EQ(hid->SendCommand(0x55), 0);
    EXPECT_EQ(hid->SendCommandData(0x55, 0), E_FAIL);
    EXPECT_EQ(hid->EnableMixerControl(), E_FAIL);
    EXPECT_EQ(hid->DisableMixerControl(), E_FAIL);
    EXPECT_EQ(hid->HSD_GetMixerRegControl(0x04), E_FAIL);
    EXPECT_EQ(hid->HSD_SetMixerRegControl(0x0E, 0x80, 0x48), E_FAIL);
    EXPECT_EQ(hid->SetNotifyMessage(0x500), 1);
    EXPECT_EQ(hid->StopReadThread(), 0);
    EXPECT_EQ(hid->CloseDevice(), 0);
    EXPECT_EQ(hid->ResetDevice(), 0);
    EXPECT_EQ(hid->SetSupportedARF(1), 0);
    EXPECT_EQ(hid->SetFontProcess(nullptr), 0);
}

TEST_F(HidCtrlRules, ReadThreadWithoutHandsetStartsIdleAndStopsAtOnce) {
    auto hid = Make();
    EXPECT_EQ(hid->StartReadThread(nullptr), 0);
    EXPECT_TRUE(hid->HasReadThread());
    EXPECT_FALSE(hid->IsOpen());
    Sleep(50);  // its read fails at once; it must not spin or end by itself
    EXPECT_TRUE(hid->HasReadThread());
    EXPECT_TRUE(voxtest::SomeThreadIsLabelled("CHsdHIDCtrl -> HSD_ReadThreadProc"))
        << "for crash reports";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hid->StopReadThread(), 0);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 250.0);
    EXPECT_FALSE(hid->HasReadThread());
}

TEST_F(HidCtrlRules, CommandsAreTriedTwiceRegisterWritesOnce) {
    // Writes to the fake device (an event) always fail.
    devices = {{"handset", V, 0x1822}};
    auto hid = Make();
    ASSERT_EQ(hid->OpenDevice(0xFFFF, 0x1800), 0);
    auto elapsedMs = [](auto action) {
        const auto start = std::chrono::steady_clock::now();
        action();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    TraceCapture trace;
    TraceCapture::Clear();
    double command = 0;
    double data = 0;
    command = elapsedMs([&] { EXPECT_EQ(hid->SendCommand(0x10), 0); });
    data = elapsedMs([&] { EXPECT_EQ(hid->SendCommandData(0x10, 5), 0); });
    const double reg = elapsedMs([&] { EXPECT_EQ(hid->HSD_SetMixerRegControl(1, 2, 3), 0); });
    EXPECT_GE(command, 15.0) << "a pause of 17 ms before the second attempt";
    EXPECT_GE(data, 15.0);
    EXPECT_LT(reg, 15.0) << "register reports are written once";
    EXPECT_EQ(TraceCapture::Lines().size(), 3u) << "one trace line per report, not per attempt";
}

TEST_F(HidCtrlRules, ShowLastErrorShowsTheSystemText) {
    static std::string caption;
    static unsigned int style = 0;
    static int boxes = 0;
    const ReportFunction previous =
        SetReportFunction([](const char*, const char* c, unsigned int s) {
            caption = c;
            style = s;
            ++boxes;
            return 1;
        });
    auto hid = Make();
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hid->ShowLastError(), 0);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(caption, "Error");
    EXPECT_EQ(style, static_cast<unsigned int>(MB_ICONINFORMATION));
    // An application-defined code has no system text.
    SetLastError(0x20001234);
    EXPECT_EQ(hid->ShowLastError(), E_FAIL);
    EXPECT_EQ(boxes, 1);
    SetReportFunction(previous);
}

}  // namespace
