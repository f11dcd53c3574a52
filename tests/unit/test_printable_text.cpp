#include <gtest/gtest.h>

#include <string>

#include "settings/printable_text.h"

using namespace kelvara;

TEST(PrintableText, controlBytesAndBrokenUtf8BecomeHexOnOneLine) {
    EXPECT_EQ(printableExcerpt("plain --x_div 40"), "plain --x_div 40");
    EXPECT_EQ(printableExcerpt("two\nlines\r"), "two\\x0Alines\\x0D");
    EXPECT_EQ(printableExcerpt(std::string("nul\0tab\t", 8)), "nul\\x00tab\\x09");
    EXPECT_EQ(printableExcerpt("del\x7f"), "del\\x7F");
    // Whole characters stay as they are: 2, 3 and 4 bytes.
    EXPECT_EQ(printableExcerpt("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82"),
              "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82");
    // A lone continuation byte, a lead byte cut short, an overlong '/', a
    // surrogate, a code point past U+10FFFF, Latin-1 text.
    EXPECT_EQ(printableExcerpt("a\x80z"), "a\\x80z");
    EXPECT_EQ(printableExcerpt("\xe2\x82"), "\\xE2\\x82");
    EXPECT_EQ(printableExcerpt("\xc0\xaf"), "\\xC0\\xAF");
    EXPECT_EQ(printableExcerpt("\xed\xa0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(printableExcerpt("\xf4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");
    EXPECT_EQ(printableExcerpt("gr\xfc\xdf"), "gr\\xFC\\xDF");
    EXPECT_EQ(printableExcerpt(""), "");
}

TEST(PrintableText, longTextIsCutAtACharacterBoundary) {
    const std::string longWord(100000, 'x');
    const std::string cut = printableExcerpt(longWord, 80);
    EXPECT_EQ(cut, std::string(80, 'x') + "...");

    // Two-byte characters: 40 fit in 80 bytes; the 41st is not split.
    std::string accents;
    for (int i = 0; i < 50; ++i)
        accents += "\xc3\xa9";
    EXPECT_EQ(printableExcerpt(accents, 81), accents.substr(0, 80) + "...");
    // An escape is not split either.
    EXPECT_EQ(printableExcerpt("abc\n", 5), "abc...");
    EXPECT_EQ(printableExcerpt("abcd", 4), "abcd");
}
