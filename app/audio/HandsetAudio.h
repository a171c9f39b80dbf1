// The handset's sound: its speaker and microphone volume through its Core
// Audio endpoints when the system has them, else through its mixer device.
// The choice is made at each handset arrival and traced.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "HandsetFader.h"

// Posted to the main window when audio endpoints come or go while the
// handset is present; once a burst of them has settled, the main thread calls
// FollowHandsetEndpoints.
inline constexpr UINT WM_HANDSET_ENDPOINTS_CHANGED = WM_APP + 11;

// The fader in use for each direction (the mixer's while none is open).
HandsetFader& HandsetSpeaker();
HandsetFader& HandsetMicrophone();

// On handset arrival (main thread): the handset's two endpoints
// (ChooseHandsetEndpoints with containerId, "{GUID}"; empty when unknown);
// failing those, the four mixer controls. Faders notify mainWindow.
void OpenHandsetAudio(HWND mainWindow, const std::string& containerId);
// On removal and suspend.
void CloseHandsetAudio();
// After endpoints came or went: chooses again with the arrival's arguments.
// True when the names Skype knows the handset's sound by have changed.
bool FollowHandsetEndpoints();
bool UsingHandsetEndpoints();

// The device name Skype gets for recording (capture) or for playback and the
// ringer, in UTF-8: the endpoint's friendly name; on the mixer, the speaker
// mixer device's product name for both. Empty when none is open.
std::string HandsetDeviceName(bool capture);

// Friendly names of the active playback (eRender) or recording (eCapture)
// endpoints while the endpoints are in use, in the system code page for the
// dialogs' ANSI lists; empty otherwise.
std::vector<std::string> HandsetEndpointNames(bool capture);

// Where the choice of backend is traced: standard output by default; nullptr
// restores it.
using AudioTraceSink = void (*)(const char* line);
void SetAudioTraceSink(AudioTraceSink sink);
