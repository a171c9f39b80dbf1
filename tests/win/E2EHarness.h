// One whole Voxlink set-up for end-to-end runs: the Skype client simulator
// and the virtual handset in this process, the real Voxlink.exe in a folder
// of its own. Used by the end-to-end suite, the demo and the benchmark.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "HandsetSim.h"
#include "SkypeSim.h"
#include "VoxlinkProcess.h"

namespace voxtest {

// The signed-in user every run starts with: contacts with Latin, Chinese and a
// sixteen-character name, and two finished calls in the history.
inline const char* const kBaseScenario = R"(user vox.tester "Vox Tester"
userstatus ONLINE
clear contacts
contact alice.andersen "Alice Andersen" status=ONLINE answers=answer
contact wang.xiaoming "王小明" status=ONLINE answers=answer
contact bob.brown "Bob Brown" status=ONLINE answers=answer
contact long.name "春夏秋冬東西南北天地山川日月星辰" status=ONLINE answers=answer
clear history
history 201 INCOMING_P2P FINISHED alice.andersen ago=86400 duration=420
history 202 OUTGOING_P2P FINISHED bob.brown ago=7200 duration=61
skypeout on
balance 1250 EUR
outgoing answer
answer-delay 300
step-delay 50
ring-timeout 0
durations on
next-call-id 301
)";

// A 16x16 glyph as the handset shows it, drawn from GNU Unifont's hex file
// (where the program's font tables come from); empty when not found.
inline std::vector<std::uint8_t> UnifontGlyph(unsigned codePoint) {
    char key[16];
    std::snprintf(key, sizeof key, "%04X:", codePoint);
    for (const char* file :
         {"Z:\\usr\\share\\unifont\\unifont.hex", "Z:\\usr\\share\\unifont\\unifont_jp.hex"}) {
        FILE* in = std::fopen(file, "r");
        if (in == nullptr) {
            continue;
        }
        char line[256];
        std::vector<std::uint8_t> rows;
        while (std::fgets(line, sizeof line, in) != nullptr) {
            if (std::strncmp(line, key, 5) != 0) {
                continue;
            }
            const char* hex = line + 5;
            for (int i = 0; i + 1 < 64 && hex[i] != '\0' && hex[i] != '\n'; i += 2) {
                unsigned byte = 0;
                std::sscanf(hex + i, "%2x", &byte);
                rows.push_back(static_cast<std::uint8_t>(byte));
            }
            break;
        }
        std::fclose(in);
        if (rows.size() == 32) {
            return handsetsim::GlyphFromRows(rows, 16);
        }
    }
    return {};
}

// True when the display's name line is these code points drawn as
// double-byte glyphs (blank cells after them aside).
inline bool NameShowsGlyphs(const handsetsim::LcdScreen& screen,
                            const std::vector<unsigned>& codePoints) {
    std::size_t cells = screen.name.size();
    while (cells > 0 && screen.name[cells - 1].kind == handsetsim::CellKind::Ascii &&
           (screen.name[cells - 1].code == ' ' || screen.name[cells - 1].code == 0)) {
        --cells;
    }
    if (cells != codePoints.size()) {
        return false;
    }
    for (std::size_t i = 0; i < codePoints.size(); ++i) {
        const handsetsim::LcdCell& cell = screen.name[i];
        const std::vector<std::uint8_t> expected = UnifontGlyph(codePoints[i]);
        if (cell.kind != handsetsim::CellKind::Wide || expected.size() != 32 ||
            !std::equal(expected.begin(), expected.end(), cell.glyph.begin())) {
            return false;
        }
    }
    return true;
}

class VoxlinkRig {
public:
    // name: a short word naming the run (folder, pipe and window title).
    explicit VoxlinkRig(const std::string& name) {
        handsetsim::VirtualHandsetOptions options;
        options.pipePath = "\\\\.\\pipe\\voxlink-e2e-" + name;
        options.setEnvironment = false;
        handset = std::make_unique<handsetsim::VirtualHandset>(options);
        program = std::make_unique<Program>("e2e_" + name, "VoxlinkE2E_" + name, options.pipePath);
        program->CopyFontData();
        program->Set("NAME", "Name", "Voxlink");
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        program->logPath = std::string(temp) + "voxlink_e2e_" + name + ".log";
    }

    // Starts the simulator (base scenario plus extra set-up lines), plugs the
    // handset in, starts the program and waits until it has attached, loaded
    // its lists and had its link start answered.
    bool Boot(const std::string& extraSetup, std::string* failure) {
        std::string error;
        if (!sim.LoadScenario(std::string(kBaseScenario) + extraSetup, &error) ||
            !sim.Start(&error)) {
            *failure = "skypesim: " + error;
            return false;
        }
        if (!handset->Plug()) {
            *failure = "the virtual handset's pipe could not be created";
            return false;
        }
        if (!program->Start()) {
            *failure = "Voxlink.exe did not start";
            return false;
        }
        std::string got;
        if (!sim.WaitForCommand("SEARCH CALLS", 20000, &got)) {
            *failure = "no SEARCH CALLS within 20 s";
            return false;
        }
        // The link start follows the call history's last SEEN reply; the
        // handset's answer brings the codec set-up and the missed-calls notice.
        if (!PumpUntil([&] { return handset->State().registers.count(0x0E) == 1; }, 10000)) {
            *failure = "the link start was not answered and handled";
            return false;
        }
        if (!handset->WaitForTransfers(1, 10000)) {
            *failure = "no missed-calls notice after the link start";
            return false;
        }
        return true;
    }

    // Commands the program sent to Skype, in order.
    std::vector<std::string> Commands() const {
        std::vector<std::string> commands;
        for (const skypesim::TranscriptEntry& e : sim.Transcript()) {
            if (e.direction == skypesim::Direction::kFromClient) {
                commands.push_back(e.text);
            }
        }
        return commands;
    }
    // Index of the first command at or after `from` that equals text; -1 when none.
    int CommandIndex(const std::string& text, std::size_t from = 0) const {
        const std::vector<std::string> commands = Commands();
        for (std::size_t i = from; i < commands.size(); ++i) {
            if (commands[i] == text) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // Waits until the program has sent exactly this text (after the first `from` commands).
    bool WaitForText(const std::string& text, int timeoutMs, std::size_t from = 0) const {
        return PumpUntil([&] { return CommandIndex(text, from) >= 0; }, timeoutMs);
    }
    std::size_t CommandCount() const { return Commands().size(); }

    // Index of the first output report at or after `from` whose command byte is `command`.
    int WaitForHandsetCommand(std::uint8_t command, std::size_t from, int timeoutMs) const {
        return handset->WaitForOutput({-1, -1, -1, command}, from, timeoutMs);
    }
    std::size_t OutputCount() const { return handset->Outputs().size(); }

    // A key and its acknowledgement as handled (sequence OR 0x50).
    bool Press(std::uint8_t code, int timeoutMs = 5000) {
        const int sequence = handset->PressKey(code);
        if (sequence < 0 || !handset->WaitForAcknowledgement(sequence, timeoutMs)) {
            return false;
        }
        return handset->Acknowledgements().back().handled;
    }
    // A key that makes the program send a transfer (list key, balance): waits
    // for the transfer to complete.
    bool PressForTransfer(std::uint8_t code, int timeoutMs = 8000) {
        const int transfers = handset->State().transfers;
        return Press(code) && handset->WaitForTransfers(transfers + 1, timeoutMs);
    }

    std::string Log() const {
        std::string text;
        if (FILE* in = std::fopen(program->logPath.c_str(), "r")) {
            char buffer[4096];
            std::size_t n = 0;
            while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
                text.append(buffer, n);
            }
            std::fclose(in);
        }
        return text;
    }

    skypesim::SkypeSim sim;
    std::unique_ptr<handsetsim::VirtualHandset> handset;
    std::unique_ptr<Program> program;
};

}  // namespace voxtest
