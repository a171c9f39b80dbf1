// The process's sound channel: PlaySoundA.
#pragma once

#include "RingTonePlayer.h"

class CWinSoundOutput : public ISoundOutput {
public:
    void PlayWave(const char* fileName, unsigned int flags) override;
};
