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
    std::wstring name;      // friendly name
    std::string container;  // "{GUID}" in upper case; empty when it cannot be read
};

// The active endpoints of one direction (eRender or eCapture), in the system's order.
std::vector<AudioEndpoint> ListEndpoints(IMMDeviceEnumerator& enumerator, EDataFlow flow);

// The container Windows gives everything it takes for part of the computer
// itself, built-in speakers and devices on ports it reports as non-removable
// alike: it never tells one device from another.
inline constexpr char kComputerContainer[] = "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";

struct HandsetEndpoints {
    const AudioEndpoint* speaker = nullptr;  // both set, or neither
    const AudioEndpoint* microphone = nullptr;
    bool byContainer = false;
};

// The handset's playback and recording endpoints, both from one device: the
// first of each in the HID device's container (containerId, "{GUID}"); else
// the first pair whose names contain "USB" and that belong together, by a
// shared container where both have one, else by the same device description
// (the text in the names' last parentheses, "Speakers (USB Audio Device)").
// Neither when no such pair exists, so that one device's speaker is never
// paired with another's microphone.
HandsetEndpoints ChooseHandsetEndpoints(const std::vector<AudioEndpoint>& render,
                                        const std::vector<AudioEndpoint>& capture,
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
    std::string DeviceNameUtf8() const override;
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
    std::wstring name;
    DWORD sliderPos = 0;
};

// Posts `message` to a window whenever an endpoint is added, removed or
// changes state, so that the main thread can look for the handset's again.
IMMNotificationClient* NewEndpointWatch(HWND window, UINT message);
