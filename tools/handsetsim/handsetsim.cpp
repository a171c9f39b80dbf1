// handsetsim.exe: the virtual handset as a program, driven by a script or
// interactively. See --help.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "HandsetSim.h"

namespace {

const char kHelp[] =
    "usage: handsetsim [options]\n"
    "Plays the USB handset's microcontroller behind the HID library's virtual device.\n"
    "Programs find it when VOXLINK_VIRTUAL_HANDSET names the same pipe.\n"
    "\n"
    "options:\n"
    "  --pipe PATH          pipe to serve (default \\\\.\\pipe\\voxlink-handset)\n"
    "  --vendor HEX         vendor id announced (default: the library's HANDSET_VENDOR_ID)\n"
    "  --product HEX        product id announced (default 1822)\n"
    "  --input-length N     input report length (default 8; 4 for short reports)\n"
    "  --output-length N    output report length (default 8)\n"
    "  --link-answer HEX    answer to the link start: 80 (default) or 81\n"
    "  --no-link-answer     don't answer the link start\n"
    "  --no-transfer-answer don't signal readiness after 3E / 3F\n"
    "  --font FILE          8x16 glyph table (Latin table layout, 4096 bytes) or GNU\n"
    "                       Unifont .hex file, to draw the handset's own characters\n"
    "                       in art and images\n"
    "  --script FILE        run the commands in FILE ('-' = standard input) and exit;\n"
    "                       without it, commands are read interactively\n"
    "  --transcript FILE    also write every report and event to FILE\n"
    "  --unplugged          start unplugged (default: plugged in at start)\n"
    "  --no-broadcast       don't broadcast WM_DEVICECHANGE when plugging in or out\n"
    "  --quiet              don't echo the transcript to standard output\n"
    "\n"
    "commands (one per line; '#' starts a comment; codes and bytes in hex):\n"
    "  plug | unplug        plug in (serve the pipe, broadcast WM_DEVICECHANGE) or out\n"
    "  hang | unhang        stop taking output reports (a firmware hang: the program's\n"
    "                       writes wait once the pipe is full) or take them again\n"
    "  key CODE [AUX]       key report with the next sequence number 0-3\n"
    "  lift | hangup        keys 1F and 20\n"
    "  repeat               the last key report again, same sequence number\n"
    "  handshake [CODE]     out-of-sequence report (sequence 4-7), default 5A\n"
    "  report B0 B1 ...     any input report\n"
    "  wait MS              pause\n"
    "  expect-connect [N] [MS]  until N pipe clients (default 1) have the device open;\n"
    "                       a program with its read thread running holds two\n"
    "  expect-ack [MS]      until the last key is acknowledged\n"
    "  expect-report B0 .. B7 [MS]  until an output report matches (xx = any byte),\n"
    "                       searching after the previous match\n"
    "  expect-display TEXT  until the display shows TEXT (5 s)\n"
    "  expect-state NAME    until a state flag is set: ringing, call, muted, nolist,\n"
    "                       shutdown, mixer, routing, failed (5 s)\n"
    "  show                 print the display as text and block art\n"
    "  state                print the handset's state\n"
    "  png FILE | pbm FILE  save the display as an image\n"
    "  quit\n"
    "A script stops at the first expectation that fails; the exit status is then 1.\n";

int ParseHex(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 16));
}

int ParseInt(const std::string& text, int fallback) {
    return text.empty() ? fallback : std::atoi(text.c_str());
}

class Runner {
public:
    explicit Runner(handsetsim::VirtualHandset& handset) : handset_(handset) {}

    // false when the command failed (an expectation not met, or a bad command).
    bool Run(const std::string& line, bool& quit) {
        std::istringstream in(line);
        std::string command;
        if (!(in >> command) || command[0] == '#') {
            return true;
        }
        std::vector<std::string> args;
        for (std::string word; in >> word;) {
            args.push_back(word);
        }
        auto arg = [&args](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
        if (command == "quit" || command == "exit") {
            quit = true;
            return true;
        }
        if (command == "plug") {
            return Check(handset_.Plug(), "cannot serve the pipe");
        }
        if (command == "unplug") {
            handset_.Unplug();
            return true;
        }
        if (command == "hang" || command == "unhang") {
            handset_.TakeOutputs(command == "unhang");
            return true;
        }
        if (command == "key") {
            lastKey_ = handset_.PressKey(static_cast<std::uint8_t>(ParseHex(arg(0))),
                                         static_cast<std::uint8_t>(ParseHex(arg(1))));
            return Check(lastKey_ >= 0, "unplugged");
        }
        if (command == "lift" || command == "hangup") {
            lastKey_ = command == "lift" ? handset_.Lift() : handset_.HangUp();
            return Check(lastKey_ >= 0, "unplugged");
        }
        if (command == "repeat") {
            return Check(handset_.RepeatLastKey(), "no key to repeat");
        }
        if (command == "handshake") {
            const int code = args.empty() ? 0x5A : ParseHex(arg(0));
            return Check(handset_.SendHandshake(static_cast<std::uint8_t>(code)), "unplugged");
        }
        if (command == "report") {
            std::vector<std::uint8_t> report;
            for (const std::string& byte : args) {
                report.push_back(static_cast<std::uint8_t>(ParseHex(byte)));
            }
            return Check(handset_.SendReport(report), "unplugged");
        }
        if (command == "wait") {
            Sleep(static_cast<DWORD>(ParseInt(arg(0), 0)));
            return true;
        }
        if (command == "expect-connect") {
            return Check(handset_.WaitForConnections(ParseInt(arg(0), 1), ParseInt(arg(1), 5000)),
                         "no program opened the device");
        }
        if (command == "expect-ack") {
            return Check(handset_.WaitForAcknowledgement(lastKey_, ParseInt(arg(0), 5000)),
                         "the last key was not acknowledged");
        }
        if (command == "expect-report") {
            std::vector<int> pattern;
            int timeout = 5000;
            for (std::size_t i = 0; i < args.size(); ++i) {
                if (i == 8) {
                    timeout = ParseInt(args[i], timeout);
                    break;
                }
                pattern.push_back(args[i] == "xx" || args[i] == "XX" ? -1 : ParseHex(args[i]));
            }
            const int index = handset_.WaitForOutput(pattern, nextReport_, timeout);
            if (index >= 0) {
                nextReport_ = static_cast<std::size_t>(index) + 1;
            }
            return Check(index >= 0, "no such output report: " + line);
        }
        if (command == "expect-display") {
            const std::string text = line.substr(line.find(command) + command.size() + 1);
            return Check(handset_.WaitForDisplay(text, 5000), "display never showed: " + text);
        }
        if (command == "expect-state") {
            const std::string name = arg(0);
            const ULONGLONG deadline = GetTickCount64() + 5000;
            do {
                const handsetsim::HandsetState s = handset_.State();
                const bool set =
                    (name == "ringing" && s.ringing) || (name == "call" && s.callActive) ||
                    (name == "muted" && s.muted) || (name == "nolist" && s.noList) ||
                    (name == "shutdown" && s.shutdown) || (name == "mixer" && s.mixerEnabled) ||
                    (name == "routing" && s.routing) || (name == "failed" && s.callFailed);
                if (set) {
                    return true;
                }
                Sleep(10);
            } while (GetTickCount64() < deadline);
            return Check(false, "state never set: " + name);
        }
        if (command == "show") {
            std::cout << handset_.DisplayText() << handset_.DisplayArt() << std::flush;
            return true;
        }
        if (command == "state") {
            PrintState();
            return true;
        }
        if (command == "png") {
            return Check(handset_.SavePng(arg(0)), "cannot write " + arg(0));
        }
        if (command == "pbm") {
            return Check(handset_.SavePbm(arg(0)), "cannot write " + arg(0));
        }
        return Check(false, "unknown command: " + command);
    }

private:
    bool Check(bool ok, const std::string& failure) {
        if (!ok) {
            std::cout << "FAILED: " << failure << std::endl;
        }
        return ok;
    }

    void PrintState() {
        const handsetsim::HandsetState s = handset_.State();
        std::printf(
            "plugged %d connections %d ringing %d call %d routing %d failed %d muted %d "
            "nolist %d shutdown %d mixer %d status %02X ringtone-changes %d link-starts %d "
            "handshakes %d refused %d transfers %d acks %zu\n",
            s.plugged, s.connections, s.ringing, s.callActive, s.routing, s.callFailed, s.muted,
            s.noList, s.shutdown, s.mixerEnabled, s.userStatusCommand & 0xFF, s.ringToneChanges,
            s.linkStarts, s.handshakesSent, s.handshakesRefused, s.transfers,
            handset_.Acknowledgements().size());
        std::fflush(stdout);
    }

    handsetsim::VirtualHandset& handset_;
    int lastKey_ = -1;
    std::size_t nextReport_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    handsetsim::VirtualHandsetOptions options;
    std::string script;
    std::string transcriptPath;
    std::string fontPath;
    bool plugged = true;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--pipe") {
            options.pipePath = next();
        } else if (a == "--vendor") {
            options.vendorId = static_cast<std::uint16_t>(ParseHex(next()));
        } else if (a == "--product") {
            options.productId = static_cast<std::uint16_t>(ParseHex(next()));
        } else if (a == "--input-length") {
            options.inputReportLength = static_cast<std::uint16_t>(ParseInt(next(), 8));
        } else if (a == "--output-length") {
            options.outputReportLength = static_cast<std::uint16_t>(ParseInt(next(), 8));
        } else if (a == "--link-answer") {
            options.linkAnswer = static_cast<std::uint8_t>(ParseHex(next()));
        } else if (a == "--no-link-answer") {
            options.answerLinkStart = false;
        } else if (a == "--no-transfer-answer") {
            options.answerTransfers = false;
        } else if (a == "--font") {
            fontPath = next();
        } else if (a == "--script") {
            script = next();
        } else if (a == "--transcript") {
            transcriptPath = next();
        } else if (a == "--unplugged") {
            plugged = false;
        } else if (a == "--no-broadcast") {
            options.broadcastDeviceChange = false;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "handsetsim: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (options.inputReportLength < 4 || options.outputReportLength < 8) {
        std::fprintf(stderr, "handsetsim: input length must be 4 or more, output 8 or more\n");
        return 2;
    }

    handsetsim::VirtualHandset handset(options);
    if (!fontPath.empty()) {
        handsetsim::AsciiFont font;
        if (!font.Load(fontPath)) {
            std::fprintf(stderr, "handsetsim: cannot read font %s\n", fontPath.c_str());
            return 2;
        }
        handset.SetFont(font);
    }
    std::shared_ptr<std::ofstream> transcript;
    if (!transcriptPath.empty()) {
        transcript = std::make_shared<std::ofstream>(transcriptPath);
    }
    handset.SetTranscriptSink([transcript, quiet](const std::string& line) {
        if (!quiet) {
            std::cout << line << std::endl;
        }
        if (transcript) {
            *transcript << line << std::endl;
        }
    });
    if (plugged && !handset.Plug()) {
        std::fprintf(stderr, "handsetsim: cannot serve %s\n", options.pipePath.c_str());
        return 1;
    }

    Runner runner(handset);
    std::ifstream file;
    std::istream* input = &std::cin;
    const bool interactive = script.empty();
    if (!interactive && script != "-") {
        file.open(script);
        if (!file) {
            std::fprintf(stderr, "handsetsim: cannot read %s\n", script.c_str());
            return 2;
        }
        input = &file;
    }
    bool quit = false;
    int status = 0;
    for (std::string line; !quit && std::getline(*input, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!runner.Run(line, quit) && !interactive) {
            status = 1;
            break;
        }
    }
    handset.Unplug();
    return status;
}
