// The PC ring tone: four wave files beside the program, one selected at a
// time, played in a loop while a call rings in and once as a preview when the
// user steps to another tone.
#pragma once

#include <atomic>

// Port to the process's one sound channel (PlaySoundA on Windows). A later
// sound replaces the one playing; fileName null with kSoundPurge stops it.
class ISoundOutput {
public:
    virtual ~ISoundOutput() = default;
    virtual void PlayWave(const char* fileName, unsigned int flags) = 0;
};

// Flags with the values of the Win32 PlaySound flags.
inline constexpr unsigned int kSoundAsync = 0x0001;      // SND_ASYNC
inline constexpr unsigned int kSoundLoop = 0x0008;       // SND_LOOP
inline constexpr unsigned int kSoundPurge = 0x0040;      // SND_PURGE
inline constexpr unsigned int kSoundFileName = 0x20000;  // SND_FILENAME

class RingTonePlayer {
public:
    static constexpr int kToneCount = 4;
    static constexpr unsigned int kRingDelayMs = 1000;

    explicit RingTonePlayer(ISoundOutput& sound) : m_sound(sound) {}

    // Waits one second on the calling thread, then loops the selected tone.
    void StartRinging();
    // Stops whatever the process is playing.
    void StopRinging();
    // Steps to the next tone (cycling back to the first) and plays it once.
    void SelectNextRingTone();

    int ToneIndex() const { return m_toneIndex.load(); }
    // "music1.wav" .. "music4.wav" for 0 .. 3.
    static const char* ToneFile(int toneIndex);

private:
    ISoundOutput& m_sound;
    // Written by the handset thread, read by the notification thread.
    std::atomic<int> m_toneIndex{0};
};
