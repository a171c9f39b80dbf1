// Helpers for the font component's tests: a recording handset, a recorded
// pause, hand-made font files and a way to read back the pending stream.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unistd.h>
#include <string>
#include <utility>
#include <vector>

#include "FontPause.h"
#include "HsdFontProcessImpl.h"
#include "SilentHidCtrl.h"

namespace fonttest {

using Item = std::pair<unsigned char, unsigned char>;
using Items = std::vector<Item>;

// Plays the HID component: records every SendCommandData attempt and fails
// the attempts chosen by number (1 = the first attempt of the run).
class RecordingHidCtrl final : public SilentHidCtrl {
public:
    HsdStatus SendCommandData(unsigned char command, unsigned char data) override {
        std::function<void(int)> hook;
        int attempt = 0;
        bool fail = false;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            attempt = ++attempts_;
            fail = failing_.count(attempt) != 0;
            if (!fail) {
                sent_.emplace_back(command, data);
            }
            hook = onSend_;
        }
        if (hook) {
            hook(attempt);
        }
        return fail ? E_FAIL : 0;
    }

    void FailAttempts(std::set<int> attempts) {
        std::lock_guard<std::mutex> guard(mutex_);
        failing_ = std::move(attempts);
    }
    // Called after every attempt with its number, outside the fake's lock.
    void OnSend(std::function<void(int)> hook) {
        std::lock_guard<std::mutex> guard(mutex_);
        onSend_ = std::move(hook);
    }
    // The items that went through, and forgets them.
    Items Take() {
        std::lock_guard<std::mutex> guard(mutex_);
        attempts_ = 0;
        return std::exchange(sent_, {});
    }
    int Attempts() {
        std::lock_guard<std::mutex> guard(mutex_);
        return attempts_;
    }

private:
    std::mutex mutex_;
    int attempts_ = 0;
    std::set<int> failing_;
    Items sent_;
    std::function<void(int)> onSend_;
};

// Records the component's pauses instead of sleeping, while it lives.
class PauseRecorder {
public:
    PauseRecorder() : previous_(SetFontPauseFunction(Record)) { Pauses().clear(); }
    ~PauseRecorder() { SetFontPauseFunction(previous_); }
    PauseRecorder(const PauseRecorder&) = delete;
    PauseRecorder& operator=(const PauseRecorder&) = delete;

    std::vector<unsigned> Take() {
        std::lock_guard<std::mutex> guard(Mutex());
        return std::exchange(Pauses(), {});
    }

private:
    static std::vector<unsigned>& Pauses() {
        static std::vector<unsigned> pauses;
        return pauses;
    }
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    static void Record(unsigned milliseconds) {
        std::lock_guard<std::mutex> guard(Mutex());
        Pauses().push_back(milliseconds);
    }
    FontPauseFunction previous_;
};

// A folder of its own under the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("voxlink-font-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

    void Write(const std::string& name, const std::vector<unsigned char>& bytes) const {
        std::ofstream out(path_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path path_;
};

// A table of two-byte entries, `count` long, with the given entries set.
inline std::vector<unsigned char> TwoByteTable(std::size_t count,
                                               const std::map<long, unsigned>& entries) {
    std::vector<unsigned char> bytes(count * 2);
    for (const auto& [index, value] : entries) {
        bytes.at(static_cast<std::size_t>(index) * 2) = static_cast<unsigned char>(value >> 8);
        bytes.at(static_cast<std::size_t>(index) * 2 + 1) = static_cast<unsigned char>(value);
    }
    return bytes;
}

// A glyph file whose glyph n starts with n (two bytes, high first), so a test
// can tell exactly which glyph a lookup read; the rest of each glyph is `fill`.
inline std::vector<unsigned char> NumberedGlyphs(int count, int size, unsigned char fill) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count) * size, fill);
    for (int n = 0; n < count; ++n) {
        bytes[static_cast<std::size_t>(n) * size] = static_cast<unsigned char>(n >> 8);
        bytes[static_cast<std::size_t>(n) * size + 1] = static_cast<unsigned char>(n);
    }
    return bytes;
}

inline std::string Utf8(unsigned value) {
    std::string out;
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | value >> 6);
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | value >> 12);
        out += static_cast<char>(0x80 | (value >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
    return out;
}

inline std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// A component wired to a recording handset, enabled, pauses recorded.
struct Harness {
    Harness() {
        font.SetHIDCtrlInterface(&hid);
        font.SetHIDCtrlInterfaceKey(1, 0);
    }
    // Sends the pending stream and returns the items that reached the handset.
    Items Send(HsdStatus expected = 0) {
        hid.Take();
        EXPECT_EQ(font.SendFontCode2MCU(), expected);
        return hid.Take();
    }
    // Converts a UTF-8 text and returns the stream it made.
    Items Convert(const std::string& text) {
        EXPECT_EQ(font.UTF_8ToUnicodeToFontCode(text.c_str()), 0) << text;
        return Send();
    }

    PauseRecorder pauses;
    RecordingHidCtrl hid;
    CHsdFontProcessImpl font;
};

// Expected items: a marker, then data items with phases 0, 5, 0, 5 ...
inline Items Marker(unsigned char marker) {
    return {{marker, 0x0A}};
}
inline Items Data(const std::vector<unsigned char>& bytes) {
    Items items;
    unsigned char phase = 0;
    for (unsigned char byte : bytes) {
        items.emplace_back(byte, phase);
        phase = phase == 0 ? 5 : 0;
    }
    return items;
}
inline Items Data(const std::string& text) {
    return Data(std::vector<unsigned char>(text.begin(), text.end()));
}
inline Items Join(std::initializer_list<Items> parts) {
    Items out;
    for (const Items& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

}  // namespace fonttest
