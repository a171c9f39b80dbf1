// libFuzzer target (preset `fuzz`): any byte string, split at line ends into
// a sequence of notifications, goes through the Skype link's notification
// thread and the whole dispatcher, with the real stores and font component and
// quiet fakes for everything else. No input may crash, hang or upset a
// sanitizer, and every notification must be handled (none may end the thread).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "AccessSkypeAPI.h"
#include "CallStore.h"
#include "FontPause.h"
#include "HsdFontProcessImpl.h"
#include "SilentHidCtrl.h"
#include "Pause.h"
#include "RingTonePlayer.h"
#include "SkypeWindowClasses.h"
#include "UserStore.h"

namespace {

class QuietWire final : public ISkypeWire {
public:
    bool SendCommandText(const char* text) override {
        sent += text[0] != '\0';
        return true;
    }
    void BroadcastDiscover(bool) override {}
    void ForgetSkypeWindow() override {}
    std::atomic<long> sent{0};
};

class QuietWindows final : public ISkypeClientWindows {
public:
    bool TopLevelWindowExists(const char* className) override {
        const int bits = shown.load();
        if (className == std::string(kSkypeConfirmFormClass)) {
            return (bits & 1) != 0;
        }
        return className == std::string(kSkypeSerFormClass) && (bits & 2) != 0;
    }
    std::atomic<int> shown{0};
};

class QuietHandset final : public ILinkHandset {
public:
    bool SendHandsetCommand(unsigned char) override { return true; }
    int HandleKeyEvent(int) override { return 1; }
    void StopTransferAndWait() override {}
    unsigned int GetModeFlags() override { return modeFlags; }
    void SetModeFlags(unsigned int flags) override { modeFlags = flags; }
    void AddModeFlags(unsigned int bits) override { modeFlags |= bits; }
    void SetLinkOpen(int) override {}
    void SetKeysEnabled(int) override {}
    bool IsHandsetPresent() override { return true; }
    bool IsTransferBusy() override { return transferBusy; }
    void SetAbortTransfer(int) override {}
    void StartHandsetLink() override {}
    void ClearHandsetActive() override {}
    bool FontSupport() override { return true; }
    int GetProtocolVersion() override { return protocol; }
    void SetProtocolVersion(int version) override { protocol = version; }

    std::atomic<unsigned int> modeFlags{0};
    std::atomic<bool> transferBusy{false};
    std::atomic<int> protocol{0};
};

class QuietAudio final : public ILinkAudio {
public:
    std::string GetHandsetDeviceName(bool) override { return "USB Audio Device"; }
    void SetPreferredAudioDevices() override {}
};

class QuietShell final : public ILinkShell {
public:
    void ShowTrayState(bool, const char*) override {}
    void InsertComboString(void*, int, int, const char*) override {}
    void SelectComboEntry(void*, int, int) override {}
};

class QuietProfile final : public IProfileReader {
public:
    unsigned int ReadInt(const char*, const char*, int defaultValue, const char*) override {
        return static_cast<unsigned int>(defaultValue);
    }
    void ReadString(const char*, const char*, const char* defaultValue, char* out, std::size_t size,
                    const char*) override {
        std::snprintf(out, size, "%s", defaultValue ? defaultValue : "");
    }
};

class QuietSound final : public ISoundOutput {
public:
    void PlayWave(const char*, unsigned int) override {}
};

void NoPause(unsigned) {}

struct Rig {
    SilentHidCtrl hid;
    QuietWire wire;
    QuietWindows windows;
    CallStore calls;
    UserStore users;
    QuietHandset handset;
    QuietAudio audio;
    QuietShell shell;
    QuietProfile profile;
    QuietSound sound;
    RingTonePlayer ringTone{sound};
    CHsdFontProcessImpl font;
    CAccessSkypeAPI* link = nullptr;
    std::uint64_t queued = 0;

    Rig() {
        SetPauseFunction(NoPause);
        SetFontPauseFunction(NoPause);
        font.InitialFontTable(VOXLINK_FONT_DATA_DIR);
        font.SetHIDCtrlInterface(&hid);
        font.SetHIDCtrlInterfaceKey(1, 0);
        SkypeLinkPorts ports;
        ports.wire = &wire;
        ports.windows = &windows;
        ports.calls = &calls;
        ports.users = &users;
        ports.handset = &handset;
        ports.audio = &audio;
        ports.shell = &shell;
        ports.profile = &profile;
        ports.ringTone = &ringTone;
        // Lives as long as the process: libFuzzer never returns from its loop.
        link = new CAccessSkypeAPI(ports);
        link->LoadConfiguration("", nullptr);
        link->SetFontProcess(&font);
        users.SetSkypeCommandSender(link);
    }

    void WaitHandled() {
        for (long spins = 0; link->HandledNotifications() < queued; ++spins) {
            if (spins > 20000000) {
                std::fprintf(stderr, "a notification was not handled\n");
                std::abort();
            }
            std::this_thread::yield();
        }
    }
};

Rig& TheRig() {
    static Rig* rig = new Rig;
    return *rig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Rig& rig = TheRig();
    // The first byte sets the scene: the display flag, a display transfer
    // under way, and which of Skype's windows are shown.
    const std::uint8_t scene = size > 0 ? data[0] : 0;
    rig.link->SetHandsetDisplayMode(scene & 1);
    rig.handset.transferBusy = (scene & 2) != 0;
    rig.windows.shown = (scene >> 2) & 3;
    std::size_t start = size > 0 ? 1 : 0;
    for (std::size_t i = start; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            const std::string text(reinterpret_cast<const char*>(data) + start, i - start);
            if (rig.link->AddToMessageInQueue(text.c_str()) != 0) {
                std::abort();
            }
            ++rig.queued;
            start = i + 1;
        }
    }
    rig.WaitHandled();
    // Each input starts from empty stores; the link keeps its own state.
    rig.calls.ResetCurrentCall();
    rig.calls.ResetSecondCall();
    rig.calls.ClearCalls();
    rig.users.ClearUsers();
    return 0;
}
