// The display font component of HsdFontProcessLib, as the program and the HID
// library see it. Other binaries call it only through this table, so the
// order of the operations is fixed. Only plain types cross the boundary.
#pragma once

#include <cstdint>

#include "HsdStatus.h"

class I_HsdHIDCtrl;

// Texts travel in 255-byte zero-filled buffers; FontCodeToUnicodeToUTF_8 writes
// at most this many bytes, so the result stays terminated.
inline constexpr int kHsdFontTextMaxBytes = 254;

class CHsdFontProcess {
public:
    // Opens the eight font files, in the folder when one is given (may be null).
    virtual HsdStatus InitialFontTable(const char* folder) = 0;
    // Big-endian value of 1 or 2 bytes.
    virtual HsdStatus HexToInt(const unsigned char* bytes, int length, std::int32_t* value) = 0;
    // buffer[2]: in, a UCS-2 value high byte first; out, its double-byte code, lead byte first.
    virtual HsdStatus TransferUnicodeToCode(unsigned char* buffer) = 0;
    // Converts a UTF-8 text into the pending LCD stream.
    virtual HsdStatus UTF_8ToUnicodeToFontCode(const char* text) = 0;
    // Sends the pending LCD stream to the handset: 0 sent, 1 stopped, E_FAIL otherwise.
    virtual HsdStatus SendFontCode2MCU() = 0;
    // UTF-8 to code-page text; out is a zero-filled buffer of at least 34 bytes.
    virtual HsdStatus UTF_8ToUnicode2Font(const char* text, unsigned char* out) = 0;
    // Code-page text to UTF-8; out is a zero-filled buffer of at least the smaller of
    // 1.5 × strlen(text) + 1 and kHsdFontTextMaxBytes + 1 bytes.
    virtual HsdStatus FontCodeToUnicodeToUTF_8(const char* text, unsigned char* out) = 0;
    // code[2] lead byte first; glyph receives 32 bytes.
    virtual HsdStatus Transfer950FontCode(const unsigned char* code, unsigned char* glyph) = 0;
    virtual HsdStatus Transfer936FontCode(const unsigned char* code, unsigned char* glyph) = 0;
    virtual HsdStatus Transfer932FontCode(const unsigned char* code, unsigned char* glyph) = 0;
    // Builds the pending stream for a balance in hundredths.
    virtual HsdStatus BalanceToFontCode(std::int32_t balance) = 0;
    // Converts a text of ASCII bytes and two-byte UCS-2 values into the pending stream.
    virtual HsdStatus Unicode2FontCode(const unsigned char* text) = 0;
    // ucs2[2] high byte first; returns 1 with the Latin code, or 0 with 0x20.
    virtual HsdStatus TransferUnicodeToLatin(const unsigned char* ucs2, std::int32_t* code) = 0;
    // glyph receives the 16 bytes of the 8x16 Latin glyph.
    virtual void TransferLatinFontCode(std::int32_t code, unsigned char* glyph) = 0;
    virtual HsdStatus SetHIDCtrlInterface(I_HsdHIDCtrl* hidCtrl) = 0;
    // Called by the HID component each time it opens the handset (or fails to).
    virtual HsdStatus SetHIDCtrlInterfaceKey(int handsetOpen, int pace) = 0;
    // 1 asks the running transfer, or else the next one, to stop after the item
    // being sent; the transfer that stops clears it. 0 withdraws the request.
    virtual HsdStatus SetkeepProcess2MCUDataMonitor(std::int32_t flag) = 0;
    virtual HsdStatus SetSupportedARF(std::int32_t flag) = 0;

protected:
    // Destroyed only through the library's DeleteComponentInstance.
    virtual ~CHsdFontProcess() = default;
};

// The version of the table above, which the library's ComponentInterfaceVersion
// export answers and the program compares before it creates the component.
// Bump it with every change to the table.
inline constexpr unsigned int kHsdFontProcessInterfaceVersion = 1;

// Exports of HsdFontProcessLib, bound by name with GetProcAddress.
using PFN_CreateFontProcess = int (*)(CHsdFontProcess** out);
using PFN_DeleteFontProcess = int (*)(CHsdFontProcess** component);
