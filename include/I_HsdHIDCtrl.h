// The handset control component of HsdHIDCtrl, as the program and the font
// library see it. Other binaries call it only through this table, so the
// order of the operations is fixed. Only plain types cross the boundary.
#pragma once

#include "HsdStatus.h"

class CHsdFontProcess;

// Message that carries a handset input word to the notify window (WM_USER + 100).
inline constexpr unsigned int WM_HANDSET_INPUT = 0x464;

class I_HsdHIDCtrl {
public:
    virtual HsdStatus OpenDevice(unsigned short vendorMask, unsigned short productMask) = 0;
    virtual HsdStatus CloseDevice() = 0;
    virtual HsdStatus ReopenDevice() = 0;
    virtual HsdStatus ResetDevice() = 0;
    // notifyWindow is a window handle.
    virtual HsdStatus StartReadThread(void* notifyWindow) = 0;
    virtual HsdStatus StopReadThread() = 0;
    // Returns 1.
    virtual HsdStatus SetNotifyMessage(unsigned int message) = 0;
    virtual HsdStatus SendCommand(unsigned char command) = 0;
    virtual HsdStatus SendCommandData(unsigned char command, unsigned char data) = 0;
    virtual HsdStatus EnableMixerControl() = 0;
    virtual HsdStatus DisableMixerControl() = 0;
    virtual HsdStatus HSD_GetMixerRegControl(unsigned char reg) = 0;
    virtual HsdStatus HSD_SetMixerRegControl(unsigned char reg, unsigned char value1,
                                             unsigned char value2) = 0;
    virtual HsdStatus SetProductIdList(const int* ids, int count) = 0;
    virtual HsdStatus SetFontProcess(CHsdFontProcess* fontProcess) = 0;
    virtual HsdStatus ShowLastError() = 0;
    virtual HsdStatus SetSupportedARF(int value) = 0;
    // The open device's container id as GUID text ("{...}", NUL-terminated);
    // E_FAIL when no device is open, it has none (the virtual handset) or it
    // cannot be read. Added last, so the slots above keep their places.
    virtual HsdStatus GetContainerId(char* out, unsigned int size) = 0;

protected:
    // Destroyed only through the library's DeleteComponentInstance; the
    // implementing class adds its virtual destructor after these operations.
    ~I_HsdHIDCtrl() = default;
};

// The version of the table above, which the library's ComponentInterfaceVersion
// export answers and the program compares before it creates the component.
// Bump it with every change to the table: a program would otherwise call an
// older library's operations through the wrong slots. Libraries built before
// GetContainerId (version 1) lack the export.
inline constexpr unsigned int kHsdHIDCtrlInterfaceVersion = 2;

// Exports of HsdHIDCtrl, bound by name with GetProcAddress.
using PFN_CreateHIDCtrl = int (*)(I_HsdHIDCtrl** out);
using PFN_DeleteHIDCtrl = int (*)(I_HsdHIDCtrl** component);
