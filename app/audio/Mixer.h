// Controls of the handset's own mixer: speaker volume, microphone volume and
// the microphone mute switches. Every failure is silent: the object closes and
// the operation returns 0 or does nothing; a diagnostic goes to a hook.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstddef>
#include <memory>
#include <mutex>

#include "HandsetFader.h"

// Source type meaning "no source line: the destination line holds the control".
inline constexpr DWORD kNoSourceLine = MIXERLINE_COMPONENTTYPE_SRC_ANALOG + 1;

// Receives each diagnostic with the name of the operation that failed. The
// default discards them; nullptr restores the default.
using MixerDiagnosticHook = void (*)(const char* operation, const char* text);
void SetMixerDiagnosticHook(MixerDiagnosticHook hook);

// Symbolic names used in the diagnostics.
const char* MixerLineTypeName(DWORD componentType);
const char* MixerControlTypeName(DWORD controlType);

class CMixerBase {
public:
    CMixerBase() = default;
    CMixerBase(const CMixerBase&) = delete;
    CMixerBase& operator=(const CMixerBase&) = delete;
    virtual ~CMixerBase();

    // Opens the first mixer device whose product name contains "USB" and finds
    // the control on the given line. 1 opened, 0 failed (object closed).
    int Init(DWORD destination, DWORD source, DWORD controlType, HWND window);
    void Close();
    int GetControlDetails();
    int SetControlDetails();
    // Copies the product name of the device in use (empty when none).
    void GetDeviceName(char* out, std::size_t size) const;

    bool IsOpen() const;
    HMIXER Handle() const;
    const char* RejectedName() const { return rejectedName; }

protected:
    void Report(const char* operation, const char* text) const;

    mutable std::recursive_mutex lock;  // guards details and the value buffer
    HMIXER hMixer = nullptr;
    MIXERCONTROLA control{};
    DWORD channels = 0;
    char deviceName[256] = {};
    char rejectedName[256] = {};
    MIXERCONTROLDETAILS details{};
    std::unique_ptr<DWORD[]> detailValues;

private:
    bool ChooseDevice(HWND window, DWORD* destinations);
    void CloseLocked();
};

class CMixerFader final : public CMixerBase, public HandsetFader {
public:
    // subType 2 is a slider, 3 read-only; other values are refused by the
    // fader operations.
    int Init(DWORD destination, DWORD source, DWORD controlType, int subType, HWND window);
    void SetHVSliderPos();
    // kind 0 steps up, 1 steps down, 2 or 4 sets level (0..32 of full scale).
    void SetFaderValue(int kind, unsigned int level) override;
    // 0..32; 0 when the control cannot be read.
    int GetFaderLevel() override;
    // Keeps the control at 10000 or more; the caller decides when (during calls).
    int OnControlChange(HMIXER mixer, DWORD controlId);
    // The same for a notification's parameters (mixer handle, control id).
    int OnControlChange(WPARAM source, LPARAM controlId) override;
    // The product name, from the system code page.
    std::string DeviceNameUtf8() const override;
    bool IsOpen() const override { return CMixerBase::IsOpen(); }

    DWORD SliderPos() const { return sliderPos; }
    float Balance() const { return balance; }

private:
    DWORD ValueCount() const;

    DWORD range = 0;
    DWORD stepSize = 0;
    DWORD steps = 0;
    DWORD sliderPos = 0;
    int subType = 0;
    float balance = 0.0f;
};

class CMixerNumber : public CMixerBase {
public:
    int Init(DWORD destination, DWORD source, DWORD controlType, DWORD itemIndex);
    // Item `index` of the first channel. SetValue: 1 written, 0 failed.
    int SetValue(DWORD value);
    DWORD GetValue();

private:
    DWORD index = 0;
};
