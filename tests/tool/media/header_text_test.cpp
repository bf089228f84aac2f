#include <gtest/gtest.h>

#include <string>

#include "header_text.h"

using media::Printable;

namespace {

TEST(PrintableTest, EscapesWhatATerminalWouldActOnAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"W1920 H1080 'C420jpeg'", "W1920 H1080 'C420jpeg'"},
        {"Fr\xc3\xa9" "d\xc3\xa9ric \xe2\x82\xac \xf0\x9f\x8e\xac",
         "Fr\xc3\xa9" "d\xc3\xa9ric \xe2\x82\xac \xf0\x9f\x8e\xac"},
        {"C420\x1b[2J\x1b]0;title\x07", "C420\\x1b[2J\\x1b]0;title\\x07"},
        {"H8\r\n\tX", "H8\\r\\n\\tX"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x7f", "\\x7f"},
        {"\xc2\x9b" "31m", "\\xc2\\x9b31m"},           // C1 control (CSI) in UTF-8
        {"\x9b" "31m", "\\x9b31m"},                     // the same as a single byte
        {"\xc0\xaf", "\\xc0\\xaf"},                     // overlong '/'
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},             // a surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},   // past U+10FFFF
        {"\xe2\x82", "\\xe2\\x82"},                     // cut short
        {"\xff\xfe", "\\xff\\xfe"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Printable(text), expected);
        EXPECT_EQ(Printable(Printable(text)), Printable(text)) << "not idempotent";
    }
}

TEST(ParseDecimalTest, TakesOnlyPlainDigits) {
    long long value = -1;
    EXPECT_TRUE(media::ParseDecimal("000123", value));
    EXPECT_EQ(value, 123);
    EXPECT_TRUE(media::ParseDecimal("999999999999999999", value));
    EXPECT_EQ(value, 999999999999999999LL);
    for (const char* bad : {"", "+1", "-1", " 1", "1 ", "0x10", "1e3", "9999999999999999999"})
        EXPECT_FALSE(media::ParseDecimal(bad, value)) << bad;
}

}  // namespace
