// One volume control of the handset as the rest of the program uses it,
// whichever backend serves it (the Core Audio endpoints or the mixer device),
// and the level arithmetic both backends share.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

// The lowest microphone value kept during a call, of a full scale of 65535.
inline constexpr DWORD kMicFloor = 10000;

class HandsetFader {
public:
    virtual ~HandsetFader() = default;
    // kind 0 steps up, 1 steps down, 2 or 4 sets level (0..32 of full scale).
    virtual void SetFaderValue(int kind, unsigned int level) = 0;
    // 0..32; 0 when the control cannot be read.
    virtual int GetFaderLevel() = 0;
    // A change notification the main window received (MM_MIXM_CONTROL_CHANGE):
    // when it is this control's, keeps the value at kMicFloor or more. Returns 0.
    virtual int OnControlChange(WPARAM source, LPARAM control) = 0;
    // The device's name for Skype, in UTF-8; empty when closed.
    virtual std::string DeviceNameUtf8() const = 0;
    virtual bool IsOpen() const = 0;
};

// The value a fader of `steps` steps of `stepSize` moves to from `sliderPos`
// (in steps): kind 0 goes 25 steps up, 1 goes 25 steps down, 2 and 4 set
// `level` of 32; any other kind means 0.
inline std::uint64_t FaderTarget(int kind, unsigned int level, DWORD sliderPos, DWORD steps,
                                 DWORD stepSize) {
    switch (kind) {
        case 0:
            return std::min<std::uint64_t>(std::uint64_t{sliderPos + 25ull} * stepSize,
                                           std::uint64_t{steps} * stepSize);
        case 1:
            return sliderPos > 25 ? std::uint64_t{sliderPos - 25} * stepSize : 0;
        case 2:
        case 4:
            return std::uint64_t{level} * steps * stepSize / 32;
        default:
            return 0;
    }
}

// A value read back as a level of 32 (full scale reads about 32).
inline int FaderLevel(DWORD value, DWORD steps, DWORD stepSize) {
    return static_cast<int>(std::uint64_t{value} * 32 / stepSize / steps);
}
