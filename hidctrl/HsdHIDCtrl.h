// The handset control component behind the I_HsdHIDCtrl interface: finds and
// opens the handset, reads its input reports on a thread and hands them to a
// window, writes output reports. Windows only.
#pragma once

#include <windows.h>

#include "HidApi.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "HidPlatform.h"
#include "HidReports.h"
#include "I_HsdHIDCtrl.h"
#include "UsbHubWalker.h"

class CHsdHIDCtrl final : public I_HsdHIDCtrl {
public:
    // The real platform: HID class driver, SetupAPI, hub driver, virtual handset.
    CHsdHIDCtrl();
    // Tests hand in made-up platforms; a null walker skips the hub walk.
    CHsdHIDCtrl(std::unique_ptr<IHidPlatform> platform, std::unique_ptr<CUsbHubWalker> walker);
    CHsdHIDCtrl(const CHsdHIDCtrl&) = delete;
    CHsdHIDCtrl& operator=(const CHsdHIDCtrl&) = delete;

    HsdStatus OpenDevice(unsigned short vendorMask, unsigned short productMask) override;
    HsdStatus CloseDevice() override;
    HsdStatus ReopenDevice() override;
    HsdStatus ResetDevice() override;
    HsdStatus StartReadThread(void* notifyWindow) override;
    HsdStatus StopReadThread() override;
    HsdStatus SetNotifyMessage(unsigned int message) override;
    HsdStatus SendCommand(unsigned char command) override;
    HsdStatus SendCommandData(unsigned char command, unsigned char data) override;
    HsdStatus EnableMixerControl() override;
    HsdStatus DisableMixerControl() override;
    HsdStatus HSD_GetMixerRegControl(unsigned char reg) override;
    HsdStatus HSD_SetMixerRegControl(unsigned char reg, unsigned char value1,
                                     unsigned char value2) override;
    HsdStatus SetProductIdList(const int* ids, int count) override;
    HsdStatus SetFontProcess(CHsdFontProcess* fontProcess) override;
    HsdStatus ShowLastError() override;
    HsdStatus SetSupportedARF(int value) override;
    HsdStatus GetContainerId(char* out, unsigned int size) override;

    // After the interface's operations, as the table's last slot.
    virtual ~CHsdHIDCtrl();

    // Read-only views for diagnostics and tests; not part of the interface.
    bool IsOpen() const { return Output() != nullptr; }
    bool HasReadThread() const { return readThread != nullptr; }
    int VendorId() const { return vendorId; }
    int ProductId() const { return productId; }
    const std::string& DevicePath() const { return devicePath; }
    int PaceTransfers() const { return paceTransfers; }
    int ProductIdCount() const { return productIdCount; }
    void* NotifyWindow() const { return notifyWindow.load(); }
    USHORT InputReportLength() const { return caps.InputReportByteLength; }
    USHORT OutputReportLength() const { return caps.OutputReportByteLength; }

private:
    static DWORD WINAPI HSD_ReadThreadProc(LPVOID parameter);
    void ReadLoop();
    // The open device as the writers see it. Each write holds a reference for
    // the length of one bounded write, so closing never waits on the device:
    // it cancels what is in flight, and the handle closes with its last user.
    struct OutputDevice {
        OutputDevice(HANDLE device, USHORT length) : handle(device), reportLength(length) {}
        OutputDevice(const OutputDevice&) = delete;
        OutputDevice& operator=(const OutputDevice&) = delete;
        ~OutputDevice() { CloseHandle(handle); }
        const HANDLE handle;  // opened for overlapped I/O
        const USHORT reportLength;
        std::atomic<bool> closed{false};  // replaced: no further attempts
    };
    std::shared_ptr<OutputDevice> Output() const;
    // Puts next in place of the open device and cancels the old one's writes.
    void ReplaceOutput(std::shared_ptr<OutputDevice> next);
    // The report written, each attempt bounded in time, at most `attempts` times.
    static void WriteReport(const OutputDevice& device, const OutputReportBytes& report,
                            int attempts);
    HsdStatus SendRegisterReport(const OutputReportBytes& report, const std::string& trace);

    std::atomic<int> running{0};
    std::string devicePath;
    HidCandidate opened;
    int supportedARF = 0;
    int paceTransfers = 0;
    int vendorId = 0;
    int productId = 0;
    HIDP_CAPS caps{};
    OVERLAPPED readOverlapped{};
    HANDLE readThread = nullptr;
    HANDLE readEvent = nullptr;
    HANDLE stopEvent = nullptr;
    HANDLE readHandle = INVALID_HANDLE_VALUE;
    int productIdList[kMaxProductIds] = {};
    int productIdCount = 0;
    std::atomic<void*> notifyWindow{nullptr};
    std::atomic<unsigned int> notifyMessage{WM_HANDSET_INPUT};
    CHsdFontProcess* fontProcess = nullptr;
    std::unique_ptr<CUsbHubWalker> portEnumerator;

    std::unique_ptr<IHidPlatform> platform_;
    // Guards output_ only, for the moment of taking or swapping it; never held
    // across a wait on the device or across printing.
    mutable std::mutex outputLock_;
    std::shared_ptr<OutputDevice> output_;
};
