// The four dialogs, each driven while it is modal: the test opens it through a
// hidden owner window's WM_COMMAND (as the main window does) or directly, and a
// helper thread finds it by title and works its controls with the messages a
// user's clicks and keys produce. Mixer and wave devices are made up; the Sound
// Mapper settings are Wine's real registry.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Dialogs.h"
#include "FakeEndpoints.h"
#include "FakeMixer.h"
#include "HandsetAudio.h"
#include "HandsetMixers.h"
#include "Pause.h"
#include "SoundMapper.h"
#include "ThreadLabels.h"
#include "VoxlinkResources.h"
#include "VoxlinkVersion.h"

namespace {

using Clock = std::chrono::steady_clock;

class FakeHost : public IDialogHost {
public:
    bool GetAboutText(char* out, std::size_t size) override {
        if (aboutText.empty()) {
            strncpy(out, "stale", size);  // must not be shown
            return false;
        }
        strncpy(out, aboutText.c_str(), size);
        out[size - 1] = '\0';
        return true;
    }
    void FillRingList(HWND dialog, int comboId) override {
        for (const std::string& ring : rings) {
            SendDlgItemMessageA(dialog, comboId, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(ring.c_str()));
        }
        SendDlgItemMessageA(dialog, comboId, CB_SETCURSEL, 0, 0);
    }
    int GetRingIndex() override { return ringIndex; }
    void SetRingIndex(int index) override { ringIndex = index; }
    int GetSetting(Setting setting) override { return settings[static_cast<int>(setting)]; }
    void SetSetting(Setting setting, int value) override {
        settings[static_cast<int>(setting)] = value;
    }
    void SendHandsetCommand(unsigned char command) override { commands.push_back(command); }

    std::string aboutText;
    std::vector<std::string> rings{"Classic", "Bells", "Chirp"};
    std::atomic<int> ringIndex{0};
    std::atomic<int> settings[3] = {0, 0, 0};
    std::vector<unsigned char> commands;
};

FakeHost* g_host = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && g_host != nullptr &&
        HandleDialogCommand(window, LOWORD(wParam), *g_host)) {
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<unsigned> g_pauses;
void RecordPause(unsigned milliseconds) {
    g_pauses.push_back(milliseconds);
}

HWND WaitForDialog(const char* title, int timeoutMs = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        HWND dialog = FindWindowA("#32770", title);
        if (dialog != nullptr && IsWindowVisible(dialog)) {
            return dialog;
        }
        Sleep(20);
    }
    return nullptr;
}

bool WaitUntilGone(HWND dialog, int timeoutMs = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (!IsWindow(dialog)) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

int CountDialogs(const char* title) {
    struct Search {
        const char* title;
        int count;
    } search{title, 0};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            char text[128] = {};
            char cls[32] = {};
            GetWindowTextA(window, text, sizeof(text));
            GetClassNameA(window, cls, sizeof(cls));
            if (strcmp(cls, "#32770") == 0 && strcmp(text, s->title) == 0 &&
                IsWindowVisible(window)) {
                ++s->count;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

std::string ItemText(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

std::string ComboEntry(HWND combo, int index) {
    char text[256] = {};
    SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

int Selection(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

// The user's OK click and Escape key; both are posted, as input is.
void ClickOk(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}
void PressEscape(HWND dialog) {
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
}

// Moves a vertical track bar and tells the dialog, as a drag ending there does.
void DragTrackBar(HWND dialog, int id, int position) {
    HWND track = GetDlgItem(dialog, id);
    SendMessageA(track, TBM_SETPOS, TRUE, position);
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(track));
}

// Picks a combo box entry the way a user does: selection, then the notification.
void PickEntry(HWND dialog, int id, int index) {
    HWND combo = GetDlgItem(dialog, id);
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "DialogsTestOwner";
        RegisterClassA(&wc);
        owner = CreateWindowExA(0, "DialogsTestOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner, nullptr);
        g_host = &host;
        g_pauses.clear();
        SetPauseFunction(RecordPause);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSoundMapperKey);
    }
    void TearDown() override {
        SetPauseFunction(nullptr);
        CloseHandsetMixerControls();
        FakeMixer::Uninstall();
        FakeWave::Uninstall();
        RegDeleteKeyA(HKEY_CURRENT_USER, kSoundMapperKey);
        g_host = nullptr;
        DestroyWindow(owner);
        EXPECT_EQ(g_nVolumeDialogOpen, 0);
        EXPECT_EQ(g_nAdvancedDialogOpen, 0);
        EXPECT_EQ(g_nAudioDialogOpen, 0);
        EXPECT_EQ(g_hAudioWatchThread, nullptr);
    }

    // Opens a dialog on this thread; `drive` runs on a helper thread with the
    // dialog once it is shown and must end it. Returns what `open` returned.
    INT_PTR WhileModal(const char* title, const std::function<INT_PTR()>& open,
                       const std::function<void(HWND)>& drive) {
        std::thread helper([&] {
            HWND dialog = WaitForDialog(title);
            found = dialog != nullptr;
            if (dialog != nullptr) {
                drive(dialog);
                closed = WaitUntilGone(dialog);
            }
        });
        const INT_PTR result = open();
        helper.join();
        EXPECT_TRUE(found) << title << " was not shown";
        EXPECT_TRUE(closed) << title << " did not close";
        return result;
    }

    // Opens through the owner's WM_COMMAND, as the tray menu does.
    INT_PTR ByMenu(UINT command) {
        SendMessageA(owner, WM_COMMAND, command, 0);
        return 0;
    }

    static void SetSoundMapper(const char* playback, const char* record) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSoundMapperKey, &key), ERROR_SUCCESS);
        if (playback != nullptr) {
            RegSetValueExA(key, "Playback", 0, REG_SZ, reinterpret_cast<const BYTE*>(playback),
                           static_cast<DWORD>(strlen(playback) + 1));
        }
        if (record != nullptr) {
            RegSetValueExA(key, "Record", 0, REG_SZ, reinterpret_cast<const BYTE*>(record),
                           static_cast<DWORD>(strlen(record) + 1));
        }
        RegCloseKey(key);
    }

    static std::string SoundMapperText(const char* value) {
        char text[256] = {};
        DWORD size = sizeof(text);
        if (RegGetValueA(HKEY_CURRENT_USER, kSoundMapperKey, value, RRF_RT_REG_SZ, nullptr, text,
                         &size) != ERROR_SUCCESS) {
            return "<missing>";
        }
        return text;
    }

    HWND owner = nullptr;
    FakeHost host;
    std::atomic<bool> found{false};
    std::atomic<bool> closed{false};
};

// ---- About -----------------------------------------------------------------

TEST_F(DialogsTest, AboutShowsTheConfiguredTextBesideTheProgramIconAndTheVersionBelow) {
    host.aboutText = "Voxlink 2.1\r\nExample Telecom Ltd.";
    std::string text, version;
    bool hasIcon = false;
    const INT_PTR result = WhileModal(
        "About", [&] { return OpenAboutDialog(owner, host); },
        [&](HWND dialog) {
            text = ItemText(dialog, IDC_ABOUT_TEXT);
            version = ItemText(dialog, IDC_ABOUT_VERSION);
            hasIcon = SendDlgItemMessageA(dialog, IDC_ABOUT_ICON, STM_GETICON, 0, 0) != 0;
            ClickOk(dialog);
        });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(text, "Voxlink 2.1\r\nExample Telecom Ltd.");
    EXPECT_EQ(version, std::string("Version ") + VOXLINK_VERSION_TEXT);
    EXPECT_TRUE(hasIcon);
}

TEST_F(DialogsTest, AboutWithoutConfiguredTextIsEmptyAndEscapeEndsIt) {
    std::string text = "unread";
    const INT_PTR result = WhileModal(
        "About", [&] { return OpenAboutDialog(owner, host); },
        [&](HWND dialog) {
            text = ItemText(dialog, IDC_ABOUT_TEXT);
            PressEscape(dialog);
        });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(text, "");
}

// ---- Volume Control ----------------------------------------------------------

class VolumeDialogTest : public DialogsTest {
protected:
    void SetUp() override {
        DialogsTest::SetUp();
        // 31 steps of 2114 on both faders; speaker at 16 steps, microphone at 8.
        FakeDevice handset = FakeMixer::Handset();
        FakeControl& speaker = handset.destinations[0].controls[0];
        speaker.maximum = 31 * 2114;
        speaker.values = {16 * 2114, 16 * 2114};
        FakeControl& mic = handset.destinations[1].sources[0].controls[0];
        mic.maximum = 31 * 2114;
        mic.values = {8 * 2114};
        FakeMixer::Install({FakeMixer::SoundCard("Realtek HD Audio"), handset});
        OpenHandsetMixerControls(owner);
        ASSERT_TRUE(g_SpeakerVolume.IsOpen());
        ASSERT_TRUE(g_MicVolume.IsOpen());
    }
    static std::vector<DWORD> Speaker() {
        return FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                      MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 1)
            ->values;
    }
    static DWORD Mic() {
        return FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                      MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 1)
            ->values[0];
    }
};

TEST_F(VolumeDialogTest, TrackBarsShowTheFadersUpsideDownAndSetThemMicrophoneFirst) {
    int speakerPos = -1, micPos = -1, minPos = -1, maxPos = -1, openCount = -1;
    std::vector<DWORD> speakerAfterFirst;
    DWORD micAfterFirst = 0;
    std::vector<DWORD> speakerAfterSecond;
    const INT_PTR result = WhileModal(
        "Volume Control", [&] { return OpenVolumeDialog(owner, host); },
        [&](HWND dialog) {
            speakerPos =
                static_cast<int>(SendDlgItemMessageA(dialog, IDC_SPEAKER_LEVEL, TBM_GETPOS, 0, 0));
            micPos = static_cast<int>(SendDlgItemMessageA(dialog, IDC_MIC_LEVEL, TBM_GETPOS, 0, 0));
            minPos = static_cast<int>(
                SendDlgItemMessageA(dialog, IDC_SPEAKER_LEVEL, TBM_GETRANGEMIN, 0, 0));
            maxPos = static_cast<int>(
                SendDlgItemMessageA(dialog, IDC_SPEAKER_LEVEL, TBM_GETRANGEMAX, 0, 0));
            openCount = g_nVolumeDialogOpen;
            // Both moved before the dialog hears of it: the microphone goes first.
            SendDlgItemMessageA(dialog, IDC_SPEAKER_LEVEL, TBM_SETPOS, TRUE, 0);
            DragTrackBar(dialog, IDC_MIC_LEVEL, 10);
            speakerAfterFirst = Speaker();
            micAfterFirst = Mic();
            DragTrackBar(dialog, IDC_SPEAKER_LEVEL, 0);
            speakerAfterSecond = Speaker();
            ClickOk(dialog);
        });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(minPos, 0);
    EXPECT_EQ(maxPos, 31);
    EXPECT_EQ(speakerPos, 31 - 16);  // level 16 of 32
    EXPECT_EQ(micPos, 31 - 8);       // 8 steps of 31 read as level 8
    EXPECT_EQ(openCount, 1);
    EXPECT_EQ(micAfterFirst, 21u * 31 * 2114 / 32);
    EXPECT_EQ(speakerAfterFirst, (std::vector<DWORD>{16 * 2114, 16 * 2114}));
    // The top is level 31: 31 × 31 steps × 2114 ÷ 32 on both channels.
    EXPECT_EQ(speakerAfterSecond, (std::vector<DWORD>{63486, 63486}));
    EXPECT_EQ(g_nLastSpeakerLevel, 31);
    EXPECT_EQ(g_nLastMicLevel, 21);
    EXPECT_EQ(g_pauses, (std::vector<unsigned>{500}));
}

TEST_F(VolumeDialogTest, KeyboardOnTheTrackBarReachesTheFader) {
    std::vector<DWORD> speaker;
    WhileModal(
        "Volume Control", [&] { return OpenVolumeDialog(owner, host); },
        [&](HWND dialog) {
            // Home takes a track bar to its top; the track bar tells the dialog.
            HWND track = GetDlgItem(dialog, IDC_SPEAKER_LEVEL);
            PostMessageA(track, WM_KEYDOWN, VK_HOME, 0);
            PostMessageA(track, WM_KEYUP, VK_HOME, 0);
            const auto end = Clock::now() + std::chrono::seconds(2);
            while (Clock::now() < end && Speaker()[0] != 63486) {
                Sleep(10);
            }
            speaker = Speaker();
            PressEscape(dialog);
        });
    EXPECT_EQ(speaker, (std::vector<DWORD>{63486, 63486}));
}

TEST_F(VolumeDialogTest, AFaderAtFullScaleDoesNotTakeTheOtherTrackBarsMove) {
    // Full scale reads level 32, one above what the track bar can show.
    FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                           1)
        ->values = {31 * 2114};
    int micPos = -1;
    std::vector<DWORD> speaker;
    DWORD mic = 0;
    WhileModal(
        "Volume Control", [&] { return OpenVolumeDialog(owner, host); },
        [&](HWND dialog) {
            micPos = static_cast<int>(SendDlgItemMessageA(dialog, IDC_MIC_LEVEL, TBM_GETPOS, 0, 0));
            DragTrackBar(dialog, IDC_SPEAKER_LEVEL, 11);
            speaker = Speaker();
            mic = Mic();
            ClickOk(dialog);
        });
    EXPECT_EQ(micPos, 0);
    EXPECT_EQ(mic, 31u * 2114) << "the microphone was not touched";
    EXPECT_EQ(speaker, (std::vector<DWORD>{20u * 31 * 2114 / 32, 20u * 31 * 2114 / 32}));
}

TEST_F(VolumeDialogTest, OpeningItTwiceShowsOneDialogAndItOpensAgainAfterClosing) {
    int shown = 0;
    LRESULT secondOpenAnswered = 0;
    WhileModal(
        "Volume Control", [&] { return ByMenu(IDM_VOLUME_CONTROL); },
        [&](HWND dialog) {
            DWORD_PTR answer = 0;
            secondOpenAnswered = SendMessageTimeoutA(owner, WM_COMMAND, IDM_VOLUME_CONTROL, 0,
                                                     SMTO_NORMAL, 3000, &answer);
            Sleep(200);
            shown = CountDialogs("Volume Control");
            ClickOk(dialog);
        });
    EXPECT_NE(secondOpenAnswered, 0) << "the second open must not block";
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(g_nVolumeDialogOpen, 0);
    // Closed, it opens again.
    const INT_PTR again = WhileModal(
        "Volume Control", [&] { return OpenVolumeDialog(owner, host); }, PressEscape);
    EXPECT_EQ(again, IDCANCEL);
}

TEST_F(DialogsTest, VolumeWithoutTheHandsetMixerStandsAtTheBottomAndChangesNothing) {
    FakeMixer::Install({FakeMixer::SoundCard("Realtek HD Audio")});
    OpenHandsetMixerControls(owner);
    const std::vector<DWORD> before = FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                                             MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)
                                          ->values;
    int speakerPos = -1, micPos = -1;
    WhileModal(
        "Volume Control", [&] { return OpenVolumeDialog(owner, host); },
        [&](HWND dialog) {
            speakerPos =
                static_cast<int>(SendDlgItemMessageA(dialog, IDC_SPEAKER_LEVEL, TBM_GETPOS, 0, 0));
            micPos = static_cast<int>(SendDlgItemMessageA(dialog, IDC_MIC_LEVEL, TBM_GETPOS, 0, 0));
            DragTrackBar(dialog, IDC_SPEAKER_LEVEL, 0);
            DragTrackBar(dialog, IDC_MIC_LEVEL, 0);
            ClickOk(dialog);
        });
    EXPECT_EQ(speakerPos, 31);
    EXPECT_EQ(micPos, 31);
    EXPECT_EQ(FakeMixer::FindControl(MIXERCONTROL_CONTROLTYPE_VOLUME,
                                     MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)
                  ->values,
              before);
}

// ---- Advanced Settings -------------------------------------------------------

TEST_F(DialogsTest, AdvancedSettingsShowsTheSettingsAndEscapeKeepsTheChanges) {
    host.ringIndex = 2;
    host.settings[0] = 1;  // auto switch audio device
    host.settings[1] = 0;  // auto run Skype
    int ringShown = -1, entries = -1, openCount = -1;
    bool switchChecked = false, runChecked = true;
    bool switchVisible = true, ringVisible = true, runVisible = false;
    std::vector<unsigned char> commandsBeforePick;
    int indexAfterPick = -1;
    const INT_PTR result = WhileModal(
        "Advanced Settings", [&] { return OpenAdvancedDialog(owner, host); },
        [&](HWND dialog) {
            ringShown = Selection(dialog, IDC_RING_SELECTION);
            entries = static_cast<int>(
                SendDlgItemMessageA(dialog, IDC_RING_SELECTION, CB_GETCOUNT, 0, 0));
            switchChecked = IsDlgButtonChecked(dialog, IDC_AUTO_SWITCH_AUDIO) == BST_CHECKED;
            runChecked = IsDlgButtonChecked(dialog, IDC_AUTO_RUN_SKYPE) == BST_CHECKED;
            switchVisible = IsWindowVisible(GetDlgItem(dialog, IDC_AUTO_SWITCH_AUDIO));
            ringVisible = IsWindowVisible(GetDlgItem(dialog, IDC_RING_SELECTION));
            runVisible = IsWindowVisible(GetDlgItem(dialog, IDC_AUTO_RUN_SKYPE));
            openCount = g_nAdvancedDialogOpen;
            // A click on the visible check box; the hidden one changed by message.
            SendDlgItemMessageA(dialog, IDC_AUTO_RUN_SKYPE, BM_CLICK, 0, 0);
            SendDlgItemMessageA(dialog, IDC_AUTO_SWITCH_AUDIO, BM_SETCHECK, BST_UNCHECKED, 0);
            commandsBeforePick = host.commands;
            PickEntry(dialog, IDC_RING_SELECTION, 1);
            indexAfterPick = host.ringIndex;
            PressEscape(dialog);
        });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(entries, 3);
    EXPECT_EQ(ringShown, 2) << "the ring chosen earlier is selected again";
    EXPECT_TRUE(switchChecked);
    EXPECT_FALSE(runChecked);
    EXPECT_FALSE(switchVisible);
    EXPECT_FALSE(ringVisible);
    EXPECT_TRUE(runVisible);
    EXPECT_EQ(openCount, 1);
    EXPECT_TRUE(commandsBeforePick.empty());
    EXPECT_EQ(indexAfterPick, 1);
    EXPECT_EQ(host.commands, (std::vector<unsigned char>{0x2D}));
    // Escape kept both changes.
    EXPECT_EQ(host.settings[1], 1);
    EXPECT_EQ(host.settings[0], 0);
}

TEST_F(DialogsTest, AdvancedSettingsOkWithoutChangesKeepsTheSettingsAndSendsNothing) {
    host.settings[0] = 0;
    host.settings[1] = 1;
    const INT_PTR result = WhileModal(
        "Advanced Settings", [&] { return OpenAdvancedDialog(owner, host); }, ClickOk);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(host.settings[0], 0);
    EXPECT_EQ(host.settings[1], 1);
    EXPECT_TRUE(host.commands.empty());
    EXPECT_EQ(host.ringIndex, 0);
}

// ---- Audio Device Settings -----------------------------------------------------

class AudioDialogTest : public DialogsTest {
protected:
    void SetUp() override {
        DialogsTest::SetUp();
        FakeWave::Install(2, {"Realtek HD Audio", "USB Audio Handset"});
    }
    // A handle of the running watcher, kept past the dialog's own.
    static HANDLE KeepWatcher() {
        HANDLE copy = nullptr;
        if (g_hAudioWatchThread != nullptr) {
            DuplicateHandle(GetCurrentProcess(), g_hAudioWatchThread, GetCurrentProcess(), &copy,
                            SYNCHRONIZE, FALSE, 0);
        }
        return copy;
    }
};

TEST_F(AudioDialogTest, ListsFollowWindowsChoiceAndOkAppliesTheUsersChoice) {
    SetSoundMapper("USB Audio Handset", "Realtek HD Audio");
    host.settings[2] = 1;
    std::vector<std::string> speakers, mics;
    int speakerShown = -1, micShown = -1, openCount = -1;
    bool autoChecked = false;
    HANDLE watcher = nullptr;
    std::string watcherLabel;
    long long followedMs = -1;
    int micAfterUnlisted = -1;
    WhileModal(
        "Audio Device Settings", [&] { return ByMenu(IDM_AUDIO_DEVICE_SETTINGS); },
        [&](HWND dialog) {
            HWND speaker = GetDlgItem(dialog, IDC_SPEAKER_DEVICE);
            HWND mic = GetDlgItem(dialog, IDC_MIC_DEVICE);
            for (int i = 0; i < SendMessageA(speaker, CB_GETCOUNT, 0, 0); ++i) {
                speakers.push_back(ComboEntry(speaker, i));
            }
            for (int i = 0; i < SendMessageA(mic, CB_GETCOUNT, 0, 0); ++i) {
                mics.push_back(ComboEntry(mic, i));
            }
            speakerShown = Selection(dialog, IDC_SPEAKER_DEVICE);
            micShown = Selection(dialog, IDC_MIC_DEVICE);
            autoChecked = IsDlgButtonChecked(dialog, IDC_AUTO_SWITCH_SYSTEM_AUDIO) == BST_CHECKED;
            openCount = g_nAudioDialogOpen;
            watcher = KeepWatcher();
            // Windows' choice changes elsewhere: the speaker list follows; a
            // device the list does not hold leaves the microphone list alone.
            Sleep(300);
            const auto changed = Clock::now();
            SetSoundMapper("Realtek HD Audio", "Unplugged Headset");
            while (Clock::now() - changed < std::chrono::seconds(3) &&
                   Selection(dialog, IDC_SPEAKER_DEVICE) != 0) {
                Sleep(10);
            }
            if (Selection(dialog, IDC_SPEAKER_DEVICE) == 0) {
                followedMs =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - changed)
                        .count();
            }
            watcherLabel = voxtest::ThreadLabelOf(g_hAudioWatchThread);
            Sleep(1200);
            micAfterUnlisted = Selection(dialog, IDC_MIC_DEVICE);
            // The user's own choice, then OK.
            PickEntry(dialog, IDC_MIC_DEVICE, 1);
            SendDlgItemMessageA(dialog, IDC_AUTO_SWITCH_SYSTEM_AUDIO, BM_CLICK, 0, 0);
            ClickOk(dialog);
        });
    EXPECT_EQ(speakers, (std::vector<std::string>{"Realtek HD Audio", "USB Audio Handset"}));
    EXPECT_EQ(mics, speakers);
    EXPECT_EQ(speakerShown, 1);
    EXPECT_EQ(micShown, 0);
    EXPECT_TRUE(autoChecked);
    EXPECT_EQ(openCount, 1);
    ASSERT_NE(watcher, nullptr) << "the watcher runs while the dialog is open";
    EXPECT_EQ(watcherLabel, "Dialogs -> Hsd_Timer2CheckingAudioDevice") << "for crash reports";
    EXPECT_GE(followedMs, 0) << "the speaker list did not follow the registry";
    EXPECT_LE(followedMs, 2000);
    std::printf("speaker list followed the registry after %lld ms\n", followedMs);
    EXPECT_EQ(micAfterUnlisted, 0);
    EXPECT_EQ(SoundMapperText("Playback"), "Realtek HD Audio");
    EXPECT_EQ(SoundMapperText("Record"), "USB Audio Handset");
    EXPECT_EQ(host.settings[2], 0);
    // The watcher had ended before the dialog was gone.
    EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_OBJECT_0);
    CloseHandle(watcher);
}

TEST_F(AudioDialogTest, OnTheEndpointsTheListsAreThePlaybackAndRecordingEndpoints) {
    const std::string container = "{6A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9}";
    FakeEndpoints::Install(
        {{L"card.out", eRender, L"Speakers (Realtek Audio)", ""},
         {L"handset.out", eRender, L"Speakers (Telephone Handset)", container},
         {L"card.in", eCapture, L"Microphone (Realtek Audio)", ""},
         {L"handset.in", eCapture, L"Microphone (Telephone Handset)", container}});
    OpenHandsetAudio(owner, container);
    SetSoundMapper("Speakers (Telephone Handset)", "USB Audio Handset");
    std::vector<std::string> speakers, mics;
    int speakerShown = -1, micShown = -1;
    WhileModal(
        "Audio Device Settings", [&] { return OpenAudioDeviceDialog(owner, host); },
        [&](HWND dialog) {
            HWND speaker = GetDlgItem(dialog, IDC_SPEAKER_DEVICE);
            HWND mic = GetDlgItem(dialog, IDC_MIC_DEVICE);
            for (int i = 0; i < SendMessageA(speaker, CB_GETCOUNT, 0, 0); ++i) {
                speakers.push_back(ComboEntry(speaker, i));
            }
            for (int i = 0; i < SendMessageA(mic, CB_GETCOUNT, 0, 0); ++i) {
                mics.push_back(ComboEntry(mic, i));
            }
            speakerShown = Selection(dialog, IDC_SPEAKER_DEVICE);
            micShown = Selection(dialog, IDC_MIC_DEVICE);
            PickEntry(dialog, IDC_MIC_DEVICE, 1);
            ClickOk(dialog);
        });
    CloseHandsetAudio();
    FakeEndpoints::Uninstall();
    EXPECT_EQ(speakers, (std::vector<std::string>{"Speakers (Realtek Audio)",
                                                  "Speakers (Telephone Handset)"}));
    EXPECT_EQ(mics, (std::vector<std::string>{"Microphone (Realtek Audio)",
                                              "Microphone (Telephone Handset)"}));
    EXPECT_EQ(speakerShown, 1);
    EXPECT_EQ(micShown, 0);  // a wave device's name is not an endpoint's
    EXPECT_EQ(SoundMapperText("Record"), "Microphone (Telephone Handset)");
}

TEST_F(AudioDialogTest, WithoutWaveDevicesTheListsSayNoSpeakerAndNoMicAndNothingIsWritten) {
    FakeWave::Install(0, {});
    SetSoundMapper("Somewhere", "Elsewhere");
    std::string speaker, mic;
    int speakerCount = -1, micCount = -1;
    const INT_PTR result = WhileModal(
        "Audio Device Settings", [&] { return OpenAudioDeviceDialog(owner, host); },
        [&](HWND dialog) {
            speaker = ItemText(dialog, IDC_SPEAKER_DEVICE);
            mic = ItemText(dialog, IDC_MIC_DEVICE);
            speakerCount = static_cast<int>(
                SendDlgItemMessageA(dialog, IDC_SPEAKER_DEVICE, CB_GETCOUNT, 0, 0));
            micCount =
                static_cast<int>(SendDlgItemMessageA(dialog, IDC_MIC_DEVICE, CB_GETCOUNT, 0, 0));
            PressEscape(dialog);
        });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(speaker, "No Speaker");
    EXPECT_EQ(mic, "No MIC");
    EXPECT_EQ(speakerCount, 1);
    EXPECT_EQ(micCount, 1);
    EXPECT_EQ(SoundMapperText("Playback"), "Somewhere");
    EXPECT_EQ(SoundMapperText("Record"), "Elsewhere");
}

TEST_F(AudioDialogTest, WithoutTheSettingsKeyItStaysOpenUntilTheKeyExistsAndEscapeApplies) {
    int speakerShown = -1, micShown = -1;
    bool stillOpen = false;
    int openWhileStuck = -1;
    HANDLE watcher = nullptr;
    const INT_PTR result = WhileModal(
        "Audio Device Settings", [&] { return OpenAudioDeviceDialog(owner, host); },
        [&](HWND dialog) {
            speakerShown = Selection(dialog, IDC_SPEAKER_DEVICE);
            micShown = Selection(dialog, IDC_MIC_DEVICE);
            watcher = KeepWatcher();
            PickEntry(dialog, IDC_SPEAKER_DEVICE, 1);
            ClickOk(dialog);
            Sleep(300);
            stillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
            openWhileStuck = g_nAudioDialogOpen;
            SetSoundMapper(nullptr, nullptr);
            PressEscape(dialog);
        });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(speakerShown, 0);
    EXPECT_EQ(micShown, 0);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(openWhileStuck, 1);
    EXPECT_EQ(SoundMapperText("Playback"), "USB Audio Handset");
    EXPECT_EQ(SoundMapperText("Record"), "Realtek HD Audio");
    if (watcher != nullptr) {
        EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_OBJECT_0);
        CloseHandle(watcher);
    }
}

TEST_F(AudioDialogTest, ClosingRightAfterOpeningStopsTheWatcherAtOnceEveryTime) {
    SetSoundMapper("USB Audio Handset", "Realtek HD Audio");
    for (int round = 0; round < 3; ++round) {
        HANDLE watcher = nullptr;
        long long closingMs = -1;
        WhileModal(
            "Audio Device Settings", [&] { return OpenAudioDeviceDialog(owner, host); },
            [&](HWND dialog) {
                watcher = KeepWatcher();
                SetSoundMapper(round % 2 ? "USB Audio Handset" : "Realtek HD Audio", nullptr);
                const auto start = Clock::now();
                ClickOk(dialog);
                WaitUntilGone(dialog);
                closingMs =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                        .count();
            });
        ASSERT_NE(watcher, nullptr);
        EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_OBJECT_0) << "round " << round;
        CloseHandle(watcher);
        EXPECT_LT(closingMs, 900) << "closing must not wait out the watcher's second";
    }
}

// The watcher may be inside a SendMessage to the dialog's thread when the user
// closes the dialog: it must still have ended before the dialog is destroyed.
constexpr UINT kStallMessage = WM_APP + 77;
std::atomic<HANDLE> g_watcherToCheck{nullptr};
std::atomic<int> g_watcherEndedAtDestroy{-1};

LRESULT CALLBACK StallHook(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == kStallMessage) {
        Sleep(1300);  // longer than a watch period: the watcher blocks in SendMessage
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK DestroyHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_DESTROYWND) {
        char title[64] = {};
        GetWindowTextA(reinterpret_cast<HWND>(wParam), title, sizeof(title));
        if (strcmp(title, "Audio Device Settings") == 0 && g_watcherToCheck != nullptr) {
            g_watcherEndedAtDestroy =
                WaitForSingleObject(g_watcherToCheck, 0) == WAIT_OBJECT_0 ? 1 : 0;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(AudioDialogTest, TheWatcherHasEndedBeforeTheDialogIsDestroyedEvenWhenItWasSendingToIt) {
    SetSoundMapper("USB Audio Handset", "Realtek HD Audio");
    g_watcherEndedAtDestroy = -1;
    HHOOK stall = SetWindowsHookExA(WH_GETMESSAGE, StallHook, nullptr, GetCurrentThreadId());
    HHOOK destroy = SetWindowsHookExA(WH_CBT, DestroyHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(stall, nullptr);
    ASSERT_NE(destroy, nullptr);
    WhileModal(
        "Audio Device Settings", [&] { return OpenAudioDeviceDialog(owner, host); },
        [&](HWND dialog) {
            g_watcherToCheck = KeepWatcher();
            Sleep(300);  // the watcher's first pass is done
            SetSoundMapper("Realtek HD Audio", nullptr);
            // The dialog's thread is busy, then the user clicks OK at once.
            PostMessageA(dialog, kStallMessage, 0, 0);
            ClickOk(dialog);
        });
    UnhookWindowsHookEx(stall);
    UnhookWindowsHookEx(destroy);
    EXPECT_EQ(g_watcherEndedAtDestroy, 1) << "the watcher outlived its dialog";
    // The user's choice (the handset) was applied, not the watcher's late one.
    EXPECT_EQ(SoundMapperText("Playback"), "USB Audio Handset");
    CloseHandle(g_watcherToCheck.exchange(nullptr));
}

TEST_F(DialogsTest, TheOwnerPassesOtherCommandsOn) {
    EXPECT_FALSE(HandleDialogCommand(owner, IDM_EXIT, host));
    EXPECT_FALSE(HandleDialogCommand(owner, 40003, host));
}

// --- keyboard and screen readers --------------------------------------------------

INT_PTR CALLBACK InertDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Every control the Tab key reaches has a name a screen reader can read (its
// own text, or the label just before it), access keys do not clash, and Enter
// is OK.
TEST(DialogTemplates, EveryControlIsNamedAndReachedFromTheKeyboard) {
    InitCommonControls();
    for (int id :
         {IDD_ABOUT, IDD_VOLUME_CONTROL, IDD_ADVANCED_SETTINGS, IDD_AUDIO_DEVICE_SETTINGS}) {
        SCOPED_TRACE(id);
        HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                         InertDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0)), IDOK);
        std::string label;  // the text of the last visible static
        std::string accessKeys;
        int tabStops = 0;
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            const LONG style = GetWindowLongA(child, GWL_STYLE);
            if ((style & WS_VISIBLE) == 0) {
                continue;
            }
            const std::string text = WindowText(child);
            const std::size_t amp = text.find('&');
            if (amp != std::string::npos && amp + 1 < text.size()) {
                const char key = static_cast<char>(std::toupper(text[amp + 1]));
                EXPECT_EQ(accessKeys.find(key), std::string::npos) << "access key " << key;
                accessKeys += key;
            }
            char kind[32] = {};
            GetClassNameA(child, kind, sizeof kind);
            if (lstrcmpiA(kind, "Static") == 0) {
                label = text;
                continue;
            }
            if ((style & WS_TABSTOP) == 0) {
                continue;
            }
            ++tabStops;
            const bool ownText = lstrcmpiA(kind, "Button") == 0;
            EXPECT_FALSE((ownText ? text : label).empty()) << kind << " without a name";
            label.clear();
        }
        // Tab goes round every one of them.
        int reached = 0;
        HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
        for (HWND item = first; item != nullptr && reached <= tabStops;) {
            ++reached;
            item = GetNextDlgTabItem(dialog, item, FALSE);
            if (item == first) {
                break;
            }
        }
        EXPECT_EQ(reached, tabStops);
        DestroyWindow(dialog);
    }
}

}  // namespace
