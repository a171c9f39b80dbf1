#include <gtest/gtest.h>

#include <string>

#include "TraceRing.h"

TEST(TraceRing, KeepsTheNewestLinesOldestFirstWithoutLineBreaks) {
    static TraceRing ring;
    ring.Add("first\r\n");
    EXPECT_EQ(ring.Count(), 1u);
    EXPECT_STREQ(ring.Line(0), "first");
    for (std::size_t i = 0; i < TraceRing::kLines + 5; ++i) {
        ring.Add(("line " + std::to_string(i) + "\n").c_str());
    }
    ASSERT_EQ(ring.Count(), TraceRing::kLines);
    EXPECT_STREQ(ring.Line(0), "line 5");
    EXPECT_STREQ(ring.Line(TraceRing::kLines - 1), "line 204");
    ring.Add(std::string(1000, 'x').c_str());
    EXPECT_EQ(std::string(ring.Line(TraceRing::kLines - 1)),
              std::string(TraceRing::kLineBytes, 'x'));
}

// Crash reports carry the ring to whoever the user mails them to: keys pressed,
// numbers called and the balance are masked, the rest still tells the story.
TEST(TraceRing, MasksKeysNumbersAndBalanceButKeepsWhatHappened) {
    const std::pair<const char*, const char*> rows[] = {
        {"PC -> SKYPE: SET CALL   301 DTMF 4", "PC -> SKYPE: SET CALL   301 DTMF *"},
        {"SET CALL 301 DTMF #", "SET CALL 301 DTMF *"},
        {"BTN_RELEASED 7", "BTN_RELEASED *"},
        {"BTN_PRESSED 0", "BTN_PRESSED *"},
        {"BTN_RELEASED YES", "BTN_RELEASED YES"},
        {"CALL +4930123", "CALL +*******"},
        {"CALL 0301234", "CALL *******"},
        {"CALL echo123, +4930", "CALL echo123, +****"},
        {"CALL 302 PARTNER_HANDLE 0301234", "CALL 302 PARTNER_HANDLE *******"},
        {"CALL 302 PARTNER_HANDLE bob77", "CALL 302 PARTNER_HANDLE bob77"},
        {"CALL 302 PARTNER_DISPNAME +49 30 123", "CALL 302 PARTNER_DISPNAME +** ** ***"},
        {"CALL 302 PARTNER_DISPNAME Room 101", "CALL 302 PARTNER_DISPNAME Room 101"},
        {"USER +4930123 ONLINESTATUS SKYPEOUT", "USER +******* ONLINESTATUS SKYPEOUT"},
        {"PROFILE PSTN_BALANCE 1234", "PROFILE PSTN_BALANCE ****"},
        {"CALL 301 DURATION 65", "CALL 301 DURATION 65"},
        {"CALLS 301, 302", "CALLS 301, 302"},
    };
    static TraceRing ring;
    for (const auto& [line, kept] : rows) {
        ring.Add(line);
        EXPECT_STREQ(ring.Line(ring.Count() - 1), kept) << line;
    }
}
