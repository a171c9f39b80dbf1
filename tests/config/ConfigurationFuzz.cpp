// libFuzzer target (preset `fuzz`): any text, its first line taken as the
// program's folder and the rest as VoxlinkAPI.ini, loaded by the Skype link.
// Every value the program reads from the file is read back as the shell, the
// tray, the dialogs and the NAME command read it. No text may crash or upset a
// sanitizer; switches stay 0 or 1, icon paths stay in the program's folder,
// and the window name, ring names and NAME command fit the program's buffers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "../skype/LinkFakes.h"
#include "AccessSkypeAPI.h"
#include "Pause.h"

namespace {

// The shell's path buffers, the About dialog's text and the ring list's combo box.
constexpr std::size_t kPathSize = 260;
constexpr std::size_t kAboutSize = 1024;
constexpr int kRingCombo = 1;

// The link keeps the reader it was built with; each run gives it a new file.
class RunProfile final : public IProfileReader {
public:
    unsigned int ReadInt(const char* section, const char* key, int defaultValue,
                         const char* path) override {
        return file->ReadInt(section, key, defaultValue, path);
    }
    void ReadString(const char* section, const char* key, const char* defaultValue, char* out,
                    std::size_t size, const char* path) override {
        file->ReadString(section, key, defaultValue, out, size, path);
    }
    std::unique_ptr<FakeProfile> file;
};

// The tray and the ring list's combo box, kept without a log: a run may list
// a thousand ring names.
class Shell final : public ILinkShell {
public:
    void ShowTrayState(bool, const char* iconPath) override { trayIcon = iconPath; }
    void InsertComboString(void*, int, int, const char* text) override {
        ++rings;
        longestRing = std::max(longestRing, std::strlen(text));
    }
    void SelectComboEntry(void*, int, int) override {}
    void Clear() {
        trayIcon.clear();
        rings = 0;
        longestRing = 0;
    }

    std::string trayIcon;
    std::size_t rings = 0;
    std::size_t longestRing = 0;
};

void NoPause(unsigned) {}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

struct Rig {
    EventLog log;
    FakeWire wire{log};
    FakeWindows windows;
    FakeCallStore calls{log};
    FakeUserStore users{log};
    FakeHandset handset{log};
    FakeAudio audio{log};
    Shell shell;
    RunProfile profile;
    CAccessSkypeAPI* link = nullptr;

    Rig() {
        SetPauseFunction(NoPause);
        SkypeLinkPorts ports;
        ports.wire = &wire;
        ports.windows = &windows;
        ports.calls = &calls;
        ports.users = &users;
        ports.handset = &handset;
        ports.audio = &audio;
        ports.shell = &shell;
        ports.profile = &profile;
        // Lives as long as the process: libFuzzer never returns from its loop.
        link = new CAccessSkypeAPI(ports);
    }
};

Rig& TheRig() {
    static Rig* rig = new Rig;
    return *rig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Rig& rig = TheRig();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = text.find('\n');
    // A folder is a C string: it ends at the first NUL.
    const std::string folder = text.substr(0, lineEnd).c_str();
    const std::string ini = lineEnd == std::string::npos ? "" : text.substr(lineEnd + 1);
    rig.profile.file = std::make_unique<FakeProfile>();
    rig.profile.file->SetFile(folder + "\\" + Configuration::kFileName, ini);
    rig.log.Clear();
    rig.shell.Clear();

    ConfigSwitches s;
    rig.link->LoadConfiguration(folder.c_str(), &s);
    for (int value :
         {s.fontSupport, s.supportSky, s.supportHideWindows, s.supportAGC, s.supportAutoRunSkype,
          s.supportAutoSwitchAudioDevice, s.supportAutoSwitchSystemAudioDevice,
          s.supportFocusAddressBook, s.supportARF, s.supportLimitCalls}) {
        if (value != 0 && value != 1) {
            Fail("a switch is neither 0 nor 1");
        }
    }
    int reg04Value = 0;
    int reg1CValue = 0;
    rig.link->GetRegisterDefaults(&reg04Value, &reg1CValue);

    char buffer[kPathSize] = {};
    if (rig.link->GetWindowName(buffer, sizeof buffer) != 0 || buffer[0] == '\0') {
        Fail("no window name");
    }
    // The icons are looked for in the program's folder, as far as the path buffers reach.
    const std::size_t kept = std::min(folder.size(), kPathSize - 1);
    const auto inFolder = [&](const std::string& path) {
        if (path.compare(0, kept, folder, 0, kept) != 0) {
            Fail("an icon path outside the program's folder: " + path);
        }
    };
    for (auto get : {&CAccessSkypeAPI::GetFileNoHW, &CAccessSkypeAPI::GetFileNoSkype,
                     &CAccessSkypeAPI::GetFileActive}) {
        if ((rig.link->*get)(buffer, sizeof buffer) != 0) {
            Fail("an icon path was not given");
        }
        inFolder(buffer);
    }
    char about[kAboutSize] = {};
    rig.link->GetCustomerInfo(about, sizeof about);
    // The tray shows FileActive with the handset, FileNoANY without it.
    for (bool present : {true, false}) {
        rig.handset.present = present;
        rig.shell.trayIcon.clear();
        rig.link->UpdateTrayState();
        inFolder(rig.shell.trayIcon);
    }

    rig.link->FillRingList(nullptr, kRingCombo);
    if (rig.shell.rings > Configuration::kMaxRings) {
        Fail("more ring names than the list takes");
    }
    if (rig.shell.longestRing >= Configuration::kValueSize) {
        Fail("a ring name longer than its buffer");
    }

    // The application name goes to Skype in a command of its own.
    rig.link->SendSkypeCommand(SKYPE_CMD_NAME, nullptr, 0);
    if (!rig.log.WaitFor("send:", 1)) {
        Fail("the NAME command was not sent");
    }
    for (const std::string& sent : rig.log.With("send:")) {
        if (sent.rfind("NAME ", 0) != 0 || sent.size() >= CAccessSkypeAPI::kCommandBufferSize) {
            Fail("a NAME command of the wrong form or too long: " + sent);
        }
    }
    return 0;
}
