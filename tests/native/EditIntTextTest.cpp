#include "ui/EditIntText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct ParseCase {
    const char* text;
    bool ok;
    int value;  // with fallback 42
};

TEST(ParseEditText, Table) {
    const ParseCase cases[] = {
        {"0", true, 0},       {"7", true, 7},       {"255", true, 255},   {"256", true, 256},
        {"-1", true, -1},     {"-255", true, -255}, {"10", true, 10},     {"100", true, 100},
        {"07", false, 42},    {"00", false, 42},    {"-0", false, 42},    {"-07", false, 42},
        {"-", false, 42},     {"", false, 42},      {"12a", false, 42},   {"a", false, 42},
        {" 5", false, 42},    {"5 ", false, 42},    {"+5", false, 42},    {"--5", false, 42},
        {"1-", false, 42},
    };
    for (const ParseCase& c : cases) {
        bool ok = !c.ok;
        const int value = ParseEditText(c.text, static_cast<int>(std::strlen(c.text)), 42, ok);
        EXPECT_EQ(c.ok, ok) << "\"" << c.text << "\"";
        EXPECT_EQ(c.value, value) << "\"" << c.text << "\"";
    }
}

TEST(ParseEditText, LongDigitStringsStayOutOfRangeWithoutOverflow) {
    bool ok = false;
    const int big = ParseEditText("99999999999999", 14, 42, ok);
    EXPECT_TRUE(ok);
    EXPECT_GT(big, 255);
    const int small = ParseEditText("-9999999999999", 14, 42, ok);
    EXPECT_TRUE(ok);
    EXPECT_LT(small, 0);
    // 2^32 + 5 must not wrap round to 5.
    EXPECT_GT(ParseEditText("4294967301", 10, 42, ok), 255);
}

TEST(ParseEditText, ReadsOnlyTheGivenCount) {
    bool ok = false;
    EXPECT_EQ(12, ParseEditText("12x45", 2, 42, ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(42, ParseEditText("12", 0, 42, ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(42, ParseEditText(nullptr, 3, 42, ok));
    EXPECT_FALSE(ok);
}

}  // namespace
