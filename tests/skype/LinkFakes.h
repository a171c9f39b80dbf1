// Recording fakes of every port of the Skype link. All of them write into
// one event log, so tests can check the order of what the link did across
// ports and threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../config/FakeProfile.h"
#include "HsdFontProcess.h"
#include "RingTonePlayer.h"
#include "SkypeLinkPorts.h"

struct Event {
    std::string what;
    std::thread::id thread;
    std::chrono::steady_clock::time_point time;
};

class EventLog {
public:
    void Add(const std::string& what) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(
                {what, std::this_thread::get_id(), std::chrono::steady_clock::now()});
        }
        m_changed.notify_all();
    }

    std::vector<Event> Events() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

    // The events whose text starts with prefix, prefix removed.
    std::vector<std::string> With(const std::string& prefix) {
        std::vector<std::string> found;
        for (const Event& e : Events()) {
            if (e.what.compare(0, prefix.size(), prefix) == 0) {
                found.push_back(e.what.substr(prefix.size()));
            }
        }
        return found;
    }

    // Waits until at least count events start with prefix.
    bool WaitFor(const std::string& prefix, std::size_t count,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            std::size_t n = 0;
            for (const Event& e : m_events) {
                n += e.what.compare(0, prefix.size(), prefix) == 0;
            }
            return n >= count;
        });
    }

    // Index of the first event equal to what, or -1.
    int IndexOf(const std::string& what) {
        const auto events = Events();
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i].what == what) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};

// A latch the fakes can wait on, to hold a thread of the link where a test wants it.
class Gate {
public:
    void Close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = false;
    }
    void Open() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void Pass() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;
};

class FakeWire : public ISkypeWire {
public:
    explicit FakeWire(EventLog& log) : m_log(log) {}

    bool SendCommandText(const char* text) override {
        m_log.Add(std::string("send:") + text);
        std::string refused;
        std::string throwing;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            refused = m_refuse;
            throwing = m_throwOn;
        }
        if (text == throwing) {
            throw std::runtime_error("wire failure");
        }
        sendGate.Pass();
        return text != refused;
    }
    void BroadcastDiscover(bool announceMainWindow) override {
        broadcastGate.Pass();
        m_log.Add(announceMainWindow ? "broadcast:main" : "broadcast:0");
    }
    void ForgetSkypeWindow() override { m_log.Add("forget"); }

    void Refuse(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_refuse = text;
    }
    void ThrowOn(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_throwOn = text;
    }

    Gate sendGate;  // passed after a text is logged
    Gate broadcastGate;

private:
    EventLog& m_log;
    std::mutex m_mutex;
    std::string m_refuse;
    std::string m_throwOn;
};

class FakeWindows : public ISkypeClientWindows {
public:
    bool TopLevelWindowExists(const char* className) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_present.count(className) != 0;
    }
    void Show(const std::string& className, bool present) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (present) {
            m_present.insert(className);
        } else {
            m_present.erase(className);
        }
    }

private:
    std::mutex m_mutex;
    std::set<std::string> m_present;
};

// The real call store, recording the operations whose order the link's
// tests check. throwOnRead makes the next GetCurrentCallId throw.
class FakeCallStore : public CallStore {
public:
    explicit FakeCallStore(EventLog& log) : m_log(log) {}

    HsdStatus GetCurrentCallId(int* id) override {
        if (throwOnRead.exchange(false)) {
            throw std::runtime_error("store failure");
        }
        const HsdStatus status = CallStore::GetCurrentCallId(id);
        m_log.Add("calls.GetCurrentCallId");
        return status;
    }
    HsdStatus ResetCurrentCall() override {
        m_log.Add("calls.ResetCurrentCall");
        return CallStore::ResetCurrentCall();
    }
    HsdStatus ResetSecondCall() override {
        m_log.Add("calls.ResetSecondCall");
        return CallStore::ResetSecondCall();
    }
    HsdStatus ResetCallBrowse() override {
        m_log.Add("calls.ResetCallBrowse");
        return CallStore::ResetCallBrowse();
    }
    HsdStatus ClearCalls() override {
        m_log.Add("calls.ClearCalls");
        return CallStore::ClearCalls();
    }
    HsdStatus CommitCurrentCall() override {
        m_log.Add("calls.CommitCurrentCall");
        return CallStore::CommitCurrentCall();
    }
    HsdStatus CommitSecondCall() override {
        m_log.Add("calls.CommitSecondCall");
        return CallStore::CommitSecondCall();
    }

    // Adds count incoming calls that were missed and not yet seen.
    void AddUnseenMissedCalls(int count, int firstId = 9000) {
        for (int id = firstId; id < firstId + count; ++id) {
            AddCall(id, 1);
            SetCallType(id, CALLTYPE_INCOMING_P2P);
            SetCallStatus(id, CALLSTATUS_MISSED);
            SetCallSeen(id, 0);
        }
    }

    std::atomic<bool> throwOnRead{false};

private:
    EventLog& m_log;
};

// The real contact store, recording its clearing and browse resets.
class FakeUserStore : public UserStore {
public:
    explicit FakeUserStore(EventLog& log) : m_log(log) {}
    HsdStatus ClearUsers() override {
        m_log.Add("users.ClearUsers");
        return UserStore::ClearUsers();
    }
    HsdStatus ResetUserBrowse() override {
        m_log.Add("users.ResetUserBrowse");
        return UserStore::ResetUserBrowse();
    }

private:
    EventLog& m_log;
};

inline std::string Hex(unsigned int value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%02X", value);
    return text;
}

class FakeHandset : public ILinkHandset {
public:
    explicit FakeHandset(EventLog& log) : m_log(log) {}
    bool SendHandsetCommand(unsigned char code) override {
        m_log.Add("handset.command:" + Hex(code));
        return true;
    }
    int HandleKeyEvent(int code) override {
        m_log.Add("handset.key:" + Hex(static_cast<unsigned int>(code)));
        return 1;
    }
    void StopTransferAndWait() override { m_log.Add("handset.stopTransfer"); }
    unsigned int GetModeFlags() override { return modeFlags; }
    void SetModeFlags(unsigned int flags) override {
        modeFlags = flags;
        m_log.Add("handset.modeFlags:" + Hex(flags));
    }
    void AddModeFlags(unsigned int bits) override {
        modeFlags |= bits;
        m_log.Add("handset.modeFlags|" + Hex(bits));
    }
    void SetLinkOpen(int value) override { m_log.Add("handset.linkOpen:" + std::to_string(value)); }
    void SetKeysEnabled(int value) override {
        m_log.Add("handset.keysEnabled:" + std::to_string(value));
    }
    bool IsHandsetPresent() override { return present; }
    bool IsTransferBusy() override { return transferBusy; }
    void SetAbortTransfer(int value) override {
        m_log.Add("handset.abortTransfer:" + std::to_string(value));
    }
    void StartHandsetLink() override { m_log.Add("handset.startLink"); }
    void ClearHandsetActive() override { m_log.Add("handset.clearActive"); }
    bool FontSupport() override { return fontSupport; }
    int GetProtocolVersion() override { return protocolVersion; }
    void SetProtocolVersion(int version) override { protocolVersion = version; }

    std::atomic<bool> present{true};
    std::atomic<bool> transferBusy{false};
    std::atomic<bool> fontSupport{true};
    std::atomic<unsigned int> modeFlags{0};
    std::atomic<int> protocolVersion{0};

private:
    EventLog& m_log;
};

class FakeAudio : public ILinkAudio {
public:
    explicit FakeAudio(EventLog& log) : m_log(log) {}
    std::string GetHandsetDeviceName(bool capture) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return capture ? m_captureName : m_deviceName;
    }
    void SetPreferredAudioDevices() override { m_log.Add("audio.SetPreferredAudioDevices"); }
    // One name for both directions, as on the mixer.
    void SetDeviceName(const std::string& name) { SetDeviceNames(name, name); }
    void SetDeviceNames(const std::string& playback, const std::string& recording) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_deviceName = playback;
        m_captureName = recording;
    }

private:
    EventLog& m_log;
    std::mutex m_mutex;
    std::string m_deviceName = "USB Audio Device";
    std::string m_captureName = "USB Audio Device";
};

class FakeShell : public ILinkShell {
public:
    explicit FakeShell(EventLog& log) : m_log(log) {}
    void ShowTrayState(bool connected, const char* iconPath) override {
        m_log.Add(std::string("tray:") + (connected ? "Connected " : "Disconnected ") + iconPath);
    }
    void InsertComboString(void*, int comboId, int index, const char* text) override {
        m_log.Add("combo.insert:" + std::to_string(comboId) + ":" + std::to_string(index) + ":" +
                  text);
    }
    void SelectComboEntry(void*, int comboId, int index) override {
        m_log.Add("combo.select:" + std::to_string(comboId) + ":" + std::to_string(index));
    }

private:
    EventLog& m_log;
};

class FakeTrace : public ILinkTrace {
public:
    explicit FakeTrace(EventLog& log) : m_log(log) {}
    void Trace(const char* line) override { m_log.Add(std::string("trace:") + line); }

private:
    EventLog& m_log;
};

// The font component's conversions as the link uses them: code-page text to
// UTF-8 treats the text as Latin-1; UTF-8 to the display stream records the text.
class FakeFont : public CHsdFontProcess {
public:
    explicit FakeFont(EventLog& log) : m_log(log) {}
    ~FakeFont() override = default;

    HsdStatus UTF_8ToUnicodeToFontCode(const char* text) override {
        m_log.Add(std::string("font.UTF_8ToUnicodeToFontCode:") + text);
        return 0;
    }
    HsdStatus FontCodeToUnicodeToUTF_8(const char* text, unsigned char* out) override {
        std::size_t o = 0;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            if (*p < 0x80) {
                out[o++] = *p;
            } else {
                out[o++] = static_cast<unsigned char>(0xC0 | (*p >> 6));
                out[o++] = static_cast<unsigned char>(0x80 | (*p & 0x3F));
            }
        }
        return 0;
    }
    HsdStatus InitialFontTable(const char*) override { return E_FAIL; }
    HsdStatus HexToInt(const unsigned char*, int, std::int32_t*) override { return E_FAIL; }
    HsdStatus TransferUnicodeToCode(unsigned char*) override { return E_FAIL; }
    HsdStatus SendFontCode2MCU() override { return E_FAIL; }
    // Like the real one, writes at most 32 bytes; keeps ASCII, drops the rest.
    HsdStatus UTF_8ToUnicode2Font(const char* text, unsigned char* out) override {
        m_log.Add(std::string("font.UTF_8ToUnicode2Font:") + text);
        std::size_t o = 0;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p && o < 32;
             ++p) {
            if (*p < 0x80) {
                out[o++] = *p;
            }
        }
        return 0;
    }
    HsdStatus Transfer950FontCode(const unsigned char*, unsigned char*) override { return E_FAIL; }
    HsdStatus Transfer936FontCode(const unsigned char*, unsigned char*) override { return E_FAIL; }
    HsdStatus Transfer932FontCode(const unsigned char*, unsigned char*) override { return E_FAIL; }
    HsdStatus BalanceToFontCode(std::int32_t) override { return E_FAIL; }
    HsdStatus Unicode2FontCode(const unsigned char*) override { return E_FAIL; }
    HsdStatus TransferUnicodeToLatin(const unsigned char*, std::int32_t*) override { return 0; }
    void TransferLatinFontCode(std::int32_t, unsigned char*) override {}
    HsdStatus SetHIDCtrlInterface(I_HsdHIDCtrl*) override { return E_FAIL; }
    HsdStatus SetHIDCtrlInterfaceKey(int, int) override { return E_FAIL; }
    HsdStatus SetkeepProcess2MCUDataMonitor(std::int32_t flag) override {
        m_log.Add("font.SetkeepProcess2MCUDataMonitor:" + std::to_string(flag));
        return 0;
    }
    HsdStatus SetSupportedARF(std::int32_t) override { return E_FAIL; }

private:
    EventLog& m_log;
};

// The process's sound channel under the real ring-tone player.
class FakeSound : public ISoundOutput {
public:
    explicit FakeSound(EventLog& log) : m_log(log) {}
    void PlayWave(const char* fileName, unsigned int flags) override {
        if (fileName == nullptr) {
            m_log.Add("sound:stop");
        } else {
            m_log.Add(std::string("sound:") + fileName + ((flags & kSoundLoop) ? " loop" : ""));
        }
    }

private:
    EventLog& m_log;
};

// Pauses are recorded in a log; they take real time only when asked to.
struct RecordingPause {
    static inline EventLog* log = nullptr;
    static inline std::atomic<bool> sleeps{false};
    static void Pause(unsigned int ms) {
        if (log != nullptr) {
            log->Add("pause:" + std::to_string(ms));
        }
        if (sleeps) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    }
};
