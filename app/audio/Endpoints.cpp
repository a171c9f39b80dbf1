// This file defines the interface and property ids it uses.
#include <initguid.h>

#include "Endpoints.h"

#include <functiondiscoverykeys_devpkey.h>
#include <mmsystem.h>
#include <objbase.h>

#include <atomic>
#include <cmath>
#include <cstring>

#include "CodePageText.h"
#include "GuidText.h"

namespace {

// The reference count and interface query of a callback object that the audio
// service holds; the object goes with its last reference.
template <typename Interface, const IID& kInterfaceId>
class ServiceCallback : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kInterfaceId)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    virtual ~ServiceCallback() = default;

private:
    std::atomic<ULONG> references_{1};
};

// The endpoint's device container: the same key as the device property
// DEVPKEY_Device_ContainerId.
const PROPERTYKEY kContainerIdKey = {
    {0x8c7ed206, 0x3f8a, 0x4827, {0xb3, 0xab, 0xae, 0x9e, 0x1f, 0xae, 0xfc, 0x6c}}, 2};

// The mixer's scale: 0-65535 in 31 steps.
constexpr DWORD kFullScale = 65535;
constexpr DWORD kSteps = 31;
constexpr DWORD kStepSize = kFullScale / kSteps;
// The control id the endpoint notifications carry beside their source.
constexpr LPARAM kMasterVolumeControl = 1;

HRESULT CreateSystemEnumerator(IMMDeviceEnumerator** out) {
    // The enumerator's objects are used from the main, input and dialog
    // threads: they live in the multithreaded apartment.
    thread_local const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(joined) && joined != RPC_E_CHANGED_MODE) {
        return joined;
    }
    return CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                            reinterpret_cast<void**>(out));
}

std::atomic<EndpointEnumeratorFactory> g_factory{CreateSystemEnumerator};

void ReadProperties(IMMDevice& device, AudioEndpoint& endpoint) {
    IPropertyStore* store = nullptr;
    if (FAILED(device.OpenPropertyStore(STGM_READ, &store))) {
        return;
    }
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR) {
        endpoint.name = value.pwszVal;
    }
    PropVariantClear(&value);
    if (SUCCEEDED(store->GetValue(kContainerIdKey, &value)) && value.vt == VT_CLSID &&
        value.puuid != nullptr) {
        endpoint.container = GuidText(*value.puuid);
    }
    PropVariantClear(&value);
    store->Release();
}

bool SameContainer(const std::string& a, const std::string& b) {
    return a.size() == b.size() && _stricmp(a.c_str(), b.c_str()) == 0;
}

// A container that tells one device from another; empty for none and for the
// computer's own.
std::string DeviceContainer(const std::string& container) {
    return SameContainer(container, kComputerContainer) ? std::string() : container;
}

std::wstring DeviceDescription(const std::wstring& name) {
    const std::size_t open = name.rfind(L'(');
    const std::size_t close = name.rfind(L')');
    if (open == std::wstring::npos || close == std::wstring::npos || close < open) {
        return name;
    }
    return name.substr(open + 1, close - open - 1);
}

bool SameDevice(const AudioEndpoint& speaker, const AudioEndpoint& microphone) {
    if (speaker.name.find(L"USB") == std::wstring::npos ||
        microphone.name.find(L"USB") == std::wstring::npos) {
        return false;
    }
    const std::string a = DeviceContainer(speaker.container);
    const std::string b = DeviceContainer(microphone.container);
    if (!a.empty() && !b.empty()) {
        return SameContainer(a, b);
    }
    return DeviceDescription(speaker.name) == DeviceDescription(microphone.name);
}

const AudioEndpoint* FirstInContainer(const std::vector<AudioEndpoint>& endpoints,
                                      const std::string& container) {
    for (const AudioEndpoint& endpoint : endpoints) {
        if (SameContainer(endpoint.container, container)) {
            return &endpoint;
        }
    }
    return nullptr;
}

}  // namespace

void SetEndpointEnumeratorFactory(EndpointEnumeratorFactory factory) {
    g_factory.store(factory != nullptr ? factory : CreateSystemEnumerator);
}

IMMDeviceEnumerator* CreateEndpointEnumerator() {
    IMMDeviceEnumerator* enumerator = nullptr;
    if (FAILED(g_factory.load()(&enumerator))) {
        return nullptr;
    }
    return enumerator;
}

std::vector<AudioEndpoint> ListEndpoints(IMMDeviceEnumerator& enumerator, EDataFlow flow) {
    std::vector<AudioEndpoint> endpoints;
    IMMDeviceCollection* collection = nullptr;
    if (FAILED(enumerator.EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection))) {
        return endpoints;
    }
    UINT count = 0;
    collection->GetCount(&count);
    for (UINT i = 0; i < count; ++i) {
        IMMDevice* device = nullptr;
        if (FAILED(collection->Item(i, &device))) {
            continue;
        }
        AudioEndpoint endpoint;
        LPWSTR id = nullptr;
        if (SUCCEEDED(device->GetId(&id))) {
            endpoint.id = id;
            CoTaskMemFree(id);
            ReadProperties(*device, endpoint);
            endpoints.push_back(std::move(endpoint));
        }
        device->Release();
    }
    collection->Release();
    return endpoints;
}

HandsetEndpoints ChooseHandsetEndpoints(const std::vector<AudioEndpoint>& render,
                                        const std::vector<AudioEndpoint>& capture,
                                        const std::string& containerId) {
    const std::string container = DeviceContainer(containerId);
    if (!container.empty()) {
        const AudioEndpoint* speaker = FirstInContainer(render, container);
        const AudioEndpoint* microphone = FirstInContainer(capture, container);
        if (speaker != nullptr && microphone != nullptr) {
            return {speaker, microphone, true};
        }
    }
    for (const AudioEndpoint& speaker : render) {
        for (const AudioEndpoint& microphone : capture) {
            if (SameDevice(speaker, microphone)) {
                return {&speaker, &microphone, false};
            }
        }
    }
    return {};
}

// ---- EndpointFader ----

// Called by the audio service on its own thread: it only posts.
class EndpointFader::Notifier final
    : public ServiceCallback<IAudioEndpointVolumeCallback, IID_IAudioEndpointVolumeCallback> {
public:
    Notifier(HWND window, WPARAM source) : window(window), source(source) {}

    HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA) override {
        if (window != nullptr) {
            PostMessageA(window, MM_MIXM_CONTROL_CHANGE, source, kMasterVolumeControl);
        }
        return S_OK;
    }

private:
    HWND window;
    WPARAM source;
};

EndpointFader::~EndpointFader() {
    Close();
}

bool EndpointFader::Open(IMMDeviceEnumerator& enumerator, const AudioEndpoint& endpoint,
                         HWND window) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    CloseLocked();
    IMMDevice* device = nullptr;
    if (FAILED(enumerator.GetDevice(endpoint.id.c_str(), &device))) {
        return false;
    }
    const HRESULT activated = device->Activate(IID_IAudioEndpointVolume, CLSCTX_ALL, nullptr,
                                               reinterpret_cast<void**>(&volume));
    device->Release();
    if (FAILED(activated) || volume == nullptr) {
        volume = nullptr;
        return false;
    }
    notifier = new Notifier(window, reinterpret_cast<WPARAM>(this));
    if (FAILED(volume->RegisterControlChangeNotify(notifier))) {
        notifier->Release();
        notifier = nullptr;
    }
    name = endpoint.name;
    DWORD value = 0;
    if (ReadValue(&value)) {
        sliderPos = value / kStepSize;
    }
    return true;
}

void EndpointFader::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    CloseLocked();
}

void EndpointFader::CloseLocked() {
    if (volume != nullptr) {
        if (notifier != nullptr) {
            volume->UnregisterControlChangeNotify(notifier);
        }
        volume->Release();
        volume = nullptr;
    }
    if (notifier != nullptr) {
        notifier->Release();
        notifier = nullptr;
    }
    name.clear();
    sliderPos = 0;
}

bool EndpointFader::ReadValue(DWORD* value) {
    float scalar = 0.0f;
    if (volume == nullptr || FAILED(volume->GetMasterVolumeLevelScalar(&scalar))) {
        return false;
    }
    const float clamped = scalar < 0.0f ? 0.0f : scalar > 1.0f ? 1.0f : scalar;
    *value = static_cast<DWORD>(std::lround(clamped * kFullScale));
    return true;
}

bool EndpointFader::WriteValue(DWORD value) {
    const float scalar = static_cast<float>(value) / static_cast<float>(kFullScale);
    return volume != nullptr && SUCCEEDED(volume->SetMasterVolumeLevelScalar(scalar, nullptr));
}

void EndpointFader::SetFaderValue(int kind, unsigned int level) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    const auto target = FaderTarget(kind, level, sliderPos, kSteps, kStepSize);
    const DWORD value = static_cast<DWORD>(std::min<std::uint64_t>(target, kFullScale));
    if (WriteValue(value)) {
        sliderPos = value / kStepSize;
    }
}

int EndpointFader::GetFaderLevel() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    DWORD value = 0;
    return ReadValue(&value) ? FaderLevel(value, kSteps, kStepSize) : 0;
}

int EndpointFader::OnControlChange(WPARAM source, LPARAM control) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    DWORD value = 0;
    if (source != reinterpret_cast<WPARAM>(this) || control != kMasterVolumeControl ||
        !ReadValue(&value)) {
        return 0;
    }
    // Written only when below the floor: the write notifies again.
    if (value < kMicFloor && WriteValue(kMicFloor)) {
        value = kMicFloor;
    }
    sliderPos = value / kStepSize;
    return 0;
}

std::string EndpointFader::DeviceNameUtf8() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return Narrow(name, CP_UTF8);
}

bool EndpointFader::IsOpen() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return volume != nullptr;
}

DWORD EndpointFader::SliderPos() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return sliderPos;
}

// ---- endpoint watch ----

namespace {

// Called by the audio service on its own thread: it only posts.
class EndpointWatch final
    : public ServiceCallback<IMMNotificationClient, IID_IMMNotificationClient> {
public:
    EndpointWatch(HWND window, UINT message) : window(window), message(message) {}

    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return Post(); }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return Post(); }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return Post(); }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
        return S_OK;
    }

private:
    HRESULT Post() {
        PostMessageA(window, message, 0, 0);
        return S_OK;
    }

    HWND window;
    UINT message;
};

}  // namespace

IMMNotificationClient* NewEndpointWatch(HWND window, UINT message) {
    return new EndpointWatch(window, message);
}
