#include "RingTonePlayer.h"

#include "Pause.h"

const char* RingTonePlayer::ToneFile(int toneIndex) {
    static const char* const kFiles[kToneCount] = {"music1.wav", "music2.wav", "music3.wav",
                                                   "music4.wav"};
    return kFiles[(toneIndex >= 0 && toneIndex < kToneCount) ? toneIndex : 0];
}

void RingTonePlayer::StartRinging() {
    Pause(kRingDelayMs);
    m_sound.PlayWave(ToneFile(m_toneIndex.load()), kSoundFileName | kSoundAsync | kSoundLoop);
}

void RingTonePlayer::StopRinging() {
    m_sound.PlayWave(nullptr, kSoundPurge);
}

void RingTonePlayer::SelectNextRingTone() {
    const int current = m_toneIndex.load();
    const int next = current > 2 ? 0 : current + 1;
    m_toneIndex.store(next);
    m_sound.PlayWave(ToneFile(next), kSoundFileName | kSoundAsync);
}
