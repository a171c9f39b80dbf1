#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "ThreadLabel.h"

namespace fs = std::filesystem;

namespace {

fs::path FreshFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / ("voxlink_log_" + name);
    fs::remove_all(folder);
    return folder;
}

std::vector<std::string> LinesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool Has(const std::string& line, const std::string& part) {
    return line.find(part) != std::string::npos;
}

}  // namespace

// Every source reaches the one log in the order traced, with the label of the
// thread that traced, and what the user keyed or dialled is not in it.
TEST(Log, EachSourceArrivesInOrderWithItsThreadLabelAndNoDigitsKeyed) {
    const fs::path folder = FreshFolder("program");
    StartProgramLog(folder, kLogAll);
    struct Row {
        TraceSource source;
        const char* label;
        const char* text;
        const char* source_name;
        const char* secret;
    };
    const Row rows[] = {
        {TraceSource::Skype, "notification", "PC -> SKYPE: SET CALL 301 DTMF 7", "skype", "7"},
        {TraceSource::Hid, "HID read", "MCU->PC: 00 00 39 01 00 00 00 00", "hid", "39"},
        {TraceSource::Handset, "input", "link answered", "handset", nullptr},
        {TraceSource::Audio, "main", "Audio: mixer devices", "audio", nullptr},
        {TraceSource::Shell, "main", "CALL +4930123", "shell", "4930123"},
    };
    for (const Row& row : rows) {
        std::thread([&] {
            SetThreadLabel(row.label);
            Trace(row.source, kLogStates, row.text);
        }).join();
    }
    // The cost on the calling thread, for docs/testing.md.
    std::vector<double> us;
    for (int i = 0; i < 1000; ++i) {
        const auto start = std::chrono::steady_clock::now();
        Trace(TraceSource::Skype, kLogAll + 1, "Message from Skype: USER bob ONLINESTATUS ONLINE");
        us.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(us.begin(), us.begin() + 500, us.end());
    std::printf("trace call, median of 1000: %.2f us\n", us[500]);
    StopProgramLog();

    const std::vector<std::string> lines = LinesOf(folder / "Logs" / "Voxlink.log");
    ASSERT_EQ(lines.size(), std::size(rows));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Row& row = rows[i];
        EXPECT_TRUE(Has(lines[i], std::string("[") + row.label + "]")) << lines[i];
        const std::size_t text = lines[i].find(std::string(row.source_name) + ": ");
        ASSERT_NE(text, std::string::npos) << lines[i];
        if (row.secret != nullptr) {
            EXPECT_FALSE(Has(lines[i].substr(text), row.secret)) << lines[i];
        }
    }
}

TEST(Log, RollsAtTheSizeLimitKeepingFiveFilesOfTheNewestLines) {
    const fs::path folder = FreshFolder("roll");
    {
        LogWriter log({folder, 1000, 1024, {}});
        for (int i = 0; i < 100; ++i) {
            log.Post("line " + std::to_string(i) + std::string(90, '.'));
        }
    }
    std::vector<std::string> kept;
    for (int i = LogWriter::kFiles; i >= 0; --i) {
        const fs::path file =
            folder / (i == 0 ? "Voxlink.log" : "Voxlink." + std::to_string(i) + ".log");
        EXPECT_EQ(fs::exists(file), i < LogWriter::kFiles) << file;
        if (fs::exists(file)) {
            EXPECT_LE(fs::file_size(file), 1000u) << file;
            for (const std::string& line : LinesOf(file)) {
                kept.push_back(line.substr(0, line.find('.')));
            }
        }
    }
    ASSERT_GE(kept.size(), 40u);
    EXPECT_EQ(kept.back(), "line 99");
    EXPECT_EQ(kept.front(), "line " + std::to_string(100 - kept.size()));
}

// A writer stuck on the disk never holds up the thread that traces: lines
// beyond the queue are counted, and the count reaches the file afterwards.
TEST(Log, AFullQueueDropsAndCountsInsteadOfWaitingForAHeldWriter) {
    const fs::path folder = FreshFolder("held");
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool first = true;
    auto hold = [&] {
        if (std::exchange(first, false)) {
            entered.set_value();
            released.wait();
        }
    };
    {
        LogWriter log({folder, 1 << 20, 10, hold});
        log.Post("first");
        entered.get_future().wait();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 60; ++i) {
            log.Post("line " + std::to_string(i));
        }
        EXPECT_FALSE(log.PostWithoutLocks("exit deadline", 20));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        release.set_value();
    }
    const std::vector<std::string> lines = LinesOf(folder / "Voxlink.log");
    // The ten queued, the count of the other fifty, and the slot's line,
    // written once the writer went on.
    ASSERT_EQ(lines.size(), 13u);
    const auto has = [&](const std::string& part) {
        return std::any_of(lines.begin(), lines.end(), [&](auto& line) { return Has(line, part); });
    };
    EXPECT_TRUE(has("line 9") && has(" 50 ") && has("exit deadline"));
}

TEST(Log, AFolderThatCannotBeWrittenLeavesTheCallerWithoutALog) {
    const fs::path blocker = FreshFolder("blocked");
    std::ofstream(blocker) << "a file where the folder would be";
    LogWriter log({blocker / "Logs", 1 << 20, 10, {}});
    EXPECT_FALSE(log.Running());
    log.Post("goes nowhere");
    EXPECT_FALSE(log.PostWithoutLocks("goes nowhere", 10));
}
