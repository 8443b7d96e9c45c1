// ppihost's command-line values, checked before anything is loaded.
#include "host/cli/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CommandLine, Integers) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case cases[] = {{"0", true, 0},          {"17", true, 17},      {"-1", true, -1},
                          {"+3", true, 3},         {"2147483647", true, 2147483647},
                          {"-2147483648", true, -2147483647 - 1},
                          {"2147483648", false, 0}, {"99999999999999999999", false, 0},
                          {"", false, 0},          {"-", false, 0},       {" 1", false, 0},
                          {"1 ", false, 0},        {"0x10", false, 0},    {"1.5", false, 0}};
    for (const Case& c : cases) {
        int value = 12345;
        EXPECT_EQ(c.ok, ParseInteger(c.text, value)) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_EQ(c.value, value) << "'" << c.text << "'";
        }
    }
}

TEST(CommandLine, RectanglesAndTheirChecks) {
    struct Case {
        const char* text;
        bool parses;
        const char* problem;  // against a 7x5 image; "" when usable
    };
    const Case cases[] = {
        {"0,0,7,5", true, ""},          {"6,4,7,5", true, ""},
        {"2,1,5,4", true, ""},          {"0,0,8,5", true, "not inside"},
        {"0,0,7,6", true, "not inside"}, {"-1,0,3,3", true, "not inside"},
        {"0,-1,3,3", true, "not inside"}, {"3,0,3,5", true, "empty or inverted"},
        {"0,4,7,2", true, "empty or inverted"}, {"1,2,3", false, ""},
        {"1,2,3,4,5", false, ""},       {"1,2,,4", false, ""},
        {"a,b,c,d", false, ""},         {"", false, ""},
    };
    for (const Case& c : cases) {
        FilterRect rect = {9, 9, 9, 9};
        ASSERT_EQ(c.parses, ParseRect(c.text, rect)) << "'" << c.text << "'";
        if (!c.parses) continue;
        const std::string problem = CheckRect(rect, 7, 5);
        if (*c.problem) {
            EXPECT_NE(std::string::npos, problem.find(c.problem)) << c.text << ": " << problem;
        } else {
            EXPECT_EQ("", problem) << c.text;
        }
    }
}

TEST(CommandLine, Colours) {
    struct Case {
        const char* text;
        bool ok;
        int r, g, b;
    };
    const Case cases[] = {{"2060C0", true, 0x20, 0x60, 0xC0}, {"#ff8001", true, 0xFF, 0x80, 0x01},
                          {"000000", true, 0, 0, 0},          {"FFFFFF", true, 255, 255, 255},
                          {"FFF", false, 0, 0, 0},           {"1234567", false, 0, 0, 0},
                          {"GG0000", false, 0, 0, 0},        {"##123456", false, 0, 0, 0},
                          {"", false, 0, 0, 0}};
    for (const Case& c : cases) {
        uint8_t r = 1, g = 2, b = 3;
        EXPECT_EQ(c.ok, ParseColor(c.text, r, g, b)) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_EQ((std::vector<int>{c.r, c.g, c.b}), (std::vector<int>{r, g, b})) << c.text;
        }
    }
}

}  // namespace
