// Shared pieces of the HID library's Windows tests: a font component that
// records what it is told, and a capture of the library's trace lines.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "HidTrace.h"
#include "HsdFontProcess.h"

class RecordingFontProcess final : public CHsdFontProcess {
public:
    struct KeyCall {
        int handsetOpen;
        int pace;
    };
    std::vector<KeyCall> keyCalls;

    HsdStatus InitialFontTable(const char*) override { return 0; }
    HsdStatus HexToInt(const unsigned char*, int, std::int32_t*) override { return 0; }
    HsdStatus TransferUnicodeToCode(unsigned char*) override { return E_FAIL; }
    HsdStatus UTF_8ToUnicodeToFontCode(const char*) override { return E_FAIL; }
    HsdStatus SendFontCode2MCU() override { return E_FAIL; }
    HsdStatus UTF_8ToUnicode2Font(const char*, unsigned char*) override { return E_FAIL; }
    HsdStatus FontCodeToUnicodeToUTF_8(const char*, unsigned char*) override { return E_FAIL; }
    HsdStatus Transfer950FontCode(const unsigned char*, unsigned char*) override { return E_FAIL; }
    HsdStatus Transfer936FontCode(const unsigned char*, unsigned char*) override { return E_FAIL; }
    HsdStatus Transfer932FontCode(const unsigned char*, unsigned char*) override { return E_FAIL; }
    HsdStatus BalanceToFontCode(std::int32_t) override { return E_FAIL; }
    HsdStatus Unicode2FontCode(const unsigned char*) override { return E_FAIL; }
    HsdStatus TransferUnicodeToLatin(const unsigned char*, std::int32_t*) override { return 0; }
    void TransferLatinFontCode(std::int32_t, unsigned char*) override {}
    HsdStatus SetHIDCtrlInterface(I_HsdHIDCtrl*) override { return 0; }
    HsdStatus SetHIDCtrlInterfaceKey(int handsetOpen, int pace) override {
        keyCalls.push_back({handsetOpen, pace});
        return 0;
    }
    HsdStatus SetkeepProcess2MCUDataMonitor(std::int32_t) override { return 0; }
    HsdStatus SetSupportedARF(std::int32_t) override { return 0; }
};

// Collects every trace line while it lives.
class TraceCapture {
public:
    TraceCapture() { previous_ = SetHidTraceSink(&TraceCapture::Sink); }
    ~TraceCapture() { SetHidTraceSink(previous_); }
    static std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(Lock());
        return Store();
    }
    static void Clear() {
        std::lock_guard<std::mutex> guard(Lock());
        Store().clear();
    }

private:
    static void Sink(const char* line) {
        std::lock_guard<std::mutex> guard(Lock());
        Store().emplace_back(line);
    }
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static std::vector<std::string>& Store() {
        static std::vector<std::string> lines;
        return lines;
    }
    HidTraceSink previous_;
};
