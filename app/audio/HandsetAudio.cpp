#include "HandsetAudio.h"

#include <atomic>
#include <cstdio>

#include "CodePageText.h"
#include "Endpoints.h"
#include "HandsetMixers.h"

namespace {

void StandardOutput(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

std::atomic<AudioTraceSink> g_trace{StandardOutput};

void Trace(const std::string& line) {
    g_trace.load()((line + "\n").c_str());
}

EndpointFader g_endpointSpeaker;
EndpointFader g_endpointMicrophone;
std::atomic<HandsetFader*> g_speaker{&g_SpeakerVolume};
std::atomic<HandsetFader*> g_microphone{&g_MicVolume};

// Main thread only.
IMMDeviceEnumerator* g_enumerator = nullptr;
IMMNotificationClient* g_watch = nullptr;
HWND g_window = nullptr;
std::string g_containerId;

bool OpenEndpoints(HWND window, const std::string& containerId) {
    const std::vector<AudioEndpoint> render = ListEndpoints(*g_enumerator, eRender);
    const std::vector<AudioEndpoint> capture = ListEndpoints(*g_enumerator, eCapture);
    const HandsetEndpoints chosen = ChooseHandsetEndpoints(render, capture, containerId);
    if (chosen.speaker == nullptr ||
        !g_endpointSpeaker.Open(*g_enumerator, *chosen.speaker, window) ||
        !g_endpointMicrophone.Open(*g_enumerator, *chosen.microphone, window)) {
        g_endpointSpeaker.Close();
        return false;
    }
    g_speaker = &g_endpointSpeaker;
    g_microphone = &g_endpointMicrophone;
    Trace("Audio: endpoints " + g_endpointSpeaker.DeviceNameUtf8() + " / " +
          g_endpointMicrophone.DeviceNameUtf8() +
          (chosen.byContainer ? " (container " + containerId + ")" : " (by name)"));
    return true;
}

}  // namespace

void SetAudioTraceSink(AudioTraceSink sink) {
    g_trace.store(sink != nullptr ? sink : StandardOutput);
}

HandsetFader& HandsetSpeaker() {
    return *g_speaker.load();
}

HandsetFader& HandsetMicrophone() {
    return *g_microphone.load();
}

bool UsingHandsetEndpoints() {
    return g_speaker.load() == &g_endpointSpeaker;
}

void OpenHandsetAudio(HWND mainWindow, const std::string& containerId) {
    CloseHandsetAudio();
    g_window = mainWindow;
    g_containerId = containerId;
    g_enumerator = CreateEndpointEnumerator();
    if (g_enumerator != nullptr) {
        g_watch = NewEndpointWatch(mainWindow, WM_HANDSET_ENDPOINTS_CHANGED);
        if (FAILED(g_enumerator->RegisterEndpointNotificationCallback(g_watch))) {
            g_watch->Release();
            g_watch = nullptr;
        }
        if (OpenEndpoints(mainWindow, containerId)) {
            return;
        }
    }
    OpenHandsetMixerControls(mainWindow);
    Trace(g_enumerator != nullptr ? "Audio: mixer devices (no handset endpoint)"
                                  : "Audio: mixer devices (no endpoint API)");
}

void CloseHandsetAudio() {
    g_speaker = &g_SpeakerVolume;
    g_microphone = &g_MicVolume;
    g_endpointSpeaker.Close();
    g_endpointMicrophone.Close();
    CloseHandsetMixerControls();
    if (g_enumerator != nullptr) {
        if (g_watch != nullptr) {
            g_enumerator->UnregisterEndpointNotificationCallback(g_watch);
            g_watch->Release();
            g_watch = nullptr;
        }
        g_enumerator->Release();
        g_enumerator = nullptr;
    }
    g_window = nullptr;
}

bool FollowHandsetEndpoints() {
    if (g_window == nullptr) {
        return false;
    }
    const std::string capture = HandsetDeviceName(true);
    const std::string playback = HandsetDeviceName(false);
    const HWND window = g_window;
    const std::string containerId = g_containerId;
    OpenHandsetAudio(window, containerId);
    return HandsetDeviceName(true) != capture || HandsetDeviceName(false) != playback;
}

std::string HandsetDeviceName(bool capture) {
    return (capture && UsingHandsetEndpoints() ? HandsetMicrophone() : HandsetSpeaker())
        .DeviceNameUtf8();
}

std::vector<std::string> HandsetEndpointNames(bool capture) {
    std::vector<std::string> names;
    if (UsingHandsetEndpoints() && g_enumerator != nullptr) {
        for (const AudioEndpoint& endpoint :
             ListEndpoints(*g_enumerator, capture ? eCapture : eRender)) {
            names.push_back(Narrow(endpoint.name, CP_ACP));
        }
    }
    return names;
}
