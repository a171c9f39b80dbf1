#include "FakeEndpoints.h"

#include <audioclient.h>
#include <endpointvolume.h>
#include <functiondiscoverykeys_devpkey.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "Endpoints.h"

namespace {

std::recursive_mutex g_lock;
std::vector<FakeEndpoint> g_endpoints;
IMMNotificationClient* g_watch = nullptr;
std::vector<std::pair<std::wstring, IAudioEndpointVolumeCallback*>> g_callbacks;
std::atomic<int> g_live{0};

FakeEndpoint* Find(const std::wstring& id) {
    for (FakeEndpoint& endpoint : g_endpoints) {
        if (endpoint.id == id) {
            return &endpoint;
        }
    }
    return nullptr;
}

// IUnknown for one interface, counting the objects alive.
template <class Interface>
class Fake : public Interface {
public:
    Fake() { ++g_live; }
    virtual ~Fake() { --g_live; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    std::atomic<ULONG> references{1};
};

class FakeVolume final : public Fake<IAudioEndpointVolume> {
public:
    explicit FakeVolume(std::wstring id) : id(std::move(id)) {}
    HRESULT STDMETHODCALLTYPE
    RegisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        callback->AddRef();
        g_callbacks.emplace_back(id, callback);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        for (auto& entry : g_callbacks) {
            if (entry.first == id && entry.second == callback) {
                callback->Release();
                entry.second = nullptr;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float level, LPCGUID) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        FakeEndpoint* endpoint = Find(id);
        if (endpoint == nullptr) {
            return AUDCLNT_E_DEVICE_INVALIDATED;
        }
        endpoint->scalar = level;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float* level) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        const FakeEndpoint* endpoint = Find(id);
        if (endpoint == nullptr) {
            return AUDCLNT_E_DEVICE_INVALIDATED;
        }
        *level = endpoint->scalar;
        return S_OK;
    }
    // The program uses none of these.
    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, float, LPCGUID) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT, float, LPCGUID) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT, float*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVolumeRange(float*, float*, float*) override { return E_NOTIMPL; }

private:
    std::wstring id;
};

class FakeStore final : public Fake<IPropertyStore> {
public:
    explicit FakeStore(FakeEndpoint endpoint) : endpoint(std::move(endpoint)) {}
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        PropVariantInit(value);
        if (IsEqualPropertyKey(key, PKEY_Device_FriendlyName)) {
            const std::size_t bytes = (endpoint.name.size() + 1) * sizeof(wchar_t);
            value->vt = VT_LPWSTR;
            value->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
            std::memcpy(value->pwszVal, endpoint.name.c_str(), bytes);
        } else if (key.pid == 2 && key.fmtid.Data1 == 0x8c7ed206 && !endpoint.container.empty()) {
            std::wstring text(endpoint.container.begin(), endpoint.container.end());
            value->vt = VT_CLSID;
            value->puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
            CLSIDFromString(text.c_str(), value->puuid);
        }
        return S_OK;  // VT_EMPTY for a property the endpoint lacks
    }
    HRESULT STDMETHODCALLTYPE GetCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override {
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return STG_E_ACCESSDENIED; }

private:
    FakeEndpoint endpoint;
};

class FakeDevice final : public Fake<IMMDevice> {
public:
    explicit FakeDevice(FakeEndpoint endpoint) : endpoint(std::move(endpoint)) {}
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** out) override {
        if (!IsEqualIID(iid, __uuidof(IAudioEndpointVolume))) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IAudioEndpointVolume*>(new FakeVolume(endpoint.id));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** out) override {
        *out = new FakeStore(endpoint);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* out) override {
        const std::size_t bytes = (endpoint.id.size() + 1) * sizeof(wchar_t);
        *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        std::memcpy(*out, endpoint.id.c_str(), bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        *state = DEVICE_STATE_ACTIVE;
        return S_OK;
    }

private:
    FakeEndpoint endpoint;
};

class FakeCollection final : public Fake<IMMDeviceCollection> {
public:
    explicit FakeCollection(std::vector<FakeEndpoint> endpoints)
        : endpoints(std::move(endpoints)) {}
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        *count = static_cast<UINT>(endpoints.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** out) override {
        if (index >= endpoints.size()) {
            return E_INVALIDARG;
        }
        *out = new FakeDevice(endpoints[index]);
        return S_OK;
    }

private:
    std::vector<FakeEndpoint> endpoints;
};

class FakeEnumerator final : public Fake<IMMDeviceEnumerator> {
public:
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD,
                                                 IMMDeviceCollection** out) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        std::vector<FakeEndpoint> matching;
        for (const FakeEndpoint& endpoint : g_endpoints) {
            if (endpoint.flow == flow || flow == eAll) {
                matching.push_back(endpoint);
            }
        }
        *out = new FakeCollection(std::move(matching));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole, IMMDevice**) override {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** out) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        const FakeEndpoint* endpoint = Find(id);
        if (endpoint == nullptr) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        *out = new FakeDevice(*endpoint);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        client->AddRef();
        g_watch = client;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        if (g_watch == client) {
            g_watch->Release();
            g_watch = nullptr;
        }
        return S_OK;
    }
};

HRESULT MakeEnumerator(IMMDeviceEnumerator** out) {
    *out = new FakeEnumerator;
    return S_OK;
}

HRESULT NoEndpointApi(IMMDeviceEnumerator** out) {
    *out = nullptr;
    return REGDB_E_CLASSNOTREG;
}

// Runs a call-back on a thread of its own and waits for it, as the audio
// service's threads do.
template <class Work>
void OnServiceThread(Work work) {
    std::thread(work).join();
}

}  // namespace

namespace FakeEndpoints {

void Install(std::vector<FakeEndpoint> endpoints, bool apiPresent) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_endpoints = std::move(endpoints);
    g_callbacks.clear();
    SetEndpointEnumeratorFactory(apiPresent ? MakeEnumerator : NoEndpointApi);
}

void Uninstall() {
    SetEndpointEnumeratorFactory(nullptr);
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_endpoints.clear();
}

void SetVolumeElsewhere(const std::wstring& id, float scalar) {
    std::vector<IAudioEndpointVolumeCallback*> callbacks;
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        Find(id)->scalar = scalar;
        for (const auto& [endpoint, callback] : g_callbacks) {
            if (endpoint == id && callback != nullptr) {
                callbacks.push_back(callback);
            }
        }
    }
    OnServiceThread([&] {
        AUDIO_VOLUME_NOTIFICATION_DATA data{};
        data.fMasterVolume = scalar;
        for (IAudioEndpointVolumeCallback* callback : callbacks) {
            callback->OnNotify(&data);
        }
    });
}

void Add(FakeEndpoint endpoint) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_endpoints.push_back(endpoint);
    OnServiceThread([&] {
        if (g_watch != nullptr) {
            g_watch->OnDeviceAdded(endpoint.id.c_str());
        }
    });
}

void Remove(const std::wstring& id) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    std::erase_if(g_endpoints, [&](const FakeEndpoint& endpoint) { return endpoint.id == id; });
    OnServiceThread([&] {
        if (g_watch != nullptr) {
            g_watch->OnDeviceRemoved(id.c_str());
        }
    });
}

float Scalar(const std::wstring& id) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return Find(id)->scalar;
}

int LiveObjects() {
    return g_live.load();
}

int VolumeCallbacks() {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    int count = 0;
    for (const auto& entry : g_callbacks) {
        count += entry.second != nullptr ? 1 : 0;
    }
    return count;
}

bool WatchRegistered() {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_watch != nullptr;
}

}  // namespace FakeEndpoints
