#include "dialogs/CatalogueChecks.h"

#include "model/ParaTypes.h"

#include <gtest/gtest.h>

TEST(CatalogueChecks, IntegerFieldTakesBlanksAndSignAndRefusesTheRest) {
    int value = -7;
    std::wstring message;
    EXPECT_TRUE(CheckIntField(L" 12 ", 1, 255, value, message));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(CheckIntField(L"+255", 1, 255, value, message));
    EXPECT_EQ(value, 255);

    value = 99;
    for (const wchar_t* text : {L"", L"  ", L"1.5", L"12a", L"a12", L"1 2", L"-", L"0x10"}) {
        message.clear();
        EXPECT_FALSE(CheckIntField(text, 0, 255, value, message));
        EXPECT_EQ(message, L"请输入一个整数!");
    }
    EXPECT_EQ(value, 99); // untouched by refusals
}

TEST(CatalogueChecks, IntegerFieldRefusesOutOfRangeWithTheBounds) {
    int value = 5;
    std::wstring message;
    EXPECT_FALSE(CheckIntField(L"0", 1, 255, value, message));
    EXPECT_EQ(message, L"请输入 1 到 255 之间的整数!");
    EXPECT_FALSE(CheckIntField(L"256", 1, 255, value, message));
    EXPECT_FALSE(CheckIntField(L"300", 0, 255, value, message));
    EXPECT_EQ(message, L"请输入 0 到 255 之间的整数!");
    EXPECT_FALSE(CheckIntField(L"-1", 0, 255, value, message));
    // Far beyond the int range: still a range refusal, no overflow into the range.
    EXPECT_FALSE(CheckIntField(L"4294967296", 0, 255, value, message));
    EXPECT_FALSE(CheckIntField(L"99999999999999999999999", 0, 255, value, message));
    EXPECT_EQ(message, L"请输入 0 到 255 之间的整数!");
    EXPECT_EQ(value, 5);
}

TEST(CatalogueChecks, NameLengthCountsCharactersNotBytes) {
    std::wstring message;
    EXPECT_TRUE(CheckMaxChars(std::wstring(20, L'名'), 20, message));
    EXPECT_TRUE(message.empty());
    EXPECT_FALSE(CheckMaxChars(std::wstring(21, L'a'), 20, message));
    EXPECT_EQ(message, L"请输入不超过 20 个字符!");
    EXPECT_TRUE(CheckMaxChars(L"", 20, message));
}

TEST(CatalogueChecks, PhaseTypeNameRefusesOnlyEmptyAndTheAsciiBlank) {
    EXPECT_FALSE(IsValidPhaseTypeName(L""));
    EXPECT_FALSE(IsValidPhaseTypeName(L" 印次"));
    EXPECT_FALSE(IsValidPhaseTypeName(L"印 次"));
    EXPECT_FALSE(IsValidPhaseTypeName(L"印次 "));
    EXPECT_TRUE(IsValidPhaseTypeName(L"印\u3000次")); // ideographic blank
    EXPECT_TRUE(IsValidPhaseTypeName(L"印\t次"));
    EXPECT_TRUE(IsValidPhaseTypeName(L"UV"));
}

TEST(CatalogueChecks, RowsShowIdentifierNameAndEachCataloguesOwnColumns) {
    CSideType side;
    side.m_nID = 3;
    EXPECT_EQ(SideTypeRow(side), (std::vector<std::wstring>{L"3", L""}));

    CPhaseType phase;
    phase.m_nID = 12;
    phase.m_strName = L"底色";
    phase.m_crRefColor = RGB(255, 0, 0) | RGB(0, 0, 255); // 0x00FF00FF
    EXPECT_EQ(PhaseTypeRow(phase), (std::vector<std::wstring>{L"12", L"底色", L"", L"16711935"}));
    phase.m_bForceIndex = true;
    phase.m_crRefColor = 0x00FFFFFF;
    EXPECT_EQ(PhaseTypeRow(phase), (std::vector<std::wstring>{L"12", L"底色", L"强制索引", L"16777215"}));

    CMaskCoeffType coeff;
    coeff.m_nID = 1;
    coeff.m_strName = L"暗";
    coeff.m_dCoeff = 2.5;
    coeff.m_strRemark = L"备注";
    EXPECT_EQ(MaskCoeffTypeRow(coeff), (std::vector<std::wstring>{L"1", L"暗", L"2.500000", L"备注"}));

    CCustomParaType custom;
    custom.m_nID = 8;
    custom.m_strName = L"自定义";
    EXPECT_EQ(CustomParaTypeRow(custom), (std::vector<std::wstring>{L"8", L"自定义"}));
}
