// The handset's Core Audio endpoints: listing them, finding the handset's, and
// a fader over an endpoint's master volume.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <mutex>
#include <string>
#include <vector>

#include "HandsetFader.h"

// Makes the endpoint enumerator; tests put made-up endpoints behind it.
// nullptr restores the system's (MMDevice API, in the calling thread's COM
// multithreaded apartment).
using EndpointEnumeratorFactory = HRESULT (*)(IMMDeviceEnumerator** out);
void SetEndpointEnumeratorFactory(EndpointEnumeratorFactory factory);
// A new enumerator, or nullptr where the MMDevice API is missing.
IMMDeviceEnumerator* CreateEndpointEnumerator();

struct AudioEndpoint {
    std::wstring id;
    std::string name;       // friendly name, in the system code page
    std::string container;  // "{GUID}" in upper case; empty when it cannot be read
};

// The active endpoints of one direction (eRender or eCapture), in the system's order.
std::vector<AudioEndpoint> ListEndpoints(IMMDeviceEnumerator& enumerator, EDataFlow flow);

// The handset's endpoint: the one in the HID device's container, else (no
// container given, or none matches) the first whose name contains "USB".
// nullptr when there is none.
const AudioEndpoint* FindHandsetEndpoint(const std::vector<AudioEndpoint>& endpoints,
                                         const std::string& containerId);

// The master volume of one endpoint, its scalar 0.0-1.0 taken as a mixer value
// of 0-65535 in 31 steps, so that levels and steps come out as on the mixer.
// A change made anywhere posts MM_MIXM_CONTROL_CHANGE to the window with this
// object as the source.
class EndpointFader final : public HandsetFader {
public:
    EndpointFader() = default;
    EndpointFader(const EndpointFader&) = delete;
    EndpointFader& operator=(const EndpointFader&) = delete;
    ~EndpointFader() override;

    // false (and closed) when the endpoint is gone or has no volume control.
    bool Open(IMMDeviceEnumerator& enumerator, const AudioEndpoint& endpoint, HWND window);
    void Close();

    void SetFaderValue(int kind, unsigned int level) override;
    int GetFaderLevel() override;
    int OnControlChange(WPARAM source, LPARAM control) override;
    void GetDeviceName(char* out, std::size_t size) const override;
    bool IsOpen() const override;

    DWORD SliderPos() const;

private:
    class Notifier;

    bool ReadValue(DWORD* value);
    bool WriteValue(DWORD value);
    void CloseLocked();

    mutable std::recursive_mutex lock;
    IAudioEndpointVolume* volume = nullptr;
    Notifier* notifier = nullptr;
    std::string name;
    DWORD sliderPos = 0;
};

// Posts `message` to a window whenever an endpoint is added, removed or
// changes state, so that the main thread can look for the handset's again.
IMMNotificationClient* NewEndpointWatch(HWND window, UINT message);
