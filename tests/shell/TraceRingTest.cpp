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
        {"PC -> SKYPE: SET CALL 301 DTMF #", "PC -> SKYPE: SET CALL 301 DTMF *"},
        {"Message from Skype: CALL 301 DTMF 9", "Message from Skype: CALL 301 DTMF *"},
        {"PC -> SKYPE: BTN_RELEASED 7", "PC -> SKYPE: BTN_RELEASED *"},
        {"Message from Skype: BTN_PRESSED 0", "Message from Skype: BTN_PRESSED *"},
        {"PC -> SKYPE: BTN_RELEASED YES", "PC -> SKYPE: BTN_RELEASED YES"},
        {"PC -> SKYPE: CALL +4930123", "PC -> SKYPE: CALL +*******"},
        {"PC -> SKYPE: CALL 0301234", "PC -> SKYPE: CALL *******"},
        {"PC -> SKYPE: CALL echo123, +4930", "PC -> SKYPE: CALL echo123, +****"},
        {"Message from Skype: CALL 302 PARTNER_HANDLE 0301234",
         "Message from Skype: CALL 302 PARTNER_HANDLE *******"},
        {"Message from Skype: CALL 302 PARTNER_HANDLE bob77",
         "Message from Skype: CALL 302 PARTNER_HANDLE bob77"},
        {"Message from Skype: CALL 302 PARTNER_DISPNAME +49 30 123",
         "Message from Skype: CALL 302 PARTNER_DISPNAME +** ** ***"},
        {"Message from Skype: CALL 302 PARTNER_DISPNAME Room 101",
         "Message from Skype: CALL 302 PARTNER_DISPNAME Room 101"},
        {"Message from Skype: USER +4930123 ONLINESTATUS SKYPEOUT",
         "Message from Skype: USER +******* ONLINESTATUS SKYPEOUT"},
        {"Message from Skype: PROFILE PSTN_BALANCE 1234",
         "Message from Skype: PROFILE PSTN_BALANCE ****"},
        {"Message from Skype: CALL 301 DURATION 65", "Message from Skype: CALL 301 DURATION 65"},
        {"Message from Skype: CALLS 301, 302", "Message from Skype: CALLS 301, 302"},
    };
    static TraceRing ring;
    for (const auto& [line, kept] : rows) {
        ring.Add(line);
        EXPECT_STREQ(ring.Line(ring.Count() - 1), kept) << line;
    }
}
