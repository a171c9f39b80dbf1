#include "FakeMixer.h"

#include <cstdio>
#include <map>

#include "MixerApi.h"

namespace {

std::vector<FakeDevice> g_devices;
std::map<HMIXER, int> g_handles;
std::vector<FakeOpen> g_opens;
UINT_PTR g_nextHandle = 0x1000;

int DeviceOf(HMIXEROBJ object) {
    auto it = g_handles.find(reinterpret_cast<HMIXER>(object));
    return it == g_handles.end() ? -1 : it->second;
}

FakeLine* LineById(int device, DWORD id) {
    for (FakeLine& destination : g_devices[device].destinations) {
        if (destination.id == id) {
            return &destination;
        }
        for (FakeLine& source : destination.sources) {
            if (source.id == id) {
                return &source;
            }
        }
    }
    return nullptr;
}

FakeControl* ControlById(int device, DWORD id) {
    for (FakeLine& destination : g_devices[device].destinations) {
        for (FakeControl& c : destination.controls) {
            if (c.id == id)
                return &c;
        }
        for (FakeLine& source : destination.sources) {
            for (FakeControl& c : source.controls) {
                if (c.id == id)
                    return &c;
            }
        }
    }
    return nullptr;
}

void FillLine(const FakeLine& from, DWORD destination, DWORD source, MIXERLINEA* to) {
    to->dwDestination = destination;
    to->dwSource = source;
    to->dwLineID = from.id;
    to->dwComponentType = from.type;
    to->cChannels = from.channels;
    to->cConnections = static_cast<DWORD>(from.sources.size());
    to->cControls = static_cast<DWORD>(from.controls.size());
    std::snprintf(to->szName, sizeof(to->szName), "%s", from.name.c_str());
}

UINT WINAPI FakeGetNumDevs() {
    return static_cast<UINT>(g_devices.size());
}

MMRESULT WINAPI FakeOpenMixer(LPHMIXER handle, UINT id, DWORD_PTR callback, DWORD_PTR,
                              DWORD flags) {
    if (id >= g_devices.size())
        return MMSYSERR_BADDEVICEID;
    g_opens.push_back({id, callback, flags});
    *handle = reinterpret_cast<HMIXER>(g_nextHandle++);
    g_handles[*handle] = static_cast<int>(id);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeGetDevCaps(UINT_PTR id, LPMIXERCAPSA caps, UINT) {
    if (id >= g_devices.size() || g_devices[id].capsFail)
        return MMSYSERR_ERROR;
    *caps = MIXERCAPSA{};
    std::snprintf(caps->szPname, sizeof(caps->szPname), "%s", g_devices[id].name.c_str());
    caps->cDestinations = static_cast<DWORD>(g_devices[id].destinations.size());
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeGetLineInfo(HMIXEROBJ object, LPMIXERLINEA line, DWORD flags) {
    const int device = DeviceOf(object);
    if (device < 0)
        return MMSYSERR_INVALHANDLE;
    auto& destinations = g_devices[device].destinations;
    if (line->dwDestination >= destinations.size())
        return MIXERR_INVALLINE;
    const FakeLine& destination = destinations[line->dwDestination];
    if ((flags & MIXER_GETLINEINFOF_QUERYMASK) == MIXER_GETLINEINFOF_DESTINATION) {
        FillLine(destination, line->dwDestination, 0, line);
        return MMSYSERR_NOERROR;
    }
    if ((flags & MIXER_GETLINEINFOF_QUERYMASK) == MIXER_GETLINEINFOF_SOURCE) {
        if (line->dwSource >= destination.sources.size())
            return MIXERR_INVALLINE;
        FillLine(destination.sources[line->dwSource], line->dwDestination, line->dwSource, line);
        return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOTSUPPORTED;
}

MMRESULT WINAPI FakeGetLineControls(HMIXEROBJ object, LPMIXERLINECONTROLSA query, DWORD flags) {
    const int device = DeviceOf(object);
    if (device < 0)
        return MMSYSERR_INVALHANDLE;
    if ((flags & MIXER_GETLINECONTROLSF_QUERYMASK) != MIXER_GETLINECONTROLSF_ONEBYTYPE) {
        return MMSYSERR_NOTSUPPORTED;
    }
    const FakeLine* line = LineById(device, query->dwLineID);
    if (line == nullptr)
        return MIXERR_INVALLINE;
    for (const FakeControl& c : line->controls) {
        if (c.type == query->dwControlType) {
            MIXERCONTROLA* out = query->pamxctrl;
            out->dwControlID = c.id;
            out->dwControlType = c.type;
            out->fdwControl = c.flags;
            out->cMultipleItems = c.items;
            out->Bounds.dwMinimum = c.minimum;
            out->Bounds.dwMaximum = c.maximum;
            out->Metrics.cSteps = c.steps;
            return MMSYSERR_NOERROR;
        }
    }
    return MIXERR_INVALCONTROL;
}

MMRESULT CopyDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, bool toCaller) {
    const int device = DeviceOf(object);
    if (device < 0)
        return MMSYSERR_INVALHANDLE;
    FakeControl* c = ControlById(device, details->dwControlID);
    if (c == nullptr)
        return MIXERR_INVALCONTROL;
    const size_t count =
        size_t{details->cChannels} * (details->cMultipleItems ? details->cMultipleItems : 1);
    if (c->values.size() < count)
        c->values.resize(count);
    auto* values = static_cast<DWORD*>(details->paDetails);
    for (size_t i = 0; i < count; ++i) {
        if (toCaller) {
            values[i] = c->values[i];
        } else {
            c->values[i] = values[i];
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI FakeGetDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD) {
    return CopyDetails(object, details, true);
}

MMRESULT WINAPI FakeSetDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD) {
    return CopyDetails(object, details, false);
}

MMRESULT WINAPI FakeClose(HMIXER handle) {
    return g_handles.erase(handle) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

const MixerApi kFakeMixer = {FakeGetNumDevs,      FakeOpenMixer,  FakeGetDevCaps, FakeGetLineInfo,
                             FakeGetLineControls, FakeGetDetails, FakeSetDetails, FakeClose};

UINT g_waveOutCount = 0;
std::vector<std::string> g_waveInNames;

UINT WINAPI FakeWaveOutCount() {
    return g_waveOutCount;
}

MMRESULT WINAPI FakeWaveInCaps(UINT_PTR id, LPWAVEINCAPSA caps, UINT) {
    if (id >= g_waveInNames.size())
        return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPSA{};
    std::snprintf(caps->szPname, sizeof(caps->szPname), "%s", g_waveInNames[id].c_str());
    return MMSYSERR_NOERROR;
}

const WaveDeviceApi kFakeWave = {FakeWaveOutCount, FakeWaveInCaps};

FakeControl Control(DWORD type, DWORD channels, DWORD value) {
    FakeControl c;
    c.type = type;
    c.values.assign(channels, value);
    if (type == MIXERCONTROL_CONTROLTYPE_MUTE) {
        c.maximum = 1;
        c.steps = 1;
        c.flags = MIXERCONTROL_CONTROLF_UNIFORM;
        c.values.assign(1, value);
    }
    return c;
}

}  // namespace

namespace FakeMixer {

void Install(std::vector<FakeDevice> devices) {
    g_devices = std::move(devices);
    g_handles.clear();
    g_opens.clear();
    DWORD nextId = 1;
    for (FakeDevice& device : g_devices) {
        for (FakeLine& destination : device.destinations) {
            destination.id = nextId++;
            for (FakeControl& c : destination.controls)
                c.id = nextId++;
            for (FakeLine& source : destination.sources) {
                source.id = nextId++;
                for (FakeControl& c : source.controls)
                    c.id = nextId++;
            }
        }
    }
    SetMixerApi(&kFakeMixer);
}

void Uninstall() {
    SetMixerApi(nullptr);
}

FakeControl* FindControl(DWORD type, DWORD lineType, int only) {
    for (size_t index = 0; index < g_devices.size(); ++index) {
        if (only >= 0 && static_cast<size_t>(only) != index)
            continue;
        FakeDevice& device = g_devices[index];
        for (FakeLine& destination : device.destinations) {
            if (destination.type == lineType) {
                for (FakeControl& c : destination.controls) {
                    if (c.type == type)
                        return &c;
                }
            }
            for (FakeLine& source : destination.sources) {
                if (source.type != lineType)
                    continue;
                for (FakeControl& c : source.controls) {
                    if (c.type == type)
                        return &c;
                }
            }
        }
    }
    return nullptr;
}

int OpenHandles() {
    return static_cast<int>(g_handles.size());
}

const std::vector<FakeOpen>& Opens() {
    return g_opens;
}

FakeDevice Handset(const std::string& name) {
    FakeLine speakers;
    speakers.type = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    speakers.channels = 2;
    speakers.name = "Speaker";
    speakers.controls.push_back(Control(MIXERCONTROL_CONTROLTYPE_VOLUME, 2, 32767));
    FakeLine micThrough;
    micThrough.type = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    micThrough.name = "Microphone";
    micThrough.controls.push_back(Control(MIXERCONTROL_CONTROLTYPE_MUTE, 1, 0));
    speakers.sources.push_back(micThrough);

    FakeLine waveIn;
    waveIn.type = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    waveIn.name = "Capture";
    FakeLine mic;
    mic.type = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    mic.name = "Microphone";
    mic.controls.push_back(Control(MIXERCONTROL_CONTROLTYPE_VOLUME, 1, 20000));
    waveIn.sources.push_back(mic);
    return FakeDevice{name, {speakers, waveIn}, false};
}

FakeDevice SoundCard(const std::string& name) {
    FakeDevice device = Handset(name);
    return device;
}

}  // namespace FakeMixer

namespace FakeWave {

void Install(UINT outputCount, std::vector<std::string> inputNames) {
    g_waveOutCount = outputCount;
    g_waveInNames = std::move(inputNames);
    SetWaveDeviceApi(&kFakeWave);
}

void Uninstall() {
    SetWaveDeviceApi(nullptr);
}

}  // namespace FakeWave
