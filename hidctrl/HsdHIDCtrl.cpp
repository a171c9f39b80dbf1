#include "HsdHIDCtrl.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "HidTrace.h"
#include "HsdFontProcess.h"
#include "Report.h"
#include "ThreadLabel.h"

namespace {

constexpr DWORD kStopWaitMs = 500;
constexpr DWORD kRetryPauseMs = 17;
// Far beyond what a working handset needs for one 8-byte report (about 1 ms).
constexpr DWORD kWriteLimitMs = 500;
// A device that reports no length is written and read with the handset's 8 bytes.
constexpr USHORT kHandsetReportLength = 8;

USHORT OrDefault(USHORT length) {
    return length != 0 ? length : kHandsetReportLength;
}

// One output report written, waiting at most limitMs for the device to take
// it: a handset that stops taking reports (a firmware hang, a flaky hub) must
// not hold the writing thread. A write that does not finish in time is
// cancelled and counts as a failed attempt.
bool WriteWithLimit(HANDLE device, const void* data, DWORD length, DWORD limitMs) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) {
        return false;
    }
    bool written = WriteFile(device, data, length, nullptr, &overlapped) != FALSE;
    if (!written && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, limitMs) != WAIT_OBJECT_0) {
            CancelIoEx(device, &overlapped);
        }
        // Waits for the cancelled write to be finished before its buffer goes away.
        DWORD ignored = 0;
        written = GetOverlappedResult(device, &overlapped, &ignored, TRUE) != FALSE;
    }
    CloseHandle(overlapped.hEvent);
    return written;
}

void CloseIfValid(HANDLE& handle) {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) {
        CloseHandle(handle);
    }
    handle = INVALID_HANDLE_VALUE;
}

// Waits for the thread to end while still handling messages sent to this
// thread's windows: the read thread may be blocked delivering a report to a
// window of the thread that is stopping it.
bool WaitForThreadWhileDispatching(HANDLE thread, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD result =
            MsgWaitForMultipleObjects(1, &thread, FALSE, remaining, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result != WAIT_OBJECT_0 + 1) {
            return false;
        }
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

CHsdHIDCtrl::CHsdHIDCtrl()
    : CHsdHIDCtrl(CreateWin32HidPlatform(),
                  std::make_unique<CUsbHubWalker>(CreateWin32UsbHubPort())) {}

CHsdHIDCtrl::CHsdHIDCtrl(std::unique_ptr<IHidPlatform> platform,
                         std::unique_ptr<CUsbHubWalker> walker)
    : portEnumerator(std::move(walker)), platform_(std::move(platform)) {}

CHsdHIDCtrl::~CHsdHIDCtrl() {
    ResetDevice();
}

HsdStatus CHsdHIDCtrl::OpenDevice(unsigned short vendorMask, unsigned short productMask) {
    // The result is either the matched device or none; a device still open
    // from before is closed rather than lost.
    ReplaceOutput(nullptr);
    if (platform_ == nullptr) {
        return E_FAIL;
    }
    for (const HidCandidate& candidate : platform_->Enumerate()) {
        HANDLE device = platform_->Open(candidate.path, true);
        if (device == INVALID_HANDLE_VALUE) {
            continue;
        }
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (platform_->GetAttributes(device, candidate, attributes) &&
            HidDeviceMatches(attributes.VendorID, attributes.ProductID, vendorMask, productMask,
                             productIdList, productIdCount)) {
            vendorId = attributes.VendorID;
            productId = attributes.ProductID;
            caps = HIDP_CAPS{};
            platform_->GetCaps(device, candidate, caps);
            devicePath = candidate.path;
            opened = candidate;
            ReplaceOutput(
                std::make_shared<OutputDevice>(device, OrDefault(caps.OutputReportByteLength)));
            return HSD_OK;
        }
        CloseHandle(device);
    }
    return E_FAIL;
}

HsdStatus CHsdHIDCtrl::CloseDevice() {
    StopReadThread();
    ReplaceOutput(nullptr);
    return HSD_OK;
}

std::shared_ptr<CHsdHIDCtrl::OutputDevice> CHsdHIDCtrl::Output() const {
    std::lock_guard<std::mutex> guard(outputLock_);
    return output_;
}

void CHsdHIDCtrl::ReplaceOutput(std::shared_ptr<OutputDevice> next) {
    std::shared_ptr<OutputDevice> old;
    {
        std::lock_guard<std::mutex> guard(outputLock_);
        old = std::exchange(output_, std::move(next));
    }
    if (old != nullptr) {
        // A write waiting on the old device ends now instead of at its limit,
        // and makes no further attempt.
        old->closed = true;
        CancelIoEx(old->handle, nullptr);
    }
}

HsdStatus CHsdHIDCtrl::ReopenDevice() {
    CloseDevice();
    const HsdStatus result = OpenDevice(kDefaultVendorMask, kDefaultProductMask);
    if (result == HSD_OK && fontProcess != nullptr) {
        paceTransfers = 0;
        if (portEnumerator != nullptr) {
            int connected = 0;
            paceTransfers = portEnumerator->FindDevice(0, &connected, vendorId, productId);
        }
        fontProcess->SetHIDCtrlInterfaceKey(1, paceTransfers);
    }
    return result;
}

HsdStatus CHsdHIDCtrl::ResetDevice() {
    CloseDevice();
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::StartReadThread(void* window) {
    if (!IsOpen()) {
        OpenDevice(kDefaultVendorMask, kDefaultProductMask);
    }
    if (readHandle == INVALID_HANDLE_VALUE && !devicePath.empty() && platform_ != nullptr) {
        readHandle = platform_->Open(devicePath, true);
    }
    if (readEvent == nullptr) {
        readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        readOverlapped = OVERLAPPED{};
        readOverlapped.hEvent = readEvent;
    }
    if (stopEvent == nullptr) {
        stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    if (readThread != nullptr) {
        return HSD_OK;
    }
    notifyWindow = window;
    running = 1;
    readThread = CreateThread(nullptr, 0, HSD_ReadThreadProc, this, 0, nullptr);
    if (readThread == nullptr) {
        running = 0;
        return E_FAIL;
    }
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::StopReadThread() {
    running = 0;
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
    if (readThread != nullptr) {
        SetThreadPriority(readThread, THREAD_PRIORITY_HIGHEST);
        Sleep(3);
        if (!WaitForThreadWhileDispatching(readThread, kStopWaitMs)) {
            // Last resort: the thread neither stopped nor got its delivery handled.
            TerminateThread(readThread, 0);
        }
        CloseHandle(readThread);
        readThread = nullptr;
    }
    CloseIfValid(readHandle);
    if (readEvent != nullptr) {
        CloseHandle(readEvent);
        readEvent = nullptr;
        readOverlapped.hEvent = nullptr;
    }
    if (stopEvent != nullptr) {
        CloseHandle(stopEvent);
        stopEvent = nullptr;
    }
    return HSD_OK;
}

DWORD WINAPI CHsdHIDCtrl::HSD_ReadThreadProc(LPVOID parameter) {
    SetThreadLabel("CHsdHIDCtrl -> HSD_ReadThreadProc");
    try {
        static_cast<CHsdHIDCtrl*>(parameter)->ReadLoop();
    } catch (...) {
        static_cast<CHsdHIDCtrl*>(parameter)->running = 0;
    }
    return 0;
}

void CHsdHIDCtrl::ReadLoop() {
    const USHORT length = OrDefault(caps.InputReportByteLength);
    std::vector<std::uint8_t> report(std::max<std::size_t>(length, 8));
    // Set once a read has failed (device gone, or never opened): from then on
    // the thread only waits for its stop request instead of delivering a
    // report that was never read.
    bool deviceLost = false;
    while (running != 0) {
        std::fill(report.begin(), report.end(), 0);
        bool pending = false;
        if (!deviceLost) {
            readOverlapped.Offset = 0;
            readOverlapped.OffsetHigh = 0;
            if (ReadFile(readHandle, report.data(), length, nullptr, &readOverlapped) ||
                GetLastError() == ERROR_IO_PENDING) {
                pending = true;
            } else {
                deviceLost = true;
            }
        }
        HANDLE events[2] = {stopEvent, readEvent};
        const DWORD result = WaitForMultipleObjects(pending ? 2 : 1, events, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            ResetEvent(stopEvent);
            if (pending) {
                CancelIo(readHandle);
                DWORD ignored = 0;
                // The cancelled read must be finished before its buffer goes away.
                GetOverlappedResult(readHandle, &readOverlapped, &ignored, TRUE);
            }
            running = 0;
            break;
        }
        if (result != WAIT_OBJECT_0 + 1) {
            running = 0;
            break;
        }
        DWORD received = 0;
        const bool read = GetOverlappedResult(readHandle, &readOverlapped, &received, FALSE);
        ResetEvent(readEvent);
        if (!read) {
            deviceLost = true;
            continue;
        }
        HidTrace(InputTraceLine(report.data()));
        const InputMessageWords words = PackInputReport(report.data(), length);
        if (HWND window = static_cast<HWND>(notifyWindow.load())) {
            SendMessageA(window, notifyMessage.load(), static_cast<WPARAM>(words.wParam),
                         static_cast<LPARAM>(words.lParam));
        }
    }
}

HsdStatus CHsdHIDCtrl::SetNotifyMessage(unsigned int message) {
    notifyMessage = message;
    return 1;
}

void CHsdHIDCtrl::WriteReport(const OutputDevice& device, const OutputReportBytes& report,
                              int attempts) {
    const USHORT length = device.reportLength;
    std::vector<std::uint8_t> buffer(std::max<std::size_t>(length, 8), 0);
    std::memcpy(buffer.data(), report.data(), report.size());
    for (int attempt = 1; attempt <= attempts && !device.closed; ++attempt) {
        if (WriteWithLimit(device.handle, buffer.data(), length, kWriteLimitMs)) {
            return;
        }
        if (attempt < attempts) {
            Sleep(kRetryPauseMs);
        }
    }
}

HsdStatus CHsdHIDCtrl::SendCommand(unsigned char command) {
    const std::shared_ptr<OutputDevice> device = Output();
    if (device == nullptr) {
        return HSD_OK;
    }
    const OutputReportBytes report = CommandReport(command);
    HidTrace(CommandTraceLine(report));
    WriteReport(*device, report, 2);
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::SendCommandData(unsigned char command, unsigned char data) {
    const std::shared_ptr<OutputDevice> device = Output();
    if (device == nullptr) {
        return E_FAIL;
    }
    const OutputReportBytes report = CommandDataReport(command, data);
    HidTrace(CommandTraceLine(report));
    WriteReport(*device, report, 2);
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::SendRegisterReport(const OutputReportBytes& report,
                                          const std::string& trace) {
    const std::shared_ptr<OutputDevice> device = Output();
    if (device == nullptr) {
        return E_FAIL;
    }
    HidTrace(trace);
    WriteReport(*device, report, 1);
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::EnableMixerControl() {
    const OutputReportBytes report = SetRegisterReport(kMixerControlRegister, 0x55, 0x55);
    return SendRegisterReport(report, RegisterTraceLine("EnableMixerControl", report));
}

HsdStatus CHsdHIDCtrl::DisableMixerControl() {
    const OutputReportBytes report = SetRegisterReport(kMixerControlRegister, 0x00, 0x00);
    return SendRegisterReport(report, RegisterTraceLine("DisableMixerControl", report));
}

HsdStatus CHsdHIDCtrl::HSD_GetMixerRegControl(unsigned char reg) {
    const OutputReportBytes report = GetRegisterReport(reg);
    return SendRegisterReport(report, GetRegisterTraceLine(reg, report));
}

HsdStatus CHsdHIDCtrl::HSD_SetMixerRegControl(unsigned char reg, unsigned char value1,
                                              unsigned char value2) {
    const OutputReportBytes report = SetRegisterReport(reg, value1, value2);
    return SendRegisterReport(report, RegisterTraceLine("HSD_SetMixerRegControl", report));
}

HsdStatus CHsdHIDCtrl::SetProductIdList(const int* ids, int count) {
    if (count > kMaxProductIds) {
        return HSD_OK;
    }
    if (count > 0 && ids == nullptr) {
        return HSD_OK;
    }
    productIdCount = count < 0 ? 0 : count;
    for (int i = 0; i < productIdCount; ++i) {
        productIdList[i] = ids[i];
    }
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::SetFontProcess(CHsdFontProcess* font) {
    fontProcess = font;
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::ShowLastError() {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return E_FAIL;
    }
    // The system's message in the user's language; ReportMessage takes UTF-8.
    char utf8[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
    LocalFree(text);
    ReportMessage(utf8, "Error", MB_OK | MB_ICONINFORMATION);
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::SetSupportedARF(int value) {
    supportedARF = value;
    return HSD_OK;
}

HsdStatus CHsdHIDCtrl::GetContainerId(char* out, unsigned int size) {
    std::string containerId;
    if (out == nullptr || size == 0 || platform_ == nullptr || !IsOpen() ||
        !platform_->GetContainerId(opened, containerId) || containerId.size() >= size) {
        return E_FAIL;
    }
    std::memcpy(out, containerId.c_str(), containerId.size() + 1);
    return HSD_OK;
}
