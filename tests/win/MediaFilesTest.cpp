// The tones and tray icons the build puts beside the program: the wave files
// read with winmm's RIFF functions (which PlaySoundA uses), the key tones
// checked for their DTMF pairs with the Goertzel algorithm, and the icons that
// the shipped VoxlinkAPI.ini names, loaded as the program loads them.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Configuration.h"
#include "WinProfileReader.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of('\\') + 1);
    return folder;
}

struct Wave {
    PCMWAVEFORMAT format{};
    std::vector<double> samples;  // -1 to 1

    double Seconds() const {
        return static_cast<double>(samples.size()) / format.wf.nSamplesPerSec;
    }
};

// Reads a file as PlaySoundA does: a RIFF "WAVE" form with "fmt " and "data".
bool ReadWave(const std::string& name, Wave* wave) {
    std::string path = ProgramFolder() + name;
    HMMIO file = mmioOpenA(path.data(), nullptr, MMIO_READ);
    if (file == nullptr) {
        return false;
    }
    MMCKINFO riff{}, chunk{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    bool ok = mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) == 0;
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    ok = ok && mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) == 0 &&
         mmioRead(file, reinterpret_cast<HPSTR>(&wave->format), sizeof wave->format) ==
             static_cast<LONG>(sizeof wave->format) &&
         mmioAscend(file, &chunk, 0) == 0;
    chunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ok = ok && mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) == 0;
    if (ok) {
        std::vector<std::int16_t> data(chunk.cksize / 2);
        ok = mmioRead(file, reinterpret_cast<HPSTR>(data.data()),
                      static_cast<LONG>(data.size() * 2)) == static_cast<LONG>(data.size() * 2);
        for (std::int16_t v : data) {
            wave->samples.push_back(v / 32768.0);
        }
    }
    mmioClose(file, 0);
    return ok;
}

// The energy at one frequency (Goertzel), relative to the whole signal's.
double ShareAt(const Wave& wave, double frequency) {
    const double n = static_cast<double>(wave.samples.size());
    const double coefficient = 2 * std::cos(2 * kPi * frequency / wave.format.wf.nSamplesPerSec);
    double s1 = 0, s2 = 0, total = 0;
    for (double x : wave.samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += x * x;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2 * power / (n * total);
}

// The level of the loudest 400 ms, in decibels: pauses do not count.
double LoudnessDb(const Wave& wave) {
    const std::size_t window = wave.format.wf.nSamplesPerSec * 2 / 5;
    double sum = 0, loudest = 0;
    for (std::size_t i = 0; i < wave.samples.size(); ++i) {
        sum += wave.samples[i] * wave.samples[i];
        if (i >= window) {
            sum -= wave.samples[i - window] * wave.samples[i - window];
        }
        loudest = std::max(loudest, sum);
    }
    return 10 * std::log10(loudest / window);
}

const char* const kRingTones[] = {"music1.wav", "music2.wav", "music3.wav", "music4.wav"};

struct KeyTone {
    const char* file;
    double low, high;
};
const KeyTone kKeyTones[] = {
    {"1.wav", 697, 1209}, {"2.wav", 697, 1336}, {"3.wav", 697, 1477},    {"4.wav", 770, 1209},
    {"5.wav", 770, 1336}, {"6.wav", 770, 1477}, {"7.wav", 852, 1209},    {"8.wav", 852, 1336},
    {"9.wav", 852, 1477}, {"0.wav", 941, 1336}, {"star.wav", 941, 1209}, {"pound.wav", 941, 1477},
};
const double kDtmf[] = {697, 770, 852, 941, 1209, 1336, 1477};

void ExpectPcm16Mono(const Wave& wave) {
    EXPECT_EQ(wave.format.wf.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wave.format.wf.nChannels, 1);
    EXPECT_EQ(wave.format.wBitsPerSample, 16);
    EXPECT_EQ(wave.format.wf.nBlockAlign, 2);
    EXPECT_EQ(wave.format.wf.nAvgBytesPerSec, wave.format.wf.nSamplesPerSec * 2);
}

TEST(KeyTones, EachIsItsKeysDtmfPairAndNoOtherKeyFrequency) {
    for (const KeyTone& key : kKeyTones) {
        SCOPED_TRACE(key.file);
        Wave wave;
        ASSERT_TRUE(ReadWave(key.file, &wave));
        ExpectPcm16Mono(wave);
        EXPECT_GE(wave.Seconds(), 0.1);
        EXPECT_LE(wave.Seconds(), 0.15);
        for (double f : kDtmf) {
            if (f == key.low || f == key.high) {
                EXPECT_GT(ShareAt(wave, f), 0.3) << f << " Hz";
            } else {
                EXPECT_LT(ShareAt(wave, f), 0.01) << f << " Hz";
            }
        }
        // Faded in and out: no click at either end.
        EXPECT_LT(std::abs(wave.samples.front()), 0.01);
        EXPECT_LT(std::abs(wave.samples.back()), 0.01);
    }
}

TEST(RingTones, DistinctEquallyLoudAndQuietWhereTheLoopJoins) {
    std::vector<Wave> waves(4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(kRingTones[i]);
        ASSERT_TRUE(ReadWave(kRingTones[i], &waves[i]));
        const Wave& wave = waves[i];
        ExpectPcm16Mono(wave);
        EXPECT_GE(wave.Seconds(), 1.0);
        EXPECT_LE(wave.Seconds(), 3.0);
        // The first and last half millisecond, where the loop joins.
        const std::size_t edge = wave.format.wf.nSamplesPerSec / 2000;
        for (std::size_t j = 0; j < edge; ++j) {
            EXPECT_LT(std::abs(wave.samples[j]), 0.01);
            EXPECT_LT(std::abs(wave.samples[wave.samples.size() - 1 - j]), 0.01);
        }
        EXPECT_NEAR(LoudnessDb(wave), LoudnessDb(waves[0]), 0.5);
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(wave.samples, waves[j].samples) << kRingTones[j];
        }
    }
}

// ICONDIR, its entries and each image's BITMAPINFOHEADER, as in the file.
#pragma pack(push, 1)
struct IconDirEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes, offset;
};
#pragma pack(pop)

std::vector<BYTE> ReadFileBytes(const std::string& path) {
    std::vector<BYTE> bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(file)) != EOF) {
            bytes.push_back(static_cast<BYTE>(c));
        }
        std::fclose(file);
    }
    return bytes;
}

TEST(TrayIcons, TheShippedConfigurationNamesIconsOfSixSizesWithAlpha) {
    CWinProfileReader reader;
    Configuration config;
    config.Load(reader, ProgramFolder().c_str());
    const std::string paths[] = {config.FileNoHW(), config.FileNoANY(), config.FileActive(),
                                 config.FileNoSkype()};
    std::vector<std::vector<BYTE>> smallest;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        HANDLE icon = LoadImageA(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE);
        EXPECT_NE(icon, nullptr);
        DestroyIcon(static_cast<HICON>(icon));

        const std::vector<BYTE> bytes = ReadFileBytes(path);
        ASSERT_GE(bytes.size(), 6u + 6 * sizeof(IconDirEntry));
        ASSERT_EQ(bytes[4], 6);  // image count
        const int sizes[] = {16, 20, 24, 32, 40, 48};
        for (int i = 0; i < 6; ++i) {
            IconDirEntry entry;
            std::memcpy(&entry, &bytes[6 + i * sizeof entry], sizeof entry);
            EXPECT_EQ(entry.width, sizes[i]);
            EXPECT_EQ(entry.height, sizes[i]);
            EXPECT_EQ(entry.bitCount, 32);
            ASSERT_LE(entry.offset + entry.bytes, bytes.size());
            BITMAPINFOHEADER header;
            std::memcpy(&header, &bytes[entry.offset], sizeof header);
            EXPECT_EQ(header.biWidth, sizes[i]);
            EXPECT_EQ(header.biHeight, 2 * sizes[i]);  // colour and mask
            EXPECT_EQ(header.biBitCount, 32);
            // Anti-aliased edges: alpha between transparent and opaque.
            const BYTE* pixels = &bytes[entry.offset + sizeof header];
            bool partial = false;
            for (int p = 0; p < sizes[i] * sizes[i]; ++p) {
                partial = partial || (pixels[p * 4 + 3] > 0 && pixels[p * 4 + 3] < 255);
            }
            EXPECT_TRUE(partial) << sizes[i] << " px";
            if (i == 0) {
                smallest.emplace_back(pixels, pixels + 16 * 16 * 4);
            }
        }
    }
    // Each state has a picture of its own at the tray's 16 pixels.
    for (std::size_t i = 0; i < smallest.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_NE(smallest[i], smallest[j]) << paths[i] << " and " << paths[j];
        }
    }
}

}  // namespace
