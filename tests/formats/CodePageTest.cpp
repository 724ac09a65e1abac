#include "formats/CodePage.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kChinese = L"检测区 缺陷检测";
const std::wstring kTraditional = L"檢測區";

TEST(CodePage, RoundTripsThroughEveryNamedCodePage) {
    struct Case {
        int page;
        std::wstring text;
    } cases[] = {{65001, kChinese + L" \U0001F600"}, {936, kChinese}, {950, kTraditional},
                 {1252, L"Caf\u00e9 \u20ac"}, {54936, kChinese + L"\U0001F600"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        ASSERT_TRUE(IsCodePageSupported(c.page));
        const std::string bytes = EncodeText(c.text, c.page);
        EXPECT_EQ(DecodeText(bytes, c.page), c.text);
    }
}

TEST(CodePage, KnownBytesOfGbkAndBig5) {
    EXPECT_EQ(EncodeText(L"中", 936), "\xD6\xD0");
    EXPECT_EQ(DecodeText("\xD6\xD0", 936), L"中");
    EXPECT_EQ(EncodeText(L"中", 950), "\xA4\xA4");
    EXPECT_EQ(EncodeText(L"\u20ac", 1252), "\x80");
}

TEST(CodePage, UnconvertibleCharactersBecomeTheReplacementByte) {
    EXPECT_EQ(EncodeText(L"a中b", 1252), "a#b");
    EXPECT_EQ(EncodeText(L"a中b", 1252, '?'), "a?b");
    EXPECT_EQ(EncodeText(L"x\U0001F600y", 936), "x#y");
}

TEST(CodePage, NarrowCodePagesComposeBaseAndMarkAndSeparateWhatTheyCannotHold) {
    EXPECT_EQ(EncodeText(L"Caf" L"e\u0301", 1252), "Caf\xE9");        // e + acute: the page's e-acute
    EXPECT_EQ(EncodeText(L"a\u0304", 936), "\xA8\xA1");               // pinyin a-macron of GBK
    EXPECT_EQ(EncodeText(L"q\u0301", 1252), "q#");                     // no composition: the mark alone
    EXPECT_EQ(EncodeText(L"a\u030C", 1252), "a#");                     // a-caron exists, not in 1252
    EXPECT_EQ(EncodeText(L"\u0301e", 1252), "#e");                     // a mark with nothing before it
    EXPECT_EQ(EncodeText(L"e\u0301", 65001), "e\xCC\x81");            // UTF-8 writes the text as it is
    EXPECT_EQ(DecodeText("Caf\xE9", 1252), L"Caf\u00E9");
}

TEST(CodePage, InvalidNarrowBytesDecodeToReplacementWithoutLosingTheRest) {
    EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(Utf8ToWide("a\xE4\xB8"), L"a\uFFFD");            // truncated sequence at the end
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");         // overlong form
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80z"), L"\uFFFDz");         // encoded surrogate
    EXPECT_EQ(DecodeText("a\xD6", 936), L"a\uFFFD");            // GBK lead byte without its trail
    EXPECT_EQ(DecodeText("\x81\x20x", 936).back(), L'x');
}

TEST(CodePage, Utf16SurrogatePairsAndBrokenUnits) {
    const std::wstring smile = L"\U0001F600";
    const std::string bytes = WideToUtf16Le(smile);
    EXPECT_EQ(bytes, std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(Utf16LeToWide(bytes), smile);
    EXPECT_EQ(Utf16LeToWide(std::string("\x3D\xD8" "a\x00", 4)), L"\uFFFDa"); // lone high surrogate
    EXPECT_EQ(Utf16LeToWide(std::string("\x00\xDC", 2)), L"\uFFFD");           // lone low surrogate
    EXPECT_EQ(Utf16LeToWide(std::string("a\x00" "b", 3)), L"a\uFFFD");         // odd trailing byte
}

TEST(CodePage, ProcessCodePageCanBeSetAndDefaultsToUtf8) {
    SetAnsiCodePage(936);
    EXPECT_EQ(GetAnsiCodePage(), 936);
    EXPECT_EQ(WideToAnsiString(L"中"), "\xD6\xD0");
    EXPECT_EQ(AnsiToWide("\xD6\xD0"), L"中");
    SetAnsiCodePage(65001);
    EXPECT_EQ(WideToAnsiString(L"中"), "\xE4\xB8\xAD");
}

TEST(CodePage, UnknownCodePageIsNotSupported) {
    EXPECT_FALSE(IsCodePageSupported(12345678));
    EXPECT_FALSE(IsCodePageSupported(0));
    EXPECT_EQ(CodePageToIconvName(936), "GBK");
    EXPECT_EQ(CodePageToIconvName(1251), "CP1251");
}

} // namespace
