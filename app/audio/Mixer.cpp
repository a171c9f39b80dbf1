#include "Mixer.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "CodePageText.h"
#include "MixerApi.h"

namespace {

void DiscardDiagnostic(const char*, const char*) {}

std::atomic<MixerDiagnosticHook> g_diagnosticHook{DiscardDiagnostic};

// A DWORD-sized handle argument for the mixer calls that take a mixer object.
HMIXEROBJ AsObject(HMIXER mixer) {
    return reinterpret_cast<HMIXEROBJ>(mixer);
}

void CopyName(char (&to)[256], const char* from) {
    std::snprintf(to, sizeof(to), "%s", from);
}

}  // namespace

void SetMixerDiagnosticHook(MixerDiagnosticHook hook) {
    g_diagnosticHook.store(hook ? hook : DiscardDiagnostic);
}

const char* MixerLineTypeName(DWORD type) {
    static const char* const kDestinations[] = {
        "MIXERLINE_COMPONENTTYPE_DST_UNDEFINED", "MIXERLINE_COMPONENTTYPE_DST_DIGITAL",
        "MIXERLINE_COMPONENTTYPE_DST_LINE",      "MIXERLINE_COMPONENTTYPE_DST_MONITOR",
        "MIXERLINE_COMPONENTTYPE_DST_SPEAKERS",  "MIXERLINE_COMPONENTTYPE_DST_HEADPHONES",
        "MIXERLINE_COMPONENTTYPE_DST_TELEPHONE", "MIXERLINE_COMPONENTTYPE_DST_WAVEIN",
        "MIXERLINE_COMPONENTTYPE_DST_VOICEIN"};
    static const char* const kSources[] = {
        "MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED",   "MIXERLINE_COMPONENTTYPE_SRC_DIGITAL",
        "MIXERLINE_COMPONENTTYPE_SRC_LINE",        "MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE",
        "MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER", "MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC",
        "MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE",   "MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER",
        "MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT",     "MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY",
        "MIXERLINE_COMPONENTTYPE_SRC_ANALOG"};
    if (type <= MIXERLINE_COMPONENTTYPE_DST_LAST) {
        return kDestinations[type];
    }
    if (type >= MIXERLINE_COMPONENTTYPE_SRC_FIRST && type <= MIXERLINE_COMPONENTTYPE_SRC_LAST) {
        return kSources[type - MIXERLINE_COMPONENTTYPE_SRC_FIRST];
    }
    if (type == kNoSourceLine) {
        return "No source line";
    }
    return "---- UNKNOWN LINE TYPE ----";
}

const char* MixerControlTypeName(DWORD type) {
    struct Name {
        DWORD type;
        const char* name;
    };
#define VOX_CONTROL(n) \
    { MIXERCONTROL_CONTROLTYPE_##n, "MIXERCONTROL_CONTROLTYPE_" #n }
    static const Name kNames[] = {
        VOX_CONTROL(CUSTOM),       VOX_CONTROL(BOOLEANMETER),  VOX_CONTROL(SIGNEDMETER),
        VOX_CONTROL(PEAKMETER),    VOX_CONTROL(UNSIGNEDMETER), VOX_CONTROL(BOOLEAN),
        VOX_CONTROL(ONOFF),        VOX_CONTROL(MUTE),          VOX_CONTROL(MONO),
        VOX_CONTROL(LOUDNESS),     VOX_CONTROL(STEREOENH),     VOX_CONTROL(BUTTON),
        VOX_CONTROL(DECIBELS),     VOX_CONTROL(SIGNED),        VOX_CONTROL(UNSIGNED),
        VOX_CONTROL(PERCENT),      VOX_CONTROL(SLIDER),        VOX_CONTROL(PAN),
        VOX_CONTROL(QSOUNDPAN),    VOX_CONTROL(FADER),         VOX_CONTROL(VOLUME),
        VOX_CONTROL(BASS),         VOX_CONTROL(TREBLE),        VOX_CONTROL(EQUALIZER),
        VOX_CONTROL(SINGLESELECT), VOX_CONTROL(MUX),           VOX_CONTROL(MULTIPLESELECT),
        VOX_CONTROL(MIXER),        VOX_CONTROL(MICROTIME),     VOX_CONTROL(MILLITIME)};
#undef VOX_CONTROL
    for (const Name& n : kNames) {
        if (n.type == type) {
            return n.name;
        }
    }
    return "---- UNKNOWN CONTROL TYPE ----";
}

// ---- CMixerBase ----

CMixerBase::~CMixerBase() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    CloseLocked();
}

void CMixerBase::Report(const char* operation, const char* text) const {
    g_diagnosticHook.load()(operation, text);
}

bool CMixerBase::IsOpen() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return hMixer != nullptr;
}

HMIXER CMixerBase::Handle() const {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return hMixer;
}

void CMixerBase::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    CloseLocked();
}

void CMixerBase::CloseLocked() {
    if (hMixer != nullptr) {
        CurrentMixerApi().close(hMixer);
        hMixer = nullptr;
    }
    detailValues.reset();
    details.paDetails = nullptr;
    deviceName[0] = '\0';
}

void CMixerBase::GetDeviceName(char* out, std::size_t size) const {
    if (out == nullptr || size == 0) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(lock);
    std::snprintf(out, size, "%s", deviceName);
}

std::string CMixerFader::DeviceNameUtf8() const {
    char name[sizeof deviceName] = {};
    GetDeviceName(name, sizeof name);
    return Narrow(Widen(name, CP_ACP), CP_UTF8);
}

bool CMixerBase::ChooseDevice(HWND window, DWORD* destinations) {
    const MixerApi& api = CurrentMixerApi();
    const UINT count = api.getNumDevs();
    if (count == 0) {
        Report("Init", "No mixer device present");
        return false;
    }
    CloseLocked();
    for (UINT id = 0; id < count; ++id) {
        HMIXER mixer = nullptr;
        const MMRESULT opened =
            window != nullptr
                ? api.open(&mixer, id, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW)
                : api.open(&mixer, id, 0, 0, 0);
        if (opened != MMSYSERR_NOERROR) {
            continue;
        }
        MIXERCAPSA caps{};
        if (api.getDevCaps(id, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
            api.close(mixer);
            break;
        }
        caps.szPname[sizeof(caps.szPname) - 1] = '\0';
        if (std::strstr(caps.szPname, "USB") != nullptr) {
            hMixer = mixer;
            CopyName(deviceName, caps.szPname);
            *destinations = caps.cDestinations;
            return true;
        }
        CopyName(rejectedName, caps.szPname);
        api.close(mixer);
    }
    Report("Init", "Could not open mixer device");
    return false;
}

int CMixerBase::Init(DWORD destination, DWORD source, DWORD controlType, HWND window) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    DWORD destinations = 0;
    if (!ChooseDevice(window, &destinations)) {
        return 0;
    }
    const MixerApi& api = CurrentMixerApi();
    char text[512];

    MIXERLINEA line{};
    bool found = false;
    for (DWORD d = 0; d < destinations && !found; ++d) {
        line = MIXERLINEA{};
        line.cbStruct = sizeof(line);
        line.dwDestination = d;
        found = api.getLineInfo(AsObject(hMixer), &line,
                                MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION) ==
                    MMSYSERR_NOERROR &&
                line.dwComponentType == destination;
    }
    if (!found) {
        std::snprintf(text, sizeof(text), "Warning: the destination line \n%s\nwas not found.",
                      MixerLineTypeName(destination));
        Report("Init", text);
        CloseLocked();
        return 0;
    }

    if (source != kNoSourceLine) {
        const DWORD destinationIndex = line.dwDestination;
        const DWORD connections = line.cConnections;
        found = false;
        for (DWORD s = 0; s < connections && !found; ++s) {
            MIXERLINEA sourceLine{};
            sourceLine.cbStruct = sizeof(sourceLine);
            sourceLine.dwDestination = destinationIndex;
            sourceLine.dwSource = s;
            if (api.getLineInfo(AsObject(hMixer), &sourceLine,
                                MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) ==
                    MMSYSERR_NOERROR &&
                sourceLine.dwComponentType == source) {
                line = sourceLine;
                found = true;
            }
        }
        if (!found) {
            std::snprintf(text, sizeof(text),
                          "Warning: the source line \n%s\n not found.\n\n(Associated to "
                          "Destination line \n%s)",
                          MixerLineTypeName(source), MixerLineTypeName(destination));
            Report("Init", text);
            CloseLocked();
            return 0;
        }
    }

    channels = line.cChannels;
    if (line.cControls == 0) {
        line.szName[sizeof(line.szName) - 1] = '\0';
        std::snprintf(text, sizeof(text), "No controls available for this audio line: %s",
                      line.szName);
        Report("Init", text);
        CloseLocked();
        return 0;
    }

    control = MIXERCONTROLA{};
    control.cbStruct = sizeof(control);
    MIXERLINECONTROLSA lineControls{};
    lineControls.cbStruct = sizeof(lineControls);
    lineControls.dwLineID = line.dwLineID;
    lineControls.dwControlType = controlType;
    lineControls.cControls = 1;
    lineControls.cbmxctrl = sizeof(control);
    lineControls.pamxctrl = &control;
    if (api.getLineControls(AsObject(hMixer), &lineControls,
                            MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
        MMSYSERR_NOERROR) {
        std::snprintf(text, sizeof(text),
                      "Could not find specified mixer control. Associated Windows control will "
                      "be disabled.\nControl type: %s,\n\nDest line type: %s,\nSrc  line type: "
                      "%s\n",
                      MixerControlTypeName(controlType), MixerLineTypeName(destination),
                      MixerLineTypeName(source));
        Report("Init", text);
        CloseLocked();
        return 0;
    }

    switch (control.dwControlType & MIXERCONTROL_CT_UNITS_MASK) {
        case MIXERCONTROL_CT_UNITS_BOOLEAN:
        case MIXERCONTROL_CT_UNITS_SIGNED:
        case MIXERCONTROL_CT_UNITS_UNSIGNED:
        case MIXERCONTROL_CT_UNITS_DECIBELS:
        case MIXERCONTROL_CT_UNITS_PERCENT:
            break;
        default:
            Report("Init", "Control uses unknown units.");
            CloseLocked();
            return 0;
    }

    const bool multiple = (control.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
    const DWORD items = multiple ? control.cMultipleItems : 1;
    details = MIXERCONTROLDETAILS{};
    details.cbStruct = sizeof(details);
    details.dwControlID = control.dwControlID;
    details.cMultipleItems = multiple ? control.cMultipleItems : 0;
    details.cChannels = (control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : channels;
    details.cbDetails = sizeof(DWORD);
    const std::size_t valueCount =
        static_cast<std::size_t>(std::max<DWORD>(items, 1)) * std::max<DWORD>(channels, 1);
    detailValues.reset(new (std::nothrow) DWORD[valueCount]());
    if (!detailValues) {
        Report("Init", "Memory allocation error.");
        CloseLocked();
        return 0;
    }
    details.paDetails = detailValues.get();
    return 1;
}

int CMixerBase::GetControlDetails() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (hMixer == nullptr || !detailValues) {
        return 0;
    }
    return CurrentMixerApi().getControlDetails(
               AsObject(hMixer), &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) ==
                   MMSYSERR_NOERROR
               ? 1
               : 0;
}

int CMixerBase::SetControlDetails() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (hMixer == nullptr || !detailValues) {
        return 0;
    }
    return CurrentMixerApi().setControlDetails(
               AsObject(hMixer), &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
                   MMSYSERR_NOERROR
               ? 1
               : 0;
}

// ---- CMixerFader ----

int CMixerFader::Init(DWORD destination, DWORD source, DWORD controlType, int kind, HWND window) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    subType = kind;
    if (!CMixerBase::Init(destination, source, controlType, window)) {
        return 0;
    }
    range = control.Bounds.dwMaximum - control.Bounds.dwMinimum;
    steps = control.Metrics.cSteps;
    stepSize = steps != 0 ? range / steps : 0;
    if (stepSize == 0) {
        // Positions and levels divide by the step size.
        Report("Init", "Fader control without steps.");
        Close();
        return 0;
    }
    if (channels == 1 && (subType == 0 || subType == 1 || subType == 3)) {
        Report("Init", "Wrong sub-type for a fader control.");
        Close();
        return 0;
    }
    GetControlDetails();
    SetHVSliderPos();
    return 1;
}

DWORD CMixerFader::ValueCount() const {
    return details.cChannels;
}

void CMixerFader::SetHVSliderPos() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!detailValues) {
        Report("SetHVSliderPos", "m_Value NULL.");
        return;
    }
    const DWORD* value = detailValues.get();
    DWORD m = value[0];
    if (ValueCount() >= 2) {
        m = std::max(value[0], value[1]);
        if (m > 0) {
            balance = (static_cast<float>(value[1]) - static_cast<float>(value[0])) /
                      static_cast<float>(m);
        }
    }
    if (subType == 2) {
        sliderPos = m / stepSize;
    } else if (subType != 3) {
        Report("SetHVSliderPos", "Wrong sub-type for a fader control.");
    }
}

void CMixerFader::SetFaderValue(int kind, unsigned int level) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!detailValues) {
        Report("SetFaderValue", "m_Value NULL.");
        return;
    }
    if (subType != 2) {
        Report("SetFaderValue", "Wrong sub-type for a fader control.");
        return;
    }
    const std::uint64_t v = FaderTarget(kind, level, sliderPos, steps, stepSize);
    const DWORD value = static_cast<DWORD>(std::min<std::uint64_t>(v, 0xFFFFFFFFull));
    DWORD* values = detailValues.get();
    if (ValueCount() <= 1) {
        values[0] = value;
    } else if (balance > 0) {
        values[1] = value;
        values[0] = static_cast<DWORD>(static_cast<double>(value) * (1.0 - balance));
    } else {
        values[0] = value;
        values[1] = static_cast<DWORD>(static_cast<double>(value) * (1.0 + balance));
    }
    if (SetControlDetails()) {
        sliderPos = value / stepSize;
    }
}

int CMixerFader::GetFaderLevel() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!GetControlDetails()) {
        return 0;
    }
    return FaderLevel(detailValues[0], steps, stepSize);
}

int CMixerFader::OnControlChange(HMIXER mixer, DWORD controlId) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (hMixer == nullptr || mixer != hMixer || controlId != control.dwControlID) {
        return 0;
    }
    if (!GetControlDetails()) {
        return 0;
    }
    if (detailValues[0] < kMicFloor) {
        detailValues[0] = kMicFloor;
    }
    SetControlDetails();
    SetHVSliderPos();
    GetControlDetails();
    return 0;
}

int CMixerFader::OnControlChange(WPARAM source, LPARAM controlId) {
    return OnControlChange(reinterpret_cast<HMIXER>(source), static_cast<DWORD>(controlId));
}

// ---- CMixerNumber ----

int CMixerNumber::Init(DWORD destination, DWORD source, DWORD controlType, DWORD itemIndex) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    const DWORD controlClass = controlType & MIXERCONTROL_CT_CLASS_MASK;
    if (controlClass != MIXERCONTROL_CT_CLASS_SWITCH &&
        controlClass != MIXERCONTROL_CT_CLASS_LIST) {
        char text[128];
        std::snprintf(text, sizeof(text), "Wrong control type: %s",
                      MixerControlTypeName(controlType));
        Report("Init", text);
        Close();
        return 0;
    }
    if (!CMixerBase::Init(destination, source, controlType, nullptr)) {
        return 0;
    }
    // A single-item control has one value per channel, so only index 0 names an item.
    const DWORD items =
        (control.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? control.cMultipleItems : 1;
    if (itemIndex >= items) {
        char text[64];
        std::snprintf(text, sizeof(text), "Invalid control index passed: %d",
                      static_cast<int>(itemIndex));
        Report("Init", text);
        Close();
        return 0;
    }
    index = itemIndex;
    GetControlDetails();
    return 1;
}

int CMixerNumber::SetValue(DWORD value) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!GetControlDetails()) {
        return 0;
    }
    detailValues[index] = value;
    return SetControlDetails();
}

DWORD CMixerNumber::GetValue() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!GetControlDetails()) {
        return 0;
    }
    return detailValues[index];
}
