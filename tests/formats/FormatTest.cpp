#include "formats/Format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

TEST(Format, TakesTheSystemsFormatsAsTheyStand) {
    EXPECT_EQ(Format(L"%d %s", 12, std::wstring(L"红色")), L"12 红色");
    EXPECT_EQ(Format(L"%.2f;%s", 3.14159, L"abc"), L"3.14;abc");
    EXPECT_EQ(Format(L"Item%d", 7), L"Item7");
    EXPECT_EQ(Format(L"%s%s", std::wstring(L"/opt/"), L"a.so"), L"/opt/a.so");
    EXPECT_EQ(Format(L"100%%"), L"100%");
    EXPECT_EQ(Format(L"%f", 1.5), L"1.500000");
}

TEST(Format, WidthPrecisionFlagsAndOtherConversions) {
    EXPECT_EQ(Format(L"[%5d]", 42), L"[   42]");
    EXPECT_EQ(Format(L"[%-5d]", 42), L"[42   ]");
    EXPECT_EQ(Format(L"[%05d]", -42), L"[-0042]");
    EXPECT_EQ(Format(L"[%6s]", L"ab"), L"[    ab]");
    EXPECT_EQ(Format(L"[%-4s|%.2s]", L"ab", L"wxyz"), L"[ab  |wx]");
    EXPECT_EQ(Format(L"%x %X %08X", 255u, 255, -1), L"ff FF FFFFFFFF");
    EXPECT_EQ(Format(L"%c%c", L'中', 'a'), L"中a");
    EXPECT_EQ(Format(L"%ld %I64d %lld", 1L, 2LL, -3LL), L"1 2 -3");
    EXPECT_EQ(Format(L"%u", 4000000000u), L"4000000000");
    EXPECT_EQ(Format(L"%*d", 4, 7), L"   7");
}

TEST(Format, MismatchedOrMissingArgumentsAreSafe) {
    EXPECT_EQ(Format(L"%d and %s"), L" and ");
    EXPECT_EQ(Format(L"%d", 2.9), L"2");
    EXPECT_EQ(Format(L"%s", 5), L"5");
    EXPECT_EQ(Format(L"%q %", 1), L"%q %");
    EXPECT_EQ(Format(L"%s", std::string("narrow")), L"narrow");
    const wchar_t* none = nullptr;
    EXPECT_EQ(Format(L"%s", none), L"(null)");
    std::wstring big(100000, L'x');
    EXPECT_EQ(Format(L"<%s>", big).size(), 100002u);
}

// A Qt application runs in the user's locale; numbers written to files must still use a point.
TEST(Format, NumbersIgnoreTheProcessLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8", "de_DE"})
        if (std::setlocale(LC_NUMERIC, name)) {
            comma = name;
            break;
        }
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma is installed here";
    const std::wstring fixed = Format(L"%f", 1.5);
    const std::wstring general = Format(L"%.2f;%g;%s", 2.25, 0.5, 0.75);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(fixed, L"1.500000") << comma;
    EXPECT_EQ(general, L"2.25;0.5;0.75") << comma;
}
