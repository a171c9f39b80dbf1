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
