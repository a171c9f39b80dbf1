// The virtual handset: plays the handset's microcontroller (MCU) behind the
// HID library's virtual-device backend. It serves a named pipe, announces a
// vendor id, product id and report lengths, sends input reports (keys with
// sequence numbers 0-3, transfer handshakes with 4-7), answers the link start
// and transfer announcements, records every output report and renders the LCD
// from the transfers it receives. Plugging in and out opens or breaks the pipe
// and broadcasts WM_DEVICECHANGE with DBT_DEVNODES_CHANGED.
//
// Used in-process by C++ tests and by handsetsim.exe. Every member is safe to
// call from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "HidReports.h"
#include "Lcd.h"

namespace handsetsim {

struct VirtualHandsetOptions {
    // The pipe; the HID library finds it through VOXLINK_VIRTUAL_HANDSET.
    std::string pipePath = "\\\\.\\pipe\\voxlink-handset";
    std::uint16_t vendorId = kHandsetVendorId;
    std::uint16_t productId = 0x1822;  // bits 0x0800 and 0x1000 set, as the program expects
    std::uint16_t inputReportLength = 8;
    std::uint16_t outputReportLength = 8;
    // Answer to the link start (0x51, 0x06): 0x80 (display mode 1) or 0x81.
    std::uint8_t linkAnswer = 0x80;
    bool answerLinkStart = true;
    // Signal readiness (0x5A, sequence 4-7) after a transfer announcement (0x3E, 0x3F).
    bool answerTransfers = true;
    // Answer codec register reads (0x70) with an input report (code 0x70, byte 3
    // 0xF0, bytes 4-6 register and value).
    bool answerRegisterReads = true;
    bool broadcastDeviceChange = true;
    // Plug also sets VOXLINK_VIRTUAL_HANDSET in this process's environment.
    bool setEnvironment = true;
};

struct OutputRecord {
    std::vector<std::uint8_t> bytes;  // the whole report as written
    double atMs = 0;                  // since the handset was created
};

struct Acknowledgement {
    int sequence = 0;
    bool handled = false;  // 0x50 | s; false for 0x30 | s (keys disabled)
    double atMs = 0;
};

// The handset's readable state, from the commands it was sent.
struct HandsetState {
    bool plugged = false;
    int connections = 0;         // pipe clients connected now
    bool ringing = false;        // 0x9E on; 0x1F, 0x20, 0x9F off
    bool callActive = false;     // 0x1F on, 0x20 off
    bool routing = false;        // 0x98 (outgoing call routed) until 0x1F or 0x20
    bool callFailed = false;     // 0x9F
    bool muted = false;          // 0x2F on, 0x2E off
    bool noList = false;         // 0x1A outside a transfer, until the next transfer
    bool shutdown = false;       // 0x07
    bool mixerEnabled = false;   // register 0x1A written with 0x55 0x55
    int userStatusCommand = -1;  // last of 0x72-0x78
    int ringToneChanges = 0;     // 0x2D
    int linkStarts = 0;
    int handshakesSent = 0;
    int handshakesRefused = 0;  // 0x24-0x27
    int transfers = 0;          // completed (0x1A, 0x0A)
    int lastCommand = -1;
    std::map<int, std::pair<int, int>> registers;  // codec register writes
};

class VirtualHandset {
public:
    explicit VirtualHandset(VirtualHandsetOptions options = {});
    ~VirtualHandset();  // unplugs
    VirtualHandset(const VirtualHandset&) = delete;
    VirtualHandset& operator=(const VirtualHandset&) = delete;

    const VirtualHandsetOptions& Options() const;

    // Serves the pipe and announces the device; false when the pipe can't be created.
    bool Plug();
    void Unplug();
    bool Plugged() const;
    // A handset whose firmware hangs stops taking output reports (false): once
    // the pipe's buffer is full, the program's writes wait. Until true again
    // or the next unplug.
    void TakeOutputs(bool take);

    // A key report with the next sequence number (0, 1, 2, 3, 0, ...); returns
    // the sequence number, or -1 when unplugged.
    int PressKey(std::uint8_t code, std::uint8_t aux = 0);
    int Lift() { return PressKey(0x1F); }
    int HangUp() { return PressKey(0x20); }
    // Sends the last key report again, same sequence number.
    bool RepeatLastKey();
    // An out-of-sequence report (sequence 4-7), 0x5A = ready for a transfer.
    bool SendHandshake(std::uint8_t code = 0x5A);
    // Any input report (padded or cut to the input report length).
    bool SendReport(const std::vector<std::uint8_t>& report);

    // Waits (true) or times out (false).
    bool WaitForConnections(int count, int timeoutMs) const;
    bool WaitForAcknowledgement(int sequence, int timeoutMs) const;
    bool WaitForOutputs(std::size_t count, int timeoutMs) const;
    bool WaitForTransfers(int count, int timeoutMs) const;
    // Index of the first output report at or after `from` whose first bytes
    // equal pattern (-1 matches any byte); -1 on time-out.
    int WaitForOutput(const std::vector<int>& pattern, std::size_t from, int timeoutMs) const;
    // Until the display (RenderText) contains the text.
    bool WaitForDisplay(const std::string& text, int timeoutMs) const;

    std::vector<OutputRecord> Outputs() const;
    std::vector<Acknowledgement> Acknowledgements() const;
    HandsetState State() const;
    // The screen the last completed transfer left.
    LcdScreen Screen() const;
    std::string DisplayText() const;
    std::string DisplayArt() const;
    bool SavePng(const std::string& path, int scale = 2) const;
    bool SavePbm(const std::string& path) const;
    // Font for the characters the handset draws itself (Latin glyph table layout).
    void SetFont(const AsciiFont& font);

    // Every report both ways and every plug event, one line each
    // ("MCU<-PC: ..." received, "MCU->PC: ..." sent).
    std::vector<std::string> Transcript() const;
    // Also hands each transcript line to a function as it happens (nullptr: none).
    void SetTranscriptSink(std::function<void(const std::string&)> sink);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace handsetsim
