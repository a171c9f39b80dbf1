#include "MixerApi.h"

#include <atomic>

namespace {

const MixerApi kWinmmMixer = {mixerGetNumDevs,        mixerOpen,
                              mixerGetDevCapsA,       mixerGetLineInfoA,
                              mixerGetLineControlsA,  mixerGetControlDetailsA,
                              mixerSetControlDetails, mixerClose};
const WaveDeviceApi kWinmmWave = {waveOutGetNumDevs, waveInGetDevCapsA};

std::atomic<const MixerApi*> g_mixerApi{&kWinmmMixer};
std::atomic<const WaveDeviceApi*> g_waveApi{&kWinmmWave};

}  // namespace

const MixerApi& CurrentMixerApi() {
    return *g_mixerApi.load();
}

void SetMixerApi(const MixerApi* api) {
    g_mixerApi.store(api ? api : &kWinmmMixer);
}

const WaveDeviceApi& CurrentWaveDeviceApi() {
    return *g_waveApi.load();
}

void SetWaveDeviceApi(const WaveDeviceApi* api) {
    g_waveApi.store(api ? api : &kWinmmWave);
}
