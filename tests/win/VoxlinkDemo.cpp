// voxlink_demo.exe: the main job's narrated run. Starts the Skype client
// simulator and the virtual handset in this process and the real Voxlink.exe
// beside them, then plays a short story: attach, an incoming call from a
// contact with a Chinese name, answer, the call timer, hang up, browse the
// contacts and dial one, a missed call. Prints each step, the texts
// exchanged with Skype and the handset's display as text art, and writes each
// display as a PNG file into the output folder (first argument, default
// "demo-output"). Exits 0 when every step behaved as expected, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "E2EHarness.h"

namespace {

using namespace voxtest;

class Demo {
public:
    explicit Demo(std::string folder) : folder_(std::move(folder)), rig_("demo") {
        CreateDirectoryA(folder_.c_str(), nullptr);
        // Where there is a notification area, the program runs with its
        // default tray icon.
        if (HasNotificationArea()) {
            rig_.program->Set("SYSTEM", "SupportSky", "1");
        }
        handsetsim::AsciiFont font;
        if (font.Load("Z:\\usr\\share\\unifont\\unifont.hex")) {
            rig_.handset->SetFont(font);
        }
    }

    // One narrated step: prints its title, runs it, prints the Skype texts
    // exchanged meanwhile, and says whether it behaved as expected.
    void Step(const std::string& title, const std::function<bool(std::string*)>& body) {
        ++step_;
        std::printf("\n== Step %d: %s\n", step_, title.c_str());
        const std::size_t shown = rig_.sim.Transcript().size();
        std::string problem;
        const bool ok = body(&problem);
        const std::vector<skypesim::TranscriptEntry> entries = rig_.sim.Transcript();
        int printed = 0;
        for (std::size_t i = shown; i < entries.size(); ++i) {
            const skypesim::TranscriptEntry& e = entries[i];
            if (e.direction != skypesim::Direction::kFromClient &&
                e.direction != skypesim::Direction::kToClient) {
                continue;
            }
            if (++printed > 40) {
                std::printf("   ... (%zu more texts)\n", entries.size() - i);
                break;
            }
            std::printf("   %s\n", skypesim::FormatEntry(e).c_str());
        }
        if (ok) {
            std::printf("   ok\n");
        } else {
            std::printf("   FAILED: %s\n", problem.c_str());
            ++failures_;
        }
    }

    // Prints the handset's display and saves it as a PNG file.
    void ShowDisplay(const std::string& name) {
        const std::string path = folder_ + "\\" + std::to_string(++frame_) + "-" + name + ".png";
        rig_.handset->SavePng(path, 3);
        std::printf("   Handset display (%s):\n%s%s", path.c_str(),
                    rig_.handset->DisplayText().c_str(), rig_.handset->DisplayArt().c_str());
    }

    int Run() {
        Step("Start skypesim, plug in the virtual handset, start Voxlink.exe: it attaches",
             [&](std::string* problem) {
                 if (!rig_.Boot("", problem)) {
                     return false;
                 }
                 std::printf(
                     "   Voxlink attached, loaded %d contacts and the call history, "
                     "the handset answered the link start\n",
                     4);
                 ShowDisplay("attached");
                 return true;
             });
        if (failures_ > 0) {
            return Finish();
        }

        Step("王小明 (wang.xiaoming) calls: the handset rings and shows the name",
             [&](std::string* problem) {
                 const std::size_t outputs = rig_.OutputCount();
                 const int transfers = rig_.handset->State().transfers;
                 std::string error;
                 if (!rig_.sim.Inject("ring from wang.xiaoming", &error)) {
                     *problem = error;
                     return false;
                 }
                 if (rig_.WaitForHandsetCommand(0x9E, outputs, 5000) < 0 ||
                     !rig_.handset->WaitForTransfers(transfers + 1, 10000)) {
                     *problem = "no ring command (0x9E) or no name transfer";
                     return false;
                 }
                 std::printf("   handset received 0x1A, 0x9E: ringing\n");
                 ShowDisplay("incoming-call");
                 if (!NameShowsGlyphs(rig_.handset->Screen(), {0x738B, 0x5C0F, 0x660E})) {
                     *problem = "the display does not show the glyphs of 王小明";
                     return false;
                 }
                 return true;
             });

        Step("Lift the handset: the call is answered and the timer runs",
             [&](std::string* problem) {
                 const std::size_t from = rig_.CommandCount();
                 if (!rig_.Press(0x1F) ||
                     !rig_.WaitForText("SET CALL   301 STATUS INPROGRESS", 3000, from)) {
                     *problem = "no SET CALL   301 STATUS INPROGRESS";
                     return false;
                 }
                 if (!PumpUntil([&] { return rig_.handset->State().callActive; }, 3000)) {
                     *problem = "the handset did not get 0x1F";
                     return false;
                 }
                 // Skype counts the seconds; the handset keeps its own timer
                 // and gets the call's length when it ends.
                 if (!PumpUntil(
                         [&] {
                             return rig_.sim.TranscriptText().find("CALL 301 DURATION 3") !=
                                    std::string::npos;
                         },
                         5000)) {
                     *problem = "Skype's call timer did not run";
                     return false;
                 }
                 return true;
             });

        Step("Put the handset down: the call ends and goes into the history",
             [&](std::string* problem) {
                 const std::size_t from = rig_.CommandCount();
                 if (!rig_.Press(0x20) || !rig_.WaitForText("GET CALL 301 TIMESTAMP", 5000, from)) {
                     *problem = "the call's details were not fetched after hanging up";
                     return false;
                 }
                 PumpUntil([&] { return !rig_.handset->State().callActive; }, 3000);
                 // The call's length comes to the display once it has ended.
                 if (!PumpUntil([&] { return !rig_.handset->Screen().timer.empty(); }, 4000)) {
                     *problem = "no call duration on the display";
                     return false;
                 }
                 ShowDisplay("call-ended");
                 return true;
             });

        Step("Browse the contacts on the handset and dial Bob Brown", [&](std::string* problem) {
            if (!rig_.Press(0x60)) {
                *problem = "the contact-list key was not acknowledged";
                return false;
            }
            for (int i = 0; i < 6; ++i) {
                if (!rig_.Press(0x62) || !rig_.PressForTransfer(0x6C)) {
                    *problem = "browsing or the list key failed";
                    return false;
                }
                ShowDisplay("contact-" + std::to_string(i + 1));
                std::string name = rig_.handset->Screen().NameText();
                name.erase(name.find_last_not_of(' ') + 1);
                if (name == "Bob Brown") {
                    const std::size_t from = rig_.CommandCount();
                    if (!rig_.Press(0x31) || !rig_.WaitForText("CALL bob.brown", 3000, from)) {
                        *problem = "no CALL bob.brown";
                        return false;
                    }
                    if (!PumpUntil([&] { return rig_.handset->State().callActive; }, 5000)) {
                        *problem = "Bob answered, but the handset did not get 0x1F";
                        return false;
                    }
                    PumpFor(1500);
                    const std::size_t end = rig_.CommandCount();
                    rig_.Press(0x20);
                    if (!rig_.WaitForText("GET CALL 302 TIMESTAMP", 5000, end) ||
                        !PumpUntil([&] { return !rig_.handset->Screen().timer.empty(); }, 4000)) {
                        *problem = "the outgoing call did not end";
                        return false;
                    }
                    ShowDisplay("call-to-bob-ended");
                    return true;
                }
            }
            *problem = "Bob Brown never came up in the contact list";
            return false;
        });

        Step("Alice Andersen calls and gives up: one missed call", [&](std::string* problem) {
            std::string error;
            const int transfers = rig_.handset->State().transfers;
            if (!rig_.sim.Inject("ring from alice.andersen", &error) ||
                !rig_.handset->WaitForTransfers(transfers + 1, 10000)) {
                *problem = "Alice's call did not reach the handset";
                return false;
            }
            ShowDisplay("alice-rings");
            PumpFor(1000);
            if (!rig_.sim.Inject("caller gives up", &error)) {
                *problem = error;
                return false;
            }
            if (!rig_.handset->WaitForDisplay("1 Missed Calls", 8000)) {
                *problem = "the display does not say 1 Missed Calls";
                return false;
            }
            ShowDisplay("missed-call");
            return true;
        });

        Step("Exit Voxlink from its tray menu's Exit command", [&](std::string* problem) {
            rig_.program->Exit();
            const long code = rig_.program->WaitForExit(10000);
            if (code != 0) {
                *problem = "exit code " + std::to_string(code);
                return false;
            }
            return rig_.handset->State().shutdown;
        });
        return Finish();
    }

private:
    int Finish() {
        std::printf("\nLCD frames written to %s\n", folder_.c_str());
        if (failures_ == 0) {
            std::printf("Demo finished: all %d steps behaved as expected.\n", step_);
            return 0;
        }
        std::printf("Demo finished: %d of %d steps FAILED. Voxlink's trace: %s\n", failures_, step_,
                    rig_.program->logPath.c_str());
        return 1;
    }

    std::string folder_;
    VoxlinkRig rig_;
    int step_ = 0;
    int frame_ = 0;
    int failures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    SetConsoleOutputCP(CP_UTF8);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Demo demo(argc > 1 ? argv[1] : "demo-output");
    return demo.Run();
}
