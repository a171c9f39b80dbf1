// Shows one of the program's dialogs (or the tray menu) with made-up devices
// and settings, for screenshots:
//   dialog_gallery <about|volume|advanced|audio|menu> [seconds] [language, e.g. ja-JP]
// Once the window is on screen it prints "window <x> <y> <width> <height> dpi <n>"
// (its screen rectangle) on standard output, then closes it after the given
// seconds (default 4).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Dialogs.h"
#include "FakeMixer.h"
#include "HandsetMixers.h"
#include "SoundMapper.h"
#include "VoxlinkResources.h"

namespace {

class DemoHost : public IDialogHost {
public:
    bool GetAboutText(char* out, std::size_t size) override {
        std::snprintf(out, size, "%s",
                      "Voxlink 1.0\r\nUSB handset link for Skype\r\n\r\n"
                      "Support: support@voxlink.example");
        return true;
    }
    void FillRingList(HWND dialog, int comboId) override {
        const char* rings[] = {"Classic", "Bells", "Chirp", "Melody"};
        for (const char* ring : rings) {
            SendDlgItemMessageA(dialog, comboId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ring));
        }
        SendDlgItemMessageA(dialog, comboId, CB_SETCURSEL, 0, 0);
    }
    int GetRingIndex() override { return 0; }
    void SetRingIndex(int) override {}
    int GetSetting(Setting setting) override {
        return setting == Setting::AutoSwitchAudioDevice ? 0 : 1;
    }
    void SetSetting(Setting, int) override {}
    void SendHandsetCommand(unsigned char) override {}
};

bool g_menu = false;
HWND g_owner = nullptr;
DWORD g_closeAt = 0;
bool g_reported = false;

HWND FindShown() {
    return FindWindowA(g_menu ? "#32768" : "#32770", nullptr);  // the popup menu or the dialog
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD now) {
    HWND shown = FindShown();
    if (shown == nullptr || !IsWindowVisible(shown)) {
        return;
    }
    if (!g_reported) {
        RECT r{};
        GetWindowRect(shown, &r);
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
        std::printf("window %ld %ld %ld %ld dpi %d\n", r.left, r.top, r.right - r.left,
                    r.bottom - r.top, dpi);
        std::fflush(stdout);
        g_reported = true;
    }
    if (static_cast<LONG>(now - g_closeAt) >= 0) {
        if (g_menu) {
            EndMenu();
        } else {
            PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
        }
    }
}

void InstallDevices() {
    FakeDevice handset = FakeMixer::Handset("USB Audio Handset");
    FakeControl& speaker = handset.destinations[0].controls[0];
    speaker.maximum = 31 * 2114;
    speaker.values = {22 * 2114, 22 * 2114};
    FakeControl& mic = handset.destinations[1].sources[0].controls[0];
    mic.maximum = 31 * 2114;
    mic.values = {12 * 2114};
    FakeMixer::Install({FakeMixer::SoundCard("Realtek HD Audio"), handset});
    FakeWave::Install(2, {"Realtek HD Audio", "USB Audio Handset"});
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kSoundMapperKey, &key) == ERROR_SUCCESS) {
        const char playback[] = "USB Audio Handset";
        const char record[] = "USB Audio Handset";
        RegSetValueExA(key, "Playback", 0, REG_SZ, reinterpret_cast<const BYTE*>(playback),
                       sizeof(playback));
        RegSetValueExA(key, "Record", 0, REG_SZ, reinterpret_cast<const BYTE*>(record),
                       sizeof(record));
        RegCloseKey(key);
    }
}

void ShowMenu() {
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    HMENU popup = GetSubMenu(menu, 0);
    SetMenuDefaultItem(popup, 0, TRUE);
    SetForegroundWindow(g_owner);
    TrackPopupMenu(popup, TPM_LEFTBUTTON, 400, 300, 0, g_owner, nullptr);
    PostMessageA(g_owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 4;
    // The resources of that language, as for a user whose display language it is.
    if (argc > 3) {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        MultiByteToWideChar(CP_UTF8, 0, argv[3], -1, name, LOCALE_NAME_MAX_LENGTH);
        const LCID locale = LocaleNameToLCID(name, 0);
        SetThreadUILanguage(LANGIDFROMLCID(locale));
        SetThreadLocale(locale);
    }
    bool known = false;
    for (const char* kind : {"about", "volume", "advanced", "audio", "menu"}) {
        known = known || which == kind;
    }
    g_menu = which == "menu";
    if (!known) {
        std::fprintf(stderr,
                     "usage: dialog_gallery <about|volume|advanced|audio|menu> [seconds] "
                     "[language]\n");
        return 2;
    }
    SetProcessDPIAware();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "GalleryOwner";
    RegisterClassA(&wc);
    g_owner = CreateWindowExA(0, "GalleryOwner", "Voxlink", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    InstallDevices();
    OpenHandsetMixerControls(g_owner);
    g_closeAt = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    SetTimer(nullptr, 0, 100, Tick);

    DemoHost host;
    if (which == "about") {
        OpenAboutDialog(g_owner, host);
    } else if (which == "volume") {
        OpenVolumeDialog(g_owner, host);
    } else if (which == "advanced") {
        OpenAdvancedDialog(g_owner, host);
    } else if (which == "audio") {
        OpenAudioDeviceDialog(g_owner, host);
    } else {
        ShowMenu();
    }
    CloseHandsetMixerControls();
    DestroyWindow(g_owner);
    return g_reported ? 0 : 1;
}
