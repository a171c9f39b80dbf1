// Timings of the font component with the generated font files (preset `bench`).
#include <benchmark/benchmark.h>

#include "FontPause.h"
#include "HsdFontProcessImpl.h"
#include "SilentHidCtrl.h"

namespace {

class NullHandset final : public SilentHidCtrl {
public:
    HsdStatus SendCommandData(unsigned char command, unsigned char data) override {
        benchmark::DoNotOptimize(command + data);
        return 0;
    }
};

void NoPause(unsigned) {}

struct Bench {
    Bench() {
        SetFontPauseFunction(NoPause);
        font.InitialFontTable(VOXLINK_FONT_DATA_DIR);
        font.SetHIDCtrlInterface(&handset);
        font.SetHIDCtrlInterfaceKey(1, 0);
    }
    NullHandset handset;
    CHsdFontProcessImpl font;
};

// 16 CJK characters: 513 items.
const char kCjkName[] =
    "\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E\xE5\xBC\xB5\xE5\xA4\xA7\xE8\x8F\xAF\xE6\x9D\x8E"
    "\xE7\xBE\x8E\xE9\xBA\x97\xE9\x99\xB3\xE5\xBF\x97\xE5\xBC\xB7\xE6\x9E\x97\xE6\x85\xA7"
    "\xE9\xBB\x83\xE5\xAE\xB6";
const char kAsciiLine[] = "The quick brown fox jumps over t";
const char kTurkishName[] = "\xC3\x87\x61\xC4\x9F\x72\xC4\xB1 \xC5\x9E\xC3\xBC\x6B\x72\xC3\xBC";

void Convert(benchmark::State& state, const char* text) {
    Bench b;
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.font.UTF_8ToUnicodeToFontCode(text));
    }
}

void BM_Cjk16Name(benchmark::State& state) {
    Convert(state, kCjkName);
}
void BM_Ascii32Line(benchmark::State& state) {
    Convert(state, kAsciiLine);
}
void BM_TurkishName(benchmark::State& state) {
    Convert(state, kTurkishName);
}

// Conversion and transfer of 513 items to a handset that takes every item at
// once, without the pauses.
void BM_Transfer513Items(benchmark::State& state) {
    Bench b;
    for (auto _ : state) {
        b.font.UTF_8ToUnicodeToFontCode(kCjkName);
        benchmark::DoNotOptimize(b.font.SendFontCode2MCU());
    }
}

BENCHMARK(BM_Cjk16Name);
BENCHMARK(BM_Ascii32Line);
BENCHMARK(BM_TurkishName);
BENCHMARK(BM_Transfer513Items);

}  // namespace
