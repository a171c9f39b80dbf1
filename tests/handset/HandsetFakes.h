// Recording fakes for the handset object's tests: the HID component, the Skype
// link, the wire to Skype, Skype's windows, faders and sounds. Every fake
// writes into one log, so a test sees the order of what happened across them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CallStore.h"
#include "FontPause.h"
#include "HsdFontProcess.h"
#include "HsdFontProcessImpl.h"
#include "HsdHid.h"
#include "I_AccessSkypeAPI.h"
#include "I_HsdHIDCtrl.h"
#include "Pause.h"
#include "RingTonePlayer.h"
#include "UserStore.h"

namespace handsettest {

inline std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02X", value & 0xFF);
    return text;
}

class Log {
public:
    void Add(const std::string& line) {
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            lines_.push_back(line);
            hook = hook_;
        }
        if (hook) {
            hook(line);
        }
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_;
    }
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> guard(mutex_);
        return std::exchange(lines_, {});
    }
    // Lines beginning with prefix, in order.
    std::vector<std::string> With(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& line : Lines()) {
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }
    bool Has(const std::string& line) {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Called with every line, on the thread that logs it, outside the lock.
    void OnLine(std::function<void(const std::string&)> hook) {
        std::lock_guard<std::mutex> guard(mutex_);
        hook_ = std::move(hook);
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::function<void(const std::string&)> hook_;
};

// The HID component: "cmd XX" for SendCommand, "data XX YY" for
// SendCommandData, "reg RR V1 V2" for codec writes.
class FakeHidCtrl final : public I_HsdHIDCtrl {
public:
    explicit FakeHidCtrl(Log& log) : log_(log) {}
    HsdStatus OpenDevice(unsigned short, unsigned short) override { return 0; }
    HsdStatus CloseDevice() override { return 0; }
    HsdStatus ReopenDevice() override {
        log_.Add("reopen");
        return reopenResult.load();
    }
    HsdStatus ResetDevice() override {
        log_.Add("reset");
        return 0;
    }
    HsdStatus StartReadThread(void*) override { return 0; }
    HsdStatus StopReadThread() override { return 0; }
    HsdStatus SetNotifyMessage(unsigned int) override { return 1; }
    HsdStatus SendCommand(unsigned char command) override {
        log_.Add("cmd " + Hex(command));
        return 0;
    }
    HsdStatus SendCommandData(unsigned char command, unsigned char data) override {
        log_.Add("data " + Hex(command) + " " + Hex(data));
        if (onData) {
            onData(command, data);
        }
        return failData.count(command) != 0 ? E_FAIL : 0;
    }
    HsdStatus EnableMixerControl() override { return 0; }
    HsdStatus DisableMixerControl() override { return 0; }
    HsdStatus HSD_GetMixerRegControl(unsigned char) override { return 0; }
    HsdStatus HSD_SetMixerRegControl(unsigned char reg, unsigned char v1,
                                     unsigned char v2) override {
        log_.Add("reg " + Hex(reg) + " " + Hex(v1) + " " + Hex(v2));
        return codecResult.load();
    }
    HsdStatus SetProductIdList(const int*, int) override { return 0; }
    HsdStatus SetFontProcess(CHsdFontProcess*) override { return 0; }
    HsdStatus ShowLastError() override { return 0; }
    HsdStatus SetSupportedARF(int value) override {
        log_.Add("arf " + std::to_string(value));
        return 0;
    }
    HsdStatus GetContainerId(char*, unsigned int) override { return E_FAIL; }

    std::atomic<HsdStatus> reopenResult{0};
    std::atomic<HsdStatus> codecResult{0};
    std::set<unsigned char> failData;  // set before the threads run
    std::function<void(unsigned char, unsigned char)> onData;

private:
    Log& log_;
};

class FakeHidLibrary final : public IHidLibrary {
public:
    FakeHidLibrary(Log& log, I_HsdHIDCtrl* component) : log_(log), component_(component) {}
    I_HsdHIDCtrl* Bind() override {
        log_.Add("bind");
        return component_;
    }
    void Free() override { log_.Add("free"); }

private:
    Log& log_;
    I_HsdHIDCtrl* component_;
};

// The Skype link: "skype <code> <id>" for SendSkypeCommand, "queue <text>"
// for AddToMessageOutQueue, "qapi <n>" for a started request, the display mode,
// tray and missed-calls calls.
class FakeSkypeLink final : public I_AccessSkypeAPI {
public:
    explicit FakeSkypeLink(Log& log) : log_(log) {}
    HsdStatus AddToMessageInQueue(const char*) override { return 0; }
    HsdStatus AddToMessageOutQueue(const char* text) override {
        log_.Add(std::string("queue ") + text);
        return 0;
    }
    HsdStatus SendSkypeCommand(unsigned char code, const char*, int callId) override {
        log_.Add("skype " + std::to_string(code) + " " + std::to_string(callId));
        return 0;
    }
    HsdStatus GetRegisterDefaults(int*, int*) override { return 0; }
    HsdStatus LoadConfiguration(const char*, ConfigSwitches*) override { return 0; }
    HsdStatus GetAudioDeviceNames(char*, std::size_t, char*, std::size_t) override { return 0; }
    HsdStatus FillRingList(void*, int) override { return 0; }
    HsdStatus GetWindowName(char*, std::size_t) override { return 0; }
    HsdStatus GetFileNoHW(char*, std::size_t) override { return 0; }
    HsdStatus GetFileNoSkype(char*, std::size_t) override { return 0; }
    HsdStatus GetFileActive(char*, std::size_t) override { return 0; }
    HsdStatus GetCustomerInfo(char*, std::size_t) override { return E_FAIL; }
    HsdStatus SetHandsetDisplayMode(int on) override {
        log_.Add("display " + std::to_string(on));
        return 0;
    }
    HsdStatus StartQueueAPIThread(int request) override {
        log_.Add("qapi " + std::to_string(request));
        return 0;
    }
    HsdStatus SetFontProcess(CHsdFontProcess*) override { return 0; }
    HsdStatus UpdateTrayState() override {
        log_.Add("tray");
        return 0;
    }
    HsdStatus GetUserStatus(int* status) override {
        *status = 3;
        return 0;
    }
    HsdStatus ShowMissedCalls(int value) override {
        log_.Add("missed " + std::to_string(value));
        return 0;
    }
    HsdStatus SendUserStatusToHandset(int status) override {
        log_.Add("userstatus " + std::to_string(status));
        return 0;
    }

private:
    Log& log_;
};

// The WM_COPYDATA wire: "wire <text>"; refuses while refuse is set.
class FakeWire final : public ISkypeWire {
public:
    explicit FakeWire(Log& log) : log_(log) {}
    bool SendCommandText(const char* text) override {
        log_.Add(std::string("wire ") + text);
        return !refuse.load();
    }
    void BroadcastDiscover(bool) override {}
    void ForgetSkypeWindow() override {}
    std::atomic<bool> refuse{false};

private:
    Log& log_;
};

class FakeWindows final : public IHandsetWindows {
public:
    explicit FakeWindows(Log& log) : log_(log) {}
    bool TopLevelWindowExists(const char* className) override {
        std::lock_guard<std::mutex> guard(mutex_);
        return existing.count(className) != 0;
    }
    bool ActivateAndClose(const char* className) override {
        if (!TopLevelWindowExists(className)) {
            return false;
        }
        log_.Add(std::string("activate+close ") + className);
        return true;
    }
    void PostClose(const char* className) override { log_.Add(std::string("close ") + className); }
    int GetSelectedSkypeTab() override { return selectedTab.load(); }
    bool IsSkypeBgGridVisible() override { return gridVisible.load(); }
    void ClickSkypeBgGrid(int x, int y) override {
        log_.Add("grid click " + std::to_string(x) + "," + std::to_string(y));
    }
    void ClickSkypeTabs(int x, int y) override {
        log_.Add("tabs click " + std::to_string(x) + "," + std::to_string(y));
    }
    void RediscoverSkypeWindows() override { log_.Add("rediscover"); }
    void TypeBackspace() override { log_.Add("backspace"); }

    void Add(const std::string& className) {
        std::lock_guard<std::mutex> guard(mutex_);
        existing.insert(className);
    }
    std::atomic<int> selectedTab{-1};
    std::atomic<bool> gridVisible{false};

private:
    Log& log_;
    std::mutex mutex_;
    std::set<std::string> existing;
};

class FakeFaders final : public IHandsetFaders {
public:
    explicit FakeFaders(Log& log) : log_(log) {}
    void SetSpeakerFader(int kind, unsigned int level) override {
        log_.Add("speaker " + std::to_string(kind) + " " + std::to_string(level));
    }
    void SetMicFader(int kind, unsigned int level) override {
        log_.Add("mic " + std::to_string(kind) + " " + std::to_string(level));
    }

private:
    Log& log_;
};

// "play <file>" and "purge".
class FakeSound final : public ISoundOutput {
public:
    explicit FakeSound(Log& log) : log_(log) {}
    void PlayWave(const char* fileName, unsigned int flags) override {
        if (fileName == nullptr) {
            log_.Add("purge");
        } else if ((flags & kSoundLoop) != 0) {
            log_.Add(std::string("loop ") + fileName);
        } else {
            log_.Add(std::string("play ") + fileName);
        }
    }

private:
    Log& log_;
};

// Pauses are recorded (and kept short) while a recorder lives.
class PauseRecorder {
public:
    PauseRecorder() {
        Pauses().clear();
        previous_ = SetPauseFunction(Record);
        previousFont_ = SetFontPauseFunction(Skip);
    }
    ~PauseRecorder() {
        SetPauseFunction(previous_);
        SetFontPauseFunction(previousFont_);
    }
    static std::vector<unsigned> Take() {
        std::lock_guard<std::mutex> guard(Mutex());
        return std::exchange(Pauses(), {});
    }

private:
    static void Record(unsigned ms) {
        {
            std::lock_guard<std::mutex> guard(Mutex());
            Pauses().push_back(ms);
        }
        std::this_thread::yield();
    }
    static void Skip(unsigned) {}
    static std::vector<unsigned>& Pauses() {
        static std::vector<unsigned> pauses;
        return pauses;
    }
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    PauseFunction previous_ = nullptr;
    FontPauseFunction previousFont_ = nullptr;
};

// Polls cond every millisecond until it holds or ms pass.
template <typename Cond>
bool WaitFor(Cond cond, int ms = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A handset object wired to the real stores and font component and to the fakes.
class HandsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bHandsetActive.store(0);
        font = std::make_unique<CHsdFontProcessImpl>();
        font->InitialFontTable(VOXLINK_FONT_DATA_DIR "/");
        font->SetHIDCtrlInterface(&hid);
        font->SetHIDCtrlInterfaceKey(1, 0);
        handset = std::make_unique<CHsdHid>(&library);
        HandsetPorts ports;
        ports.calls = &calls;
        ports.users = &users;
        ports.skype = &skype;
        ports.wire = &wire;
        ports.windows = &windows;
        ports.faders = &faders;
        ports.sound = &sound;
        ports.ringTone = &ringTone;
        handset->Connect(ports);
        handset->BindFontProcess(font.get());
        constructionLines = log.Take();
    }
    void TearDown() override {
        handset.reset();
        g_bHandsetActive.store(0);
    }

    // Starts the input thread and takes the construction lines off the log.
    void StartInput() {
        ASSERT_TRUE(handset->StartHandset(nullptr));
        log.Take();
    }
    // Sends the font component's pending stream and reads back its ASCII
    // characters (items after a 0x70 marker).
    std::string FontText() {
        log.Take();
        font->SendFontCode2MCU();
        std::string text;
        bool ascii = false;
        for (const auto& line : log.Take()) {
            unsigned command = 0, data = 0;
            if (std::sscanf(line.c_str(), "data %x %x", &command, &data) != 2) {
                continue;
            }
            if (data == 0x0A) {
                ascii = command == 0x70;
            } else if (ascii) {
                text += static_cast<char>(command);
            }
        }
        return text;
    }
    static std::uint32_t Word(int code, int sequence, int aux = 0) {
        return (static_cast<std::uint32_t>(aux) << 16) | (static_cast<std::uint32_t>(code) << 8) |
               static_cast<std::uint32_t>(sequence);
    }
    // Queues a word and waits until the input thread has handled it.
    void Input(int code, int sequence, int aux = 0) {
        handset->OnHidInput(Word(code, sequence, aux), 0);
        ASSERT_TRUE(WaitFor([&] { return handset->QueuedInput() == 0; }));
    }
    void WaitTransferDone() {
        ASSERT_TRUE(WaitFor([&] { return handset->transferBusy.load() == 0; }));
    }
    void Key(int code) {
        const unsigned char bytes[4] = {0, 0, static_cast<unsigned char>(code), 0};
        handset->HandleHandsetKey(bytes);
    }
    // A live call in the call store.
    void SetCurrentCall(int id, int status) {
        calls.SetCurrentCallId(id);
        calls.SetCurrentCallStatus(status);
    }
    void SetSecondCall(int id, int status) {
        calls.SetSecondCallId(id);
        calls.SetSecondCallStatus(status);
    }

    PauseRecorder pauses;
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
    std::unique_ptr<CHsdFontProcessImpl> font;
    std::unique_ptr<CHsdHid> handset;
    std::vector<std::string> constructionLines;
};

}  // namespace handsettest
