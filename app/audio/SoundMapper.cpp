#include "SoundMapper.h"

#include <windows.h>

#include <cstring>

#include "MixerApi.h"

namespace {

bool WriteText(HKEY key, const char* value, const std::string& text) {
    return RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool WriteNumber(HKEY key, const char* value, DWORD number) {
    return RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof(number)) == ERROR_SUCCESS;
}

}  // namespace

bool IsHandsetDeviceName(const char* name) {
    return std::strncmp(name, "USB", 3) == 0;
}

std::vector<std::string> AudioDeviceList() {
    const WaveDeviceApi& api = CurrentWaveDeviceApi();
    const UINT count = api.outGetNumDevs();
    std::vector<std::string> names;
    names.reserve(count);
    for (UINT i = 0; i < count; ++i) {
        WAVEINCAPSA caps{};
        if (api.inGetDevCaps(i, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
            continue;
        }
        caps.szPname[sizeof(caps.szPname) - 1] = '\0';
        if (caps.szPname[0] != '\0') {
            names.emplace_back(caps.szPname);
        }
    }
    return names;
}

int SetPreferredAudioDevices() {
    const UINT outputs = CurrentWaveDeviceApi().outGetNumDevs();
    if (outputs <= 1) {
        return 1;
    }
    const std::vector<std::string> devices = AudioDeviceList();
    const int n = static_cast<int>(devices.size());
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, kSoundMapperKey, &key) == ERROR_SUCCESS) {
        for (int i = n - 1; i >= 0; --i) {
            if (IsHandsetDeviceName(devices[i].c_str())) {
                WriteText(key, "Playback", devices[i]);
                break;
            }
        }
        for (int i = n - 1; i >= 0; --i) {
            if (!IsHandsetDeviceName(devices[i].c_str())) {
                WriteText(key, "Record", devices[i]);
                break;
            }
        }
    } else {
        if (RegCreateKeyA(HKEY_CURRENT_USER, kSoundMapperKey, &key) != ERROR_SUCCESS) {
            return 1;
        }
        for (int i = 0; i < n; ++i) {
            if (!IsHandsetDeviceName(devices[i].c_str())) {
                WriteText(key, "Playback", devices[i]) && WriteText(key, "Record", devices[i]) &&
                    WriteNumber(key, "PreferredOnly", 0) &&
                    WriteNumber(key, "SetupPreferredAudioDevicesCount", outputs);
                break;
            }
        }
    }
    RegCloseKey(key);
    return 1;
}
