// The display font component behind the CHsdFontProcess interface.
#pragma once

#include "HsdFontProcess.h"

class CHsdFontProcessImpl final : public CHsdFontProcess {
public:
    CHsdFontProcessImpl() = default;
    ~CHsdFontProcessImpl() override = default;

    HsdStatus InitialFontTable(const char*) override { return E_FAIL; }
    HsdStatus HexToInt(const unsigned char*, int, std::int32_t*) override { return E_FAIL; }
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
    HsdStatus SetHIDCtrlInterface(I_HsdHIDCtrl*) override { return E_FAIL; }
    HsdStatus SetHIDCtrlInterfaceKey(int, int) override { return E_FAIL; }
    HsdStatus SetkeepProcess2MCUDataMonitor(std::int32_t) override { return E_FAIL; }
    HsdStatus SetSupportedARF(std::int32_t) override { return E_FAIL; }
};
