// The winmm mixer and wave-device calls the audio code makes, in one table so
// that tests can put made-up devices behind them. Production uses winmm.
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct MixerApi {
    decltype(&::mixerGetNumDevs) getNumDevs;
    decltype(&::mixerOpen) open;
    decltype(&::mixerGetDevCapsA) getDevCaps;
    decltype(&::mixerGetLineInfoA) getLineInfo;
    decltype(&::mixerGetLineControlsA) getLineControls;
    decltype(&::mixerGetControlDetailsA) getControlDetails;
    decltype(&::mixerSetControlDetails) setControlDetails;
    decltype(&::mixerClose) close;
};

struct WaveDeviceApi {
    decltype(&::waveOutGetNumDevs) outGetNumDevs;
    decltype(&::waveInGetDevCapsA) inGetDevCaps;
};

// The tables in use; nullptr restores winmm. Set before the controls are used.
const MixerApi& CurrentMixerApi();
void SetMixerApi(const MixerApi* api);
const WaveDeviceApi& CurrentWaveDeviceApi();
void SetWaveDeviceApi(const WaveDeviceApi* api);
