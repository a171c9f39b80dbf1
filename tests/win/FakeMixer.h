// Made-up mixer and wave devices behind the audio code's function tables.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

struct FakeControl {
    DWORD type = MIXERCONTROL_CONTROLTYPE_VOLUME;
    DWORD flags = 0;  // MIXERCONTROL_CONTROLF_UNIFORM / _MULTIPLE
    DWORD items = 0;  // multiple-item count
    DWORD minimum = 0;
    DWORD maximum = 65535;
    DWORD steps = 31;
    std::vector<DWORD> values;  // channel-major, one per channel and item
    DWORD id = 0;               // given by FakeMixer::Install
};

struct FakeLine {
    DWORD type = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    DWORD channels = 1;
    std::string name = "line";
    std::vector<FakeControl> controls;
    std::vector<FakeLine> sources;
    DWORD id = 0;  // given by FakeMixer::Install
};

struct FakeDevice {
    std::string name;
    std::vector<FakeLine> destinations;
    bool capsFail = false;
};

struct FakeOpen {
    UINT id;
    DWORD_PTR callback;
    DWORD flags;
};

namespace FakeMixer {

// Puts the devices behind the mixer table (ids assigned) and clears the logs.
void Install(std::vector<FakeDevice> devices);
// Restores winmm.
void Uninstall();

// The first control of the type on a line of the type, on one device or any (-1).
FakeControl* FindControl(DWORD type, DWORD lineType, int device = -1);
int OpenHandles();
const std::vector<FakeOpen>& Opens();

// The typical handset: speakers with a stereo volume and a microphone source
// (mute), wave-in with a microphone source (volume).
FakeDevice Handset(const std::string& name = "USB Audio Handset");
FakeDevice SoundCard(const std::string& name = "Realtek HD Audio");

}  // namespace FakeMixer

namespace FakeWave {
// Wave devices: the output count and the input names.
void Install(UINT outputCount, std::vector<std::string> inputNames);
void Uninstall();
}  // namespace FakeWave
