// Synthesises the wave files the program plays, as 16-bit PCM mono at
// 22,050 Hz:
//   key tones "0.wav" ... "9.wav", "star.wav", "pound.wav": the key's DTMF pair
//     (ITU-T Q.23), 120 ms with 5 ms fades;
//   ring tones "music1.wav" ... "music4.wav", which the program loops while a
//     call rings: a double ring, a soft chime, a rising trill and a short
//     melody, each silent at both ends so that the loop point does not click,
//     and brought to the same loudness (RMS of the loudest 400 ms).
//   tonegen <out folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

using Samples = std::vector<double>;

std::size_t At(double seconds) {
    return static_cast<std::size_t>(std::lround(seconds * kRate));
}

// Raised-cosine fades in over the first `in` and out over the last `out`
// seconds of samples [from, to).
void Fade(Samples& s, std::size_t from, std::size_t to, double in, double out) {
    const std::size_t nIn = std::min(At(in), (to - from) / 2);
    const std::size_t nOut = std::min(At(out), (to - from) / 2);
    for (std::size_t i = 0; i < nIn; ++i) {
        s[from + i] *= 0.5 - 0.5 * std::cos(kPi * (i + 0.5) / nIn);
    }
    for (std::size_t i = 0; i < nOut; ++i) {
        s[to - 1 - i] *= 0.5 - 0.5 * std::cos(kPi * (i + 0.5) / nOut);
    }
}

// Adds sine partials {frequency factor, amplitude, decay time (0: none)} of
// `frequency` from `start` for `length` seconds, faded in and out.
struct Partial {
    double factor, amplitude, decay;
};

void AddNote(Samples& s, double start, double length, double frequency,
             const std::vector<Partial>& partials, double in, double out) {
    Samples note(At(length), 0.0);
    for (std::size_t i = 0; i < note.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        for (const Partial& p : partials) {
            const double envelope = p.decay > 0 ? std::exp(-t / p.decay) : 1.0;
            note[i] += p.amplitude * envelope * std::sin(2 * kPi * frequency * p.factor * t);
        }
    }
    Fade(note, 0, note.size(), in, out);
    for (std::size_t i = 0; i < note.size() && At(start) + i < s.size(); ++i) {
        s[At(start) + i] += note[i];
    }
}

Samples KeyTone(double low, double high) {
    Samples s(At(0.12));
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        // The high tone a little louder, as telephone exchanges expect.
        s[i] = 0.3 * std::sin(2 * kPi * low * t) + 0.37 * std::sin(2 * kPi * high * t);
    }
    Fade(s, 0, s.size(), 0.005, 0.005);
    return s;
}

// Two short bursts of 400 + 450 Hz, then a pause: a classic double ring.
Samples DoubleRing() {
    Samples s(At(3.0), 0.0);
    for (double start : {0.0, 0.6}) {
        AddNote(s, start, 0.4, 400, {{1, 0.5, 0}, {450.0 / 400.0, 0.5, 0}}, 0.015, 0.015);
    }
    return s;
}

// Two bell strikes, high then low, dying away.
Samples SoftChime() {
    const std::vector<Partial> bell = {
        {1, 1.0, 0.6}, {2.0, 0.35, 0.35}, {3.0, 0.15, 0.2}, {4.2, 0.06, 0.12}};
    Samples s(At(2.6), 0.0);
    AddNote(s, 0.0, 1.3, 659.26, bell, 0.004, 0.3);   // E5
    AddNote(s, 0.65, 1.9, 523.25, bell, 0.004, 0.3);  // C5
    return s;
}

// A fast alternation of two pitches a major third apart, climbing an octave,
// twice. The phase runs on across each step, so the steps do not click.
Samples RisingTrill() {
    Samples s(At(2.4), 0.0);
    for (double start : {0.0, 1.0}) {
        const std::size_t from = At(start), to = At(start + 0.8);
        double phase = 0;
        for (std::size_t i = from; i < to; ++i) {
            const double t = static_cast<double>(i - from) / kRate;
            const bool upper = static_cast<int>(t * 32) % 2 == 1;
            const double f = 520 * std::pow(2.0, t / 0.8) * (upper ? 1.26 : 1.0);
            phase += 2 * kPi * f / kRate;
            s[i] = std::sin(phase) + 0.2 * std::sin(2 * phase);
        }
        Fade(s, from, to, 0.01, 0.01);
    }
    return s;
}

// G5 E5 C5 E5 G5 C6, plucked.
Samples ShortMelody() {
    const std::vector<Partial> pluck = {{1, 1.0, 0.25}, {2, 0.3, 0.12}, {3, 0.1, 0.08}};
    Samples s(At(2.0), 0.0);
    double start = 0;
    for (double f : {783.99, 659.26, 523.25, 659.26, 783.99, 1046.5}) {
        AddNote(s, start, 0.16, f, pluck, 0.006, 0.04);
        start += 0.18;
    }
    return s;
}

// The level of the loudest 400 ms (the momentary loudness of broadcast
// practice, without its frequency weighting): pauses and tails do not count.
double LoudestRms(const Samples& s) {
    const std::size_t window = At(0.4);
    double sum = 0, loudest = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        sum += s[i] * s[i];
        if (i >= window) {
            sum -= s[i - window] * s[i - window];
        }
        loudest = std::max(loudest, sum);
    }
    return std::sqrt(loudest / window);
}

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool WriteWave(const std::string& path, const Samples& s) {
    std::string data;
    for (double v : s) {
        const long q = std::lround(std::clamp(v, -1.0, 1.0) * 32767);
        Put16(data, static_cast<unsigned>(q) & 0xFFFF);
    }
    std::string file = "RIFF";
    Put32(file, static_cast<unsigned>(36 + data.size()));
    file += "WAVEfmt ";
    Put32(file, 16);
    Put16(file, 1);  // PCM
    Put16(file, 1);  // mono
    Put32(file, kRate);
    Put32(file, kRate * 2);
    Put16(file, 2);
    Put16(file, 16);
    file += "data";
    Put32(file, static_cast<unsigned>(data.size()));
    file += data;
    std::ofstream out(path, std::ios::binary);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::cerr << "tonegen: cannot write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tonegen <out folder>\n";
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const double rows[] = {697, 770, 852, 941};
    const double columns[] = {1209, 1336, 1477};
    struct Key {
        const char* name;
        int row, column;
    };
    const Key keys[] = {{"1", 0, 0}, {"2", 0, 1}, {"3", 0, 2},    {"4", 1, 0},
                        {"5", 1, 1}, {"6", 1, 2}, {"7", 2, 0},    {"8", 2, 1},
                        {"9", 2, 2}, {"0", 3, 1}, {"star", 3, 0}, {"pound", 3, 2}};
    for (const Key& key : keys) {
        if (!WriteWave(folder + key.name + ".wav", KeyTone(rows[key.row], columns[key.column]))) {
            return 1;
        }
    }

    const Samples rings[] = {DoubleRing(), SoftChime(), RisingTrill(), ShortMelody()};
    for (int i = 0; i < 4; ++i) {
        Samples s = rings[i];
        // Silence where the loop joins, even for a tone that starts at once.
        Fade(s, 0, s.size(), 0.01, 0.01);
        // The same loudness, about -14 dBFS; no tone comes near full scale.
        const double gain = 0.2 / LoudestRms(s);
        double peak = 0;
        for (double& v : s) {
            v *= gain;
            peak = std::max(peak, std::abs(v));
        }
        if (peak > 0.9) {
            std::cerr << "tonegen: ring tone " << i + 1 << " would clip\n";
            return 1;
        }
        if (!WriteWave(folder + "music" + std::to_string(i + 1) + ".wav", s)) {
            return 1;
        }
    }
    return 0;
}
