// The handset's four mixer controls, open while the handset is present.
#pragma once

#include <windows.h>

#include "Mixer.h"

extern CMixerFader g_SpeakerVolume;
extern CMixerFader g_MicVolume;
extern CMixerNumber g_MicMuteA;
extern CMixerNumber g_MicMuteB;

// On handset arrival: opens the four controls (the faders notify mainWindow of
// changes) and mutes the microphone's playback through the speakers. A control
// that fails stays closed and its operations do nothing.
void OpenHandsetMixerControls(HWND mainWindow);
// On removal and suspend.
void CloseHandsetMixerControls();
