// The handset control component behind the I_HsdHIDCtrl interface.
#pragma once

#include "I_HsdHIDCtrl.h"

class CHsdHIDCtrl final : public I_HsdHIDCtrl {
public:
    CHsdHIDCtrl() = default;

    HsdStatus OpenDevice(unsigned short, unsigned short) override { return E_FAIL; }
    HsdStatus CloseDevice() override { return E_FAIL; }
    HsdStatus ReopenDevice() override { return E_FAIL; }
    HsdStatus ResetDevice() override { return E_FAIL; }
    HsdStatus StartReadThread(void*) override { return E_FAIL; }
    HsdStatus StopReadThread() override { return E_FAIL; }
    HsdStatus SetNotifyMessage(unsigned int) override { return E_FAIL; }
    HsdStatus SendCommand(unsigned char) override { return E_FAIL; }
    HsdStatus SendCommandData(unsigned char, unsigned char) override { return E_FAIL; }
    HsdStatus EnableMixerControl() override { return E_FAIL; }
    HsdStatus DisableMixerControl() override { return E_FAIL; }
    HsdStatus HSD_GetMixerRegControl(unsigned char) override { return E_FAIL; }
    HsdStatus HSD_SetMixerRegControl(unsigned char, unsigned char, unsigned char) override {
        return E_FAIL;
    }
    HsdStatus SetProductIdList(const int*, int) override { return E_FAIL; }
    HsdStatus SetFontProcess(CHsdFontProcess*) override { return E_FAIL; }
    HsdStatus ShowLastError() override { return E_FAIL; }
    HsdStatus SetSupportedARF(int) override { return E_FAIL; }

    // After the interface's operations, as the table's last slot.
    virtual ~CHsdHIDCtrl() = default;
};
