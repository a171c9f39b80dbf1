// An HID component that accepts every operation and does nothing, for tests and
// tools that watch only some operations (mostly SendCommandData) and override those.
#pragma once

#include "I_HsdHIDCtrl.h"

class SilentHidCtrl : public I_HsdHIDCtrl {
public:
    virtual ~SilentHidCtrl() = default;
    HsdStatus OpenDevice(unsigned short, unsigned short) override { return 0; }
    HsdStatus CloseDevice() override { return 0; }
    HsdStatus ReopenDevice() override { return 0; }
    HsdStatus ResetDevice() override { return 0; }
    HsdStatus StartReadThread(void*) override { return 0; }
    HsdStatus StopReadThread() override { return 0; }
    HsdStatus SetNotifyMessage(unsigned int) override { return 1; }
    HsdStatus SendCommand(unsigned char) override { return 0; }
    HsdStatus SendCommandData(unsigned char, unsigned char) override { return 0; }
    HsdStatus EnableMixerControl() override { return 0; }
    HsdStatus DisableMixerControl() override { return 0; }
    HsdStatus HSD_GetMixerRegControl(unsigned char) override { return 0; }
    HsdStatus HSD_SetMixerRegControl(unsigned char, unsigned char, unsigned char) override {
        return 0;
    }
    HsdStatus SetProductIdList(const int*, int) override { return 0; }
    HsdStatus SetFontProcess(CHsdFontProcess*) override { return 0; }
    HsdStatus ShowLastError() override { return 0; }
    HsdStatus SetSupportedARF(int) override { return 0; }
    HsdStatus GetContainerId(char*, unsigned int) override { return E_FAIL; }
};
