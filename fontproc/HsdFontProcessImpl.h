// The display font component behind the CHsdFontProcess interface: turns text
// into the LCD's stream of two-byte items and sends that stream to the
// handset's MCU through I_HsdHIDCtrl::SendCommandData.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HsdFontProcess.h"

// A trace line of the component: to the program's sink once it has handed
// one (SetComponentTraceSink), else to standard output.
void FontTrace(int level, const char* line);

class CHsdFontProcessImpl final : public CHsdFontProcess {
public:
    CHsdFontProcessImpl() = default;
    ~CHsdFontProcessImpl() override;
    CHsdFontProcessImpl(const CHsdFontProcessImpl&) = delete;
    CHsdFontProcessImpl& operator=(const CHsdFontProcessImpl&) = delete;

    HsdStatus InitialFontTable(const char* folder) override;
    HsdStatus HexToInt(const unsigned char* bytes, int length, std::int32_t* value) override;
    HsdStatus TransferUnicodeToCode(unsigned char* buffer) override;
    HsdStatus UTF_8ToUnicodeToFontCode(const char* text) override;
    HsdStatus SendFontCode2MCU() override;
    HsdStatus UTF_8ToUnicode2Font(const char* text, unsigned char* out) override;
    HsdStatus FontCodeToUnicodeToUTF_8(const char* text, unsigned char* out) override;
    HsdStatus Transfer950FontCode(const unsigned char* code, unsigned char* glyph) override;
    HsdStatus Transfer936FontCode(const unsigned char* code, unsigned char* glyph) override;
    HsdStatus Transfer932FontCode(const unsigned char* code, unsigned char* glyph) override;
    HsdStatus BalanceToFontCode(std::int32_t balance) override;
    HsdStatus Unicode2FontCode(const unsigned char* text) override;
    HsdStatus TransferUnicodeToLatin(const unsigned char* ucs2, std::int32_t* code) override;
    void TransferLatinFontCode(std::int32_t code, unsigned char* glyph) override;
    HsdStatus SetHIDCtrlInterface(I_HsdHIDCtrl* hidCtrl) override;
    HsdStatus SetHIDCtrlInterfaceKey(int handsetOpen, int pace) override;
    HsdStatus SetkeepProcess2MCUDataMonitor(std::int32_t flag) override;
    HsdStatus SetSupportedARF(std::int32_t flag) override;

    // Which table the last lookup succeeded in: 1 Big5, 2 GB2312, 3 Shift-JIS, -1 none.
    int LastCodeTable();

private:
    using Stream = std::vector<unsigned char>;
    class StreamWriter;

    // How a text's characters are put into the stream.
    void WriteAscii(StreamWriter& writer, unsigned char character);
    void WriteLatin(StreamWriter& writer, std::int32_t latinCode);
    void WriteWide(StreamWriter& writer, const std::uint16_t* unicode);

    HsdStatus GlyphLookup(std::FILE* file, int index, unsigned char* glyph);
    void ReplacePending(std::shared_ptr<const Stream> stream);
    // Forgets the pending stream if it is still the one a transfer has sent.
    void ReleasePending(const std::shared_ptr<const Stream>& sent);
    std::string FontPath(const char* name) const;
    void CloseFontFiles();

    std::FILE* fileTIF0_ = nullptr;
    std::FILE* fileTIF6_ = nullptr;
    std::FILE* fileTIF2_ = nullptr;
    std::FILE* fileTurkeyInx_ = nullptr;
    std::FILE* fileTCF0_ = nullptr;
    std::FILE* fileTCF6_ = nullptr;
    std::FILE* fileTCF2_ = nullptr;
    std::FILE* fileTurkey8x16_ = nullptr;
    int lastCodeTable_ = -1;
    std::atomic<int> enabled_{0};
    std::atomic<int> paceTransfers_{0};
    std::string fontFolder_;
    // The stream is shared with a transfer that is sending it, so a
    // conversion that replaces it never frees bytes still being sent.
    std::uint32_t pendingCount_ = 0;
    std::shared_ptr<const Stream> pendingStream_;
    std::atomic<int> stopTransfer_{0};
    std::atomic<int> supportedARF_{0};
    I_HsdHIDCtrl* hidCtrl_ = nullptr;
    std::recursive_mutex lock_;
};
