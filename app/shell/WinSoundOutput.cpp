#include "WinSoundOutput.h"

#include <windows.h>
#include <mmsystem.h>

static_assert(kSoundAsync == SND_ASYNC && kSoundLoop == SND_LOOP && kSoundPurge == SND_PURGE &&
                  kSoundFileName == SND_FILENAME,
              "the ring-tone flags carry the PlaySound values");

void CWinSoundOutput::PlayWave(const char* fileName, unsigned int flags) {
    PlaySoundA(fileName, nullptr, flags);
}
