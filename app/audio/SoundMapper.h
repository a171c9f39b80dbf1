// Windows' preferred wave devices, kept in the user's Sound Mapper settings.
#pragma once

#include <string>
#include <vector>

inline constexpr char kSoundMapperKey[] = "Software\\Microsoft\\Multimedia\\Sound Mapper";

// A device is the handset when its product name begins with "USB".
bool IsHandsetDeviceName(const char* name);

// One entry per wave output device, named after the wave input device of the
// same number: a handset shows one name for both directions. An output without
// a readable input name (an HDMI output, say) has no entry: an empty name
// would be no device at all.
std::vector<std::string> AudioDeviceList();

// Makes the handset the preferred playback device and another device the
// preferred recording device, among the devices of AudioDeviceList; creates
// the settings when they are missing. Does nothing on a PC with one wave
// output device. Returns 1.
int SetPreferredAudioDevices();
