// libFuzzer target (preset `fuzz`): the handset's input reports, eight bytes
// each and packed as the HID library packs them (bytes 0-3 are wParam, 4-7
// lParam), go one at a time through OnHidInput, the input thread and any LCD
// transfer they start, with the real stores and font component and the
// recording fakes of the handset tests. The first eight bytes set the scene.
// No input may crash or upset a sanitizer, stop the input thread or leave a
// transfer running, and no text for Skype may outgrow its command buffer.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "HandsetFakes.h"
#include "SkypeWindowClasses.h"

namespace handsettest {
namespace {

constexpr std::size_t kReportBytes = 8;
// The key handler's command buffer, terminator included.
constexpr std::size_t kCommandBufferSize = 255;

// Statuses for the current and the second call: none, and every one the
// answer and hang-up rules tell apart.
constexpr int kStatuses[16] = {CALLSTATUS_NONE,         CALLSTATUS_NEW,
                               CALLSTATUS_RINGING_OUT,  CALLSTATUS_RINGING_IN,
                               CALLSTATUS_INPROGRESS,   CALLSTATUS_FINISHED,
                               CALLSTATUS_MISSED,       CALLSTATUS_REFUSED,
                               CALLSTATUS_LOCALHOLD,    CALLSTATUS_VM_PLAYING_GREETING,
                               CALLSTATUS_VM_RECORDING, 19,
                               CALLSTATUS_VM_SENT,      CALLSTATUS_VM_CANCELLED,
                               CALLSTATUS_VM_REDIRECT,  CALLSTATUS_EARLYMEDIA};

// Names of contacts and calls: plain, Latin with marks, CJK, and one longer
// than the stores keep, cut inside a multi-byte character.
const std::string& Name(unsigned index) {
    static const std::string names[4] = {"alice", "Zoë Çağlar", "山田太郎",
                                         std::string(253, 'n') + "é山"};
    return names[index & 3];
}

// What the Skype link may have announced before the first report: nothing, a
// notice as font codes or as plain characters, a call timer.
constexpr unsigned int kAnnounced[4] = {0, kModeNotice | kModeFontCodes,
                                        kModeNotice | kModePlainText, kModeCallTimer};

void Yield(unsigned) {
    std::this_thread::yield();
}

CHsdFontProcessImpl& Font() {
    static CHsdFontProcessImpl* font = [] {
        SetPauseFunction(Yield);
        SetFontPauseFunction(Yield);
        auto* created = new CHsdFontProcessImpl;
        created->InitialFontTable(VOXLINK_FONT_DATA_DIR "/");
        created->SetHIDCtrlInterfaceKey(1, 0);
        return created;
    }();
    return *font;
}

std::uint32_t Packed(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// One run's handset object and everything around it; the handset is last, so
// its threads have ended before the rest goes.
struct Rig {
    Log log;
    FakeHidCtrl hid{log};
    FakeHidLibrary library{log, &hid};
    FakeSkypeLink skype{log};
    FakeWire wire{log};
    FakeWindows windows{log};
    FakeFaders faders{log};
    FakeSound sound{log};
    RingTonePlayer ringTone{sound};
    CallStore calls;
    UserStore users;
    CHsdHid handset{&library};

    // Scene bytes: 0 switches and Skype's windows, 1 and 2 the current and the
    // second call (id in the high nibble, 0 for none; status in the low), 3
    // contacts (count, online pattern), 4 the call list (count, first status),
    // 5 announcement, selected tab, grid, display mode and list mode, 6 names
    // and loaded details, 7 call types and the balance.
    void SetScene(const std::uint8_t* s, CHsdFontProcessImpl& font) {
        ConfigSwitches switches;
        switches.fontSupport = (s[0] & 0x02) == 0;
        switches.supportHideWindows = (s[0] >> 2) & 1;
        switches.supportFocusAddressBook = (s[0] >> 3) & 1;
        switches.supportAGC = (s[0] >> 4) & 1;
        handset.ApplyConfiguration(switches, 16, 8);
        handset.SetKeysEnabled((s[0] & 0x01) == 0);
        wire.refuse = (s[0] & 0x20) != 0;
        if ((s[0] & 0x40) != 0) {
            windows.Add(kSkypeConfirmFormClass);
        }
        if ((s[0] & 0x80) != 0) {
            windows.Add(kSkypeSerFormClass);
        }
        if ((s[1] >> 4) != 0) {
            calls.SetCurrentCallId(s[1] >> 4);
            calls.SetCurrentCallStatus(kStatuses[s[1] & 15]);
        }
        if ((s[2] >> 4) != 0) {
            calls.SetSecondCallId(16 + (s[2] >> 4));
            calls.SetSecondCallStatus(kStatuses[s[2] & 15]);
        }
        for (unsigned i = 0; i < (s[3] & 15u); ++i) {
            const unsigned pick = s[6] >> (2 * (i % 4));
            const std::string handle = Name(pick) + std::to_string(i);
            users.AddUserIfAbsent(handle.c_str(),
                                  ((s[3] >> (4 + i % 4)) & 1) ? USER_ONLINE : USER_OFFLINE);
            const std::string& name = Name(pick + 1);
            users.SetUserDisplayName(handle.c_str(), name.c_str(), static_cast<int>(name.size()));
        }
        for (unsigned i = 0; i < (s[4] & 15u); ++i) {
            const int id = 100 + static_cast<int>(i);
            const bool loaded = ((s[6] >> (i % 8)) & 1) != 0;
            calls.AddCall(id, loaded ? 1 : 0);
            calls.SetCallType(id, (s[7] >> (2 * (i % 4))) & 3);
            calls.SetCallStatus(id, kStatuses[((s[4] >> 4) + i) & 15]);
            calls.SetCallDuration(id, 37 * static_cast<int>(i));
            calls.SetCallTimestamp(id, 1700000000 + 3600 * static_cast<int>(i));
            const std::string& name = Name(i);
            calls.SetCallHandle(id, name.c_str(), static_cast<int>(name.size()));
            if (loaded) {
                calls.SetCallDisplayName(id, name.c_str(), static_cast<int>(name.size()));
            }
        }
        users.SetBalance(static_cast<std::int8_t>(s[7]) * 12345);
        handset.SetModeFlags(kAnnounced[s[5] & 3]);
        users.SetCallerHandleText(Name(s[6]).c_str());
        calls.SetShownDurationText(3725);
        windows.selectedTab = ((s[5] >> 2) & 3) - 1;
        windows.gridVisible = ((s[5] >> 4) & 1) != 0;
        handset.displayMode = (s[5] >> 5) & 1;
        calls.SetListMode((s[5] >> 6) % 3);

        // The font component outlives the runs: it starts each one with the
        // same pending text and no transfer stopped.
        font.SetHIDCtrlInterface(&hid);
        font.SetkeepProcess2MCUDataMonitor(0);
        font.UTF_8ToUnicodeToFontCode(Name(s[6] >> 2).c_str());
        handset.BindFontProcess(&font);
        handset.Connect({.calls = &calls,
                         .users = &users,
                         .skype = &skype,
                         .wire = &wire,
                         .windows = &windows,
                         .faders = &faders,
                         .sound = &sound,
                         .ringTone = &ringTone});
    }

    // Until the input thread has handled the report and any transfer it
    // started has closed.
    void WaitIdle() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (handset.QueuedInput() != 0 || handset.IsTransferBusy()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                Fail(handset.QueuedInput() != 0 ? "a report was not handled"
                                                : "a transfer did not close");
            }
            std::this_thread::yield();
        }
    }
};

}  // namespace
}  // namespace handsettest

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace handsettest;
    if (size < kReportBytes) {
        return -1;
    }
    CHsdFontProcessImpl& font = Font();
    g_bHandsetActive.store(0);
    Rig rig;
    rig.SetScene(data, font);
    if (!rig.handset.StartHandset(nullptr)) {
        Fail("the input thread did not start");
    }
    for (std::size_t at = kReportBytes; at + kReportBytes <= size; at += kReportBytes) {
        rig.handset.OnHidInput(Packed(data + at), Packed(data + at + 4));
        rig.WaitIdle();
    }
    for (const std::string& line : rig.log.Lines()) {
        const bool toSkype = line.rfind("wire ", 0) == 0 || line.rfind("queue ", 0) == 0;
        const std::size_t text = line.find(' ') + 1;
        if (toSkype && (line.size() == text || line.size() - text >= kCommandBufferSize)) {
            Fail(("a command text is empty or too long: " + line).c_str());
        }
    }
    return 0;
}
