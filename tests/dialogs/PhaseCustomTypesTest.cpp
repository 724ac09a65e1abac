#include "dialogs/PhaseCustomTypes.h"

#include "model/ParaTypes.h"

#include <gtest/gtest.h>

namespace {
const wchar_t* kScript =
    L"[其他]\r\n    [1]\r\n        [缺陷名称]\r\n            DefaultValue=缺陷\r\n        [END]\r\n"
    L"        [启用]\r\n            Type=2\r\n        [END]\r\n    [END]\r\n[END]\r\n";
} // namespace

TEST(PhaseCustomTypes, DefectNameIsWrittenWithoutARootWrapper) {
    CCustomParaType type;
    type.m_strScriptText = kScript;
    EXPECT_TRUE(phasecustom::SetCustomDefectName(type, L"印次1浅"));
    // The first line is the top-level node itself (indented as the nested writer does), not "[]".
    const std::wstring& text = type.m_strScriptText;
    EXPECT_EQ(text.substr(text.find_first_not_of(L' '), 6), L"[其他]\r\n");
    EXPECT_EQ(type.m_strScriptText.substr(type.m_strScriptText.size() - 7), L"[END]\r\n");
    EXPECT_NE(type.m_strScriptText.find(L"Value=印次1浅\r\n"), std::wstring::npos);
    EXPECT_NE(type.m_strScriptText.find(L"Type=2"), std::wstring::npos); // the rest of the script kept

    CCustomParaType other; // a script without the path: nothing set, the text still the same script
    other.m_strScriptText = L"[缺陷名称]\r\nValue=x\r\n[END]\r\n";
    EXPECT_FALSE(phasecustom::SetCustomDefectName(other, L"y"));
    EXPECT_NE(other.m_strScriptText.find(L"Value=x"), std::wstring::npos);
}
