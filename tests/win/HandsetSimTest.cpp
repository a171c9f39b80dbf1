// The virtual handset itself: its LCD decoder and renderers, the MCU's
// answers, and handsetsim.exe driven by a script from another process.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HandsetSim.h"
#include "HidTestSupport.h"
#include "HsdHIDCtrl.h"
#include "Lcd.h"
#include "VirtualDevice.h"

namespace {

using namespace handsetsim;

// The balance glyph of the font library: a currency sign.
const std::uint8_t kEuroGlyph[32] = {
    0x00, 0x00, 0x00, 0x40, 0xF0, 0x48, 0x44, 0x44, 0x44, 0x44, 0x44, 0x48, 0x1C, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x02, 0x0F, 0x12, 0x22, 0x22, 0x22, 0x22, 0x22, 0x12, 0x08, 0x00, 0x00, 0x00};

// The same glyph drawn by hand from its bytes (page 0 = rows 0-7, bit 0 on top).
const char* const kEuroPicture[16] = {
    "................", "................", "......#####.#...", ".....#.....##...",
    "....#.......#...", "....#...........", "...#########....", "....#...........",
    "....#...........", "...#########....", "....#...........", "....#.......#...",
    ".....#.....#....", "......#####.....", "................", "................"};

void FeedText(LcdDecoder& lcd, const std::string& text) {
    int phase = 0;
    for (char c : text) {
        lcd.Feed(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(phase));
        phase = phase == 0 ? 5 : 0;
    }
}

void FeedGlyph(LcdDecoder& lcd, const std::uint8_t* glyph, int size) {
    for (int i = 0; i < size; ++i) {
        lcd.Feed(glyph[i], i % 2 ? 5 : 0);
    }
}

TEST(LcdDecoder, CallEntryWithDoubleByteGlyphRendersToTheExpectedPicture) {
    LcdDecoder lcd;
    lcd.Begin();
    lcd.Feed(0x6D, 0x0A);
    lcd.Feed(0x81, 0x0A);
    FeedText(lcd, "0:35");
    lcd.Feed(0x80, 0x0A);
    FeedText(lcd, "12/07");
    lcd.Feed(0x70, 0x0A);
    FeedText(lcd, "Bo");
    lcd.Feed(0x71, 0x0A);
    FeedGlyph(lcd, kEuroGlyph, 32);
    FeedGlyph(lcd, kEuroGlyph, 32);
    EXPECT_EQ(lcd.CompletedTransfers(), 0);
    EXPECT_TRUE(lcd.Feed(0x1A, 0x0A));

    const LcdScreen& screen = lcd.Shown();
    EXPECT_TRUE(screen.anomalies.empty()) << screen.anomalies.front();
    EXPECT_EQ(screen.NameUnits(), 6);
    EXPECT_EQ(RenderText(screen),
              "+--------------------------------+\n"
              "|MISSED 0:35 12/07               |\n"
              "|Bo####                          |\n"
              "+--------------------------------+\n");
    std::printf("%s%s", RenderText(screen).c_str(), RenderArt(screen, AsciiFont{}).c_str());
    std::istringstream art(RenderArt(screen, AsciiFont{}));
    std::string row;
    for (int y = 0; y < 16; ++y) {
        ASSERT_TRUE(std::getline(art, row));
        ASSERT_EQ(row.size(), 48u);
        EXPECT_EQ(row.substr(16, 16), kEuroPicture[y]) << "row " << y;
        EXPECT_EQ(row.substr(32, 16), kEuroPicture[y]) << "row " << y;
    }
}

TEST(LcdDecoder, GlyphRowsConvertToTheLcdLayout) {
    std::vector<std::uint8_t> rows;
    for (int y = 0; y < 16; ++y) {
        std::uint8_t hi = 0;
        std::uint8_t lo = 0;
        for (int x = 0; x < 16; ++x) {
            if (kEuroPicture[y][x] == '#') {
                (x < 8 ? hi : lo) |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        rows.push_back(hi);
        rows.push_back(lo);
    }
    EXPECT_EQ(GlyphFromRows(rows, 16), std::vector<std::uint8_t>(kEuroGlyph, kEuroGlyph + 32));
}

TEST(LcdDecoder, LatinRunsNoticesTimersAndBrokenStreams) {
    LcdDecoder lcd;
    lcd.Begin();
    lcd.Feed(0x00, 0x4F);
    lcd.Feed(0x83, 0x0A);
    FeedText(lcd, "00:01:05");
    lcd.Feed(0x1A, 0x0A);
    EXPECT_TRUE(lcd.Shown().notice);
    EXPECT_EQ(lcd.Shown().timer, "00:01:05");

    // A, a Latin glyph (its phase runs on across the 16 bytes), B.
    lcd.Begin();
    lcd.Feed(0x70, 0x0A);
    lcd.Feed('A', 0);
    lcd.Feed(0xDE, 0x0A);
    for (int i = 0; i < 16; ++i) {
        lcd.Feed(static_cast<std::uint8_t>(i == 3 ? 0xFF : 0), i % 2 ? 5 : 0);
    }
    lcd.Feed(0x70, 0x0A);
    lcd.Feed('B', 0);
    lcd.Feed(0x1A, 0x0A);
    EXPECT_EQ(lcd.Shown().NameText(), "A#B");
    EXPECT_TRUE(lcd.Shown().anomalies.empty());
    EXPECT_TRUE(GlyphPixel(lcd.Shown().name[1].glyph.data(), 8, 3, 0));
    EXPECT_FALSE(GlyphPixel(lcd.Shown().name[1].glyph.data(), 8, 3, 8));

    // A lost report shows as a phase out of step, a cut glyph as an anomaly.
    lcd.Begin();
    lcd.Feed(0x70, 0x0A);
    lcd.Feed('x', 0);
    lcd.Feed('y', 0);
    lcd.Feed(0x71, 0x0A);
    FeedGlyph(lcd, kEuroGlyph, 10);
    lcd.Feed(0x1A, 0x0A);
    EXPECT_EQ(lcd.Shown().anomalies.size(), 2u);
    EXPECT_EQ(lcd.Shown().NameText(), "xy");
}

TEST(LcdImages, AsciiFontFromAUnifontHexFile) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "voxlink-test-font.hex";
    {
        std::ofstream out(path);
        // 'A': rows 6-7 "...##...", "..#..#..", rows 11-13 ".#....#." and so on.
        out << "0041:0000000018242442427E424242420000\n"
               "4E00:00000000000000000000FFFE00000000000000000000000000000000000000\n";
    }
    AsciiFont font;
    ASSERT_TRUE(font.Load(path));
    DeleteFileA(path.c_str());
    const std::uint8_t* a = &font.glyphs[0x41 * 16];
    EXPECT_TRUE(GlyphPixel(a, 8, 3, 4));
    EXPECT_TRUE(GlyphPixel(a, 8, 4, 4));
    EXPECT_FALSE(GlyphPixel(a, 8, 2, 4));
    EXPECT_TRUE(GlyphPixel(a, 8, 1, 9));  // the bar 0x7E
    EXPECT_TRUE(GlyphPixel(a, 8, 6, 9));
    EXPECT_FALSE(GlyphPixel(a, 8, 0, 9));
    EXPECT_FALSE(GlyphPixel(&font.glyphs[0x42 * 16], 8, 3, 4)) << "absent glyphs are blank";

    LcdScreen screen;
    LcdCell cell;
    cell.code = 'A';
    screen.name.push_back(cell);
    std::istringstream art(RenderArt(screen, font));
    std::vector<std::string> rows;
    for (std::string row; std::getline(art, row);) {
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(rows[4], "...##...");
    EXPECT_EQ(rows[9], ".######.");
}

TEST(LcdImages, PbmAndPngHaveTheLcdSize) {
    LcdScreen screen;
    LcdCell cell;
    cell.kind = CellKind::Wide;
    std::copy(kEuroGlyph, kEuroGlyph + 32, cell.glyph.begin());
    screen.name.push_back(cell);
    const Bitmap bitmap = RenderBitmap(screen, AsciiFont{});
    EXPECT_EQ(bitmap.width, 256);
    EXPECT_EQ(bitmap.height, 32);
    EXPECT_EQ(bitmap.dark[static_cast<std::size_t>((16 + 6) * 256 + 3)], 1);
    EXPECT_EQ(bitmap.dark[static_cast<std::size_t>((16 + 6) * 256 + 2)], 0);
    EXPECT_EQ(EncodePbm(bitmap).rfind("P1\n256 32\n", 0), 0u);

    const std::vector<std::uint8_t> png = EncodePng(bitmap, 2);
    ASSERT_GT(png.size(), 33u + 12u);
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin(), png.begin() + 8),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
    EXPECT_EQ(png[16 + 2], 0x02);  // width 512
    EXPECT_EQ(png[16 + 3], 0x00);
    EXPECT_EQ(png[20 + 3], 64);  // height 64
    // The IEND chunk and its well-known CRC close the file.
    EXPECT_EQ(std::vector<std::uint8_t>(png.end() - 8, png.end()),
              (std::vector<std::uint8_t>{'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
}

std::string UniquePipe() {
    static std::atomic<int> counter{0};
    return "\\\\.\\pipe\\voxlink-simtest-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

struct Connected {
    explicit Connected(VirtualHandsetOptions options) : handset(options) {
        handset.Plug();
        hid.OpenDevice(0xFFFF, 0x1800);
    }
    ~Connected() { hid.CloseDevice(); }
    VirtualHandset handset;
    CHsdHIDCtrl hid;
};

VirtualHandsetOptions Quiet() {
    VirtualHandsetOptions options;
    options.pipePath = UniquePipe();
    options.broadcastDeviceChange = false;
    return options;
}

TEST(VirtualHandsetMcu, CallStateCommandsBecomeReadableState) {
    Connected c(Quiet());
    ASSERT_TRUE(c.hid.IsOpen());
    SetHidTraceSink([](const char*) {});
    c.hid.SendCommand(0x1A);
    c.hid.SendCommand(0x9E);
    c.hid.SendCommand(0x2F);
    c.hid.SendCommand(0x76);
    c.hid.EnableMixerControl();
    ASSERT_TRUE(c.handset.WaitForOutputs(5, 5000));
    HandsetState s = c.handset.State();
    EXPECT_TRUE(s.ringing);
    EXPECT_TRUE(s.noList);
    EXPECT_TRUE(s.muted);
    EXPECT_EQ(s.userStatusCommand, 0x76);
    EXPECT_TRUE(s.mixerEnabled);
    c.hid.SendCommand(0x1F);
    c.hid.SendCommand(0x2E);
    ASSERT_TRUE(c.handset.WaitForOutputs(7, 5000));
    s = c.handset.State();
    EXPECT_FALSE(s.ringing);
    EXPECT_TRUE(s.callActive);
    EXPECT_FALSE(s.muted);
    c.hid.SendCommand(0x20);
    c.hid.SendCommand(0x07);
    ASSERT_TRUE(c.handset.WaitForOutputs(9, 5000));
    s = c.handset.State();
    EXPECT_FALSE(s.callActive);
    EXPECT_TRUE(s.shutdown);
    SetHidTraceSink(nullptr);
}

TEST(VirtualHandsetMcu, SequencesRepeatsAcknowledgementsAndRefusedHandshakes) {
    Connected c(Quiet());
    SetHidTraceSink([](const char*) {});
    EXPECT_EQ(c.handset.PressKey(0xB1), 0);
    EXPECT_EQ(c.handset.PressKey(0xB2), 1);
    EXPECT_TRUE(c.handset.RepeatLastKey());
    EXPECT_EQ(c.handset.PressKey(0xB3), 2);
    EXPECT_EQ(c.handset.PressKey(0xB4), 3);
    EXPECT_EQ(c.handset.PressKey(0xB5), 0) << "sequence numbers wrap after 3";

    // 0x32 acknowledges key 2 as not handled; 0x51 with nothing outstanding is no ack.
    c.hid.SendCommand(0x32);
    EXPECT_TRUE(c.handset.WaitForAcknowledgement(2, 5000));
    EXPECT_FALSE(c.handset.Acknowledgements().back().handled);
    c.hid.SendCommand(0x50);
    EXPECT_TRUE(c.handset.WaitForAcknowledgement(0, 5000));
    c.hid.SendCommand(0x50);
    c.hid.SendCommand(0x1F);
    ASSERT_TRUE(c.handset.WaitForOutputs(4, 5000));
    EXPECT_EQ(c.handset.Acknowledgements().size(), 2u) << "one acknowledgement per key";

    // A transfer announced and refused ends without touching the display.
    c.hid.SendCommand(0x3E);
    c.hid.SendCommand(0x24);
    ASSERT_TRUE(c.handset.WaitForOutputs(6, 5000));
    EXPECT_EQ(c.handset.State().handshakesSent, 1);
    EXPECT_EQ(c.handset.State().handshakesRefused, 1);
    EXPECT_EQ(c.handset.Screen().NameText(), "");

    // An announced transfer that never starts: the next command is a command.
    c.hid.SendCommand(0x3F);
    c.hid.SendCommand(0x9E);
    ASSERT_TRUE(c.handset.WaitForOutputs(8, 5000));
    EXPECT_TRUE(c.handset.State().ringing);
    EXPECT_EQ(c.handset.State().handshakesSent, 2);

    // An acknowledgement among the items of a transfer: its phase gives it away.
    const int key = c.handset.PressKey(0x61);
    c.hid.SendCommand(0x3E);
    c.hid.SendCommandData(0x6B, 0x0A);
    c.hid.SendCommandData(0x70, 0x0A);
    c.hid.SendCommandData('Z', 0);
    c.hid.SendCommand(static_cast<unsigned char>(0x50 | key));
    c.hid.SendCommandData('e', 5);
    c.hid.SendCommandData(0x1A, 0x0A);
    ASSERT_TRUE(c.handset.WaitForTransfers(1, 5000));
    EXPECT_TRUE(c.handset.WaitForAcknowledgement(key, 1000));
    EXPECT_EQ(c.handset.Screen().NameText(), "Ze");
    EXPECT_TRUE(c.handset.Screen().anomalies.empty());
    SetHidTraceSink(nullptr);
}

TEST(VirtualHandsetMcu, UnplugForgetsAHalfTransfer) {
    VirtualHandsetOptions options = Quiet();
    VirtualHandset handset(options);
    SetHidTraceSink([](const char*) {});
    {
        ASSERT_TRUE(handset.Plug());
        CHsdHIDCtrl hid;
        ASSERT_EQ(hid.OpenDevice(0xFFFF, 0x1800), 0);
        hid.SendCommand(0x3F);
        hid.SendCommandData(0x6A, 0x0A);
        hid.SendCommandData(0x71, 0x0A);
        hid.SendCommandData(0x12, 0);
        ASSERT_TRUE(handset.WaitForOutputs(4, 5000));
        handset.Unplug();
        hid.CloseDevice();
    }
    // After the next plug the link start is a command again, not glyph bytes.
    ASSERT_TRUE(handset.Plug());
    CHsdHIDCtrl hid;
    ASSERT_EQ(hid.OpenDevice(0xFFFF, 0x1800), 0);
    hid.SendCommand(0x51);
    hid.SendCommand(0x06);
    ASSERT_TRUE(handset.WaitForOutputs(6, 5000));
    EXPECT_EQ(handset.State().linkStarts, 1);
    EXPECT_EQ(handset.State().transfers, 0);
    hid.CloseDevice();
    handset.Unplug();
    SetHidTraceSink(nullptr);
}

TEST(VirtualHandsetMcu, RegisterReadIsAnsweredWithAnInputReport) {
    Connected c(Quiet());
    SetHidTraceSink([](const char*) {});
    c.hid.HSD_SetMixerRegControl(0x04, 0x12, 0x34);
    c.hid.HSD_GetMixerRegControl(0x04);
    ASSERT_TRUE(c.handset.WaitForOutputs(2, 5000));
    const std::vector<std::string> transcript = c.handset.Transcript();
    EXPECT_EQ(transcript.back(), "MCU->PC: 00 00 70 F0 04 12 34 00");
    SetHidTraceSink(nullptr);
}

TEST(VirtualHandsetMcu, AnnouncementExistsExactlyWhilePlugged) {
    VirtualHandset handset(Quiet());
    const std::string name = VirtualHandsetMappingName(handset.Options().pipePath);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
    ASSERT_TRUE(handset.Plug());
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    ASSERT_NE(mapping, nullptr);
    CloseHandle(mapping);
    handset.Unplug();
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
    CHsdHIDCtrl hid;
    EXPECT_EQ(hid.OpenDevice(0xFFFF, 0x1800), E_FAIL);
}

// handsetsim.exe in its own process plays a script; this test plays the program.
TEST(HandsetSimProgram, ScriptAgainstTheLibraryInAnotherProcess) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self);
    folder.resize(folder.find_last_of("\\/") + 1);
    const std::string pipe = UniquePipe();
    const std::string script = folder + "handsetsim_test_script.txt";
    const std::string png = folder + "handsetsim_test_lcd.png";
    DeleteFileA(png.c_str());
    {
        std::ofstream out(script);
        out << "# a key, its acknowledgement, a list transfer\n"
               "expect-connect 2 20000\n"
               "key 6C\n"
               "expect-ack\n"
               "expect-report 00 00 00 3F xx xx xx xx\n"
               "expect-display Zed\n"
               "state\n"
               "show\n"
               "png "
            << png << "\n";
    }
    SetEnvironmentVariableA(kVirtualHandsetVariable, pipe.c_str());
    std::string command = "\"" + folder + "handsetsim.exe\" --no-broadcast --quiet --pipe " + pipe +
                          " --script \"" + script + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));

    CHsdHIDCtrl hid;
    SetHidTraceSink([](const char*) {});
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (hid.OpenDevice(0xFFFF, 0x1800) != 0 && GetTickCount64() < deadline) {
        Sleep(20);
    }
    ASSERT_TRUE(hid.IsOpen()) << "handsetsim never plugged in";
    // The program's side without a window: read the handset's reports through
    // a plain overlapped handle on the same path, as the read thread would.
    HANDLE reader = INVALID_HANDLE_VALUE;
    while (reader == INVALID_HANDLE_VALUE && GetTickCount64() < deadline) {
        reader =
            CreateFileA(pipe.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (reader == INVALID_HANDLE_VALUE) {
            WaitNamedPipeA(pipe.c_str(), 100);
        }
    }
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::uint8_t report[8] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(reader, report, 8, &got, nullptr));
    EXPECT_EQ(report[2], 0x6C);
    hid.SendCommand(static_cast<unsigned char>(0x50 | report[3]));
    hid.SendCommand(0x3F);
    ASSERT_TRUE(ReadFile(reader, report, 8, &got, nullptr));
    EXPECT_EQ(report[2], 0x5A);
    hid.SendCommandData(0x6A, 0x0A);
    hid.SendCommandData(0x70, 0x0A);
    hid.SendCommandData('Z', 0);
    hid.SendCommandData('e', 5);
    hid.SendCommandData('d', 0);
    hid.SendCommandData(0x1A, 0x0A);

    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u) << "a script expectation failed";
    std::ifstream image(png, std::ios::binary);
    char signature[4] = {};
    image.read(signature, 4);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG") << "the script saved the LCD as a PNG";
    image.close();
    DeleteFileA(png.c_str());
    CloseHandle(reader);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    hid.CloseDevice();
    SetHidTraceSink(nullptr);
    DeleteFileA(script.c_str());
}

}  // namespace

namespace {

int g_devnodeChanges = 0;

LRESULT CALLBACK DeviceChangeProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_DEVICECHANGE && w == 0x0007 /* DBT_DEVNODES_CHANGED */ && l == 0) {
        ++g_devnodeChanges;
        return TRUE;
    }
    return DefWindowProcA(h, msg, w, l);
}

bool PumpUntil(int count, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    MSG msg;
    while (g_devnodeChanges < count && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
    }
    return g_devnodeChanges >= count;
}

TEST(VirtualHandsetPlug, PlugAndUnplugBroadcastDeviceChanges) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DeviceChangeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VoxlinkDeviceChangeProbe";
    ASSERT_NE(RegisterClassA(&wc), 0);
    // A top-level window: broadcasts don't reach message-only windows.
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    VirtualHandsetOptions options;
    options.pipePath = "\\\\.\\pipe\\voxlink-plugtest-" + std::to_string(GetCurrentProcessId());
    VirtualHandset handset(options);
    ASSERT_TRUE(handset.Plug());
    EXPECT_TRUE(PumpUntil(1, 5000));
    handset.Unplug();
    EXPECT_TRUE(PumpUntil(2, 5000));
    DestroyWindow(window);
}

}  // namespace
