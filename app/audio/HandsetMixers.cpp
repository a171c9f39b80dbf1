#include "HandsetMixers.h"

CMixerFader g_SpeakerVolume;
CMixerFader g_MicVolume;
CMixerNumber g_MicMuteA;
CMixerNumber g_MicMuteB;

namespace {
constexpr int kSlider = 2;
}

void OpenHandsetMixerControls(HWND mainWindow) {
    g_SpeakerVolume.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, kNoSourceLine,
                         MIXERCONTROL_CONTROLTYPE_VOLUME, kSlider, mainWindow);
    g_MicVolume.Init(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                     MIXERCONTROL_CONTROLTYPE_VOLUME, kSlider, mainWindow);
    g_MicMuteA.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                    MIXERCONTROL_CONTROLTYPE_MUTE, 0);
    g_MicMuteB.Init(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                    MIXERCONTROL_CONTROLTYPE_MUTE, 0);
    g_MicMuteB.SetValue(1);
}

void CloseHandsetMixerControls() {
    g_SpeakerVolume.Close();
    g_MicVolume.Close();
    g_MicMuteA.Close();
    g_MicMuteB.Close();
}
