// A Skype link wired to the real call and contact stores, the real ring-tone
// player and recording fakes of the wire, handset, font component, windows and
// tray, with helpers to hand it notifications and read what it did.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AccessSkypeAPI.h"
#include "LinkFakes.h"
#include "Pause.h"
#include "RingTonePlayer.h"

using Texts = std::vector<std::string>;

class NotificationTest : public ::testing::Test {
protected:
    NotificationTest()
        : wire(log),
          calls(log),
          users(log),
          handset(log),
          audio(log),
          shell(log),
          font(log),
          sound(log),
          ringTone(sound) {
        ports.wire = &wire;
        ports.windows = &windows;
        ports.calls = &calls;
        ports.users = &users;
        ports.handset = &handset;
        ports.audio = &audio;
        ports.shell = &shell;
        ports.profile = &profile;
        ports.ringTone = &ringTone;
        RecordingPause::log = &log;
        RecordingPause::sleeps = false;
        previousPause = SetPauseFunction(&RecordingPause::Pause);
        link = std::make_unique<CAccessSkypeAPI>(ports);
        link->SetFontProcess(&font);
        users.SetSkypeCommandSender(link.get());
    }
    ~NotificationTest() override {
        // A test that failed while holding a thread of the link lets it go.
        wire.sendGate.Open();
        wire.broadcastGate.Open();
        link.reset();
        SetPauseFunction(previousPause);
        RecordingPause::log = nullptr;
    }

    // Reads the configuration from an INI text (for NotSupportedFont, Name, icons).
    void Configure(const std::string& ini) {
        profile.SetFile("C:\\V\\\\VoxlinkAPI.ini", ini);
        link->LoadConfiguration("C:\\V\\", nullptr);
    }

    // Hands the texts to the link as the window procedure does and waits until
    // the notification thread has handled every one of them.
    void Notify(std::initializer_list<std::string> texts) {
        for (const std::string& text : texts) {
            Notify(text);
        }
    }
    void Notify(const std::string& text) {
        ASSERT_EQ(link->AddToMessageInQueue(text.c_str()), 0);
        ++queued;
        WaitHandled();
    }
    void WaitHandled() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (link->HandledNotifications() < queued) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "notification not handled";
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // Every command text that reached the wire so far, in order (queued ones
    // and those sent directly), once the command queue has drained.
    Texts Sent() {
        const std::string marker = "--drained " + std::to_string(++drains) + "--";
        link->AddToMessageOutQueue(marker.c_str());
        EXPECT_TRUE(log.WaitFor("send:" + marker, 1));
        Texts sent;
        for (const std::string& text : log.With("send:")) {
            if (text.rfind("--drained ", 0) != 0) {
                sent.push_back(text);
            }
        }
        return sent;
    }

    // What the notification thread did on the handset side, in order: handset
    // operations, ring tone, font component and pauses.
    Texts HandsetSide() {
        Texts seen;
        for (const Event& e : log.Events()) {
            for (const char* prefix : {"handset.", "sound:", "font.", "pause:"}) {
                if (e.what.rfind(prefix, 0) == 0) {
                    seen.push_back(e.what);
                    break;
                }
            }
        }
        return seen;
    }

    // Forgets what was recorded so far (after setting a scene up).
    void ClearRecords() {
        Sent();
        log.Clear();
        drains = 0;
    }

    const CallRecord* Listed(int id) {
        listed = calls.SnapshotCalls();
        for (const CallRecord& record : listed) {
            if (record.id == id) {
                return &record;
            }
        }
        return nullptr;
    }

    static std::string Text(const ByteText& text) { return std::string(text.Bytes().c_str()); }

    std::string CallerHandleText() {
        std::string text;
        char ch = 0;
        for (int i = 0; i < 300 && users.ReadCallerHandleChar(&ch) == 0 && ch != '\0'; ++i) {
            text += ch;
        }
        return text;
    }

    EventLog log;
    FakeWire wire;
    FakeWindows windows;
    FakeCallStore calls;
    FakeUserStore users;
    FakeHandset handset;
    FakeAudio audio;
    FakeShell shell;
    FakeProfile profile;
    FakeFont font;
    FakeSound sound;
    RingTonePlayer ringTone;
    FakeTrace trace{log};  // wired only by tests that read the trace
    SkypeLinkPorts ports;
    PauseFunction previousPause = nullptr;
    std::unique_ptr<CAccessSkypeAPI> link;
    std::uint64_t queued = 0;
    int drains = 0;
    std::vector<CallRecord> listed;
};
