// Reading words and numbers out of notification texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NotificationText.h"

namespace {

TEST(NotificationText, WordsAreRunsBetweenBlanksCutToTheirBuffer) {
    char word[8];
    EXPECT_TRUE(NotificationWord("CALL  12 STATUS", 1, word, sizeof(word)));
    EXPECT_STREQ(word, "12");
    EXPECT_TRUE(NotificationWord("CALL 12 STATUS_WORD_TOO_LONG", 2, word, sizeof(word)));
    EXPECT_STREQ(word, "STATUS_");
    EXPECT_FALSE(NotificationWord("CALL 12", 2, word, sizeof(word)));
    EXPECT_STREQ(word, "");
    // A cut never keeps part of a character: "ab" then a three-byte character
    // that does not fit in a four-byte buffer with its terminator.
    char small[5];
    EXPECT_TRUE(NotificationWord("ab\xE4\xB8\xAD", 0, small, sizeof(small)));
    EXPECT_STREQ(small, "ab");
}

TEST(NotificationText, JoinedWordsEachEndInOneBlankAndStopAtTheBuffer) {
    char name[16];
    JoinWordsFrom("CALL 1 PARTNER_DISPNAME  Anna   Maria ", 3, name, sizeof(name));
    EXPECT_STREQ(name, "Anna Maria ");
    JoinWordsFrom("CALL 1 PARTNER_DISPNAME", 3, name, sizeof(name));
    EXPECT_STREQ(name, "");
    JoinWordsFrom("X aaaaaaaa bbbbbbbb cccc", 1, name, sizeof(name));
    EXPECT_STREQ(name, "aaaaaaaa bbbbbb");
}

TEST(NotificationText, NumbersReadLikeDecimalWithLimits) {
    EXPECT_EQ(DecimalInt("123"), 123);
    EXPECT_EQ(DecimalInt("12abc"), 12);
    EXPECT_EQ(DecimalInt("abc"), 0);
    EXPECT_EQ(DecimalInt(""), 0);
    EXPECT_EQ(DecimalInt("-7"), -7);
    EXPECT_EQ(DecimalInt("99999999999"), 2147483647);
    EXPECT_EQ(DecimalInt("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(DecimalLong("99999999999999999999999"), 9223372036854775807LL);
}

TEST(NotificationText, ListedNumbersSkipTheFirstWord) {
    std::vector<int> ids;
    ForEachListedNumber("CALLS 5, 9,11 ,x", [&](int id) { ids.push_back(id); });
    EXPECT_EQ(ids, (std::vector<int>{5, 9, 11, 0}));
    ids.clear();
    ForEachListedNumber("CALLS , ", [&](int id) { ids.push_back(id); });
    EXPECT_TRUE(ids.empty());
}

TEST(NotificationText, CaseIsIgnoredOnlyForAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoringCase("SkypeOut", "skypeout"));
    EXPECT_FALSE(EqualsIgnoringCase("skypeout ", "skypeout"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC4", "\xE4"));
    EXPECT_FALSE(EqualsIgnoringCase(nullptr, "x"));
}

}  // namespace
