#include "formats/CodePage.h"
#include "formats/IniFile.h"
#include "formats/Utility.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

namespace {

struct LinesIni : CIniFile {
    explicit LinesIni(std::vector<std::wstring> lines) { m_arLines = std::move(lines); }
};

TEST(IniFile, FirstLineBeginningWithTheKeyWins) {
    LinesIni ini({L"[General]", L"CountMax=3", L"Count=5"});
    EXPECT_EQ(ini.GetInt(L"General", L"Count", 0), 3);
    EXPECT_EQ(ini.FindKeyLine(L"General", L"Count"), 2);
}

TEST(IniFile, ValueIsEverythingAfterTheFirstEquals) {
    LinesIni ini({L"[S]", L"Name=a=b", L"  Other = x ", L"Bare"});
    std::wstring v;
    ASSERT_TRUE(ini.GetValue(L"S", L"Name", v));
    EXPECT_EQ(v, L"a=b");
    ASSERT_TRUE(ini.GetValue(L"S", L"Other", v));
    EXPECT_EQ(v, L" x ");
    ASSERT_TRUE(ini.GetValue(L"S", L"Bare", v));
    EXPECT_EQ(v, L"Bare");
    EXPECT_FALSE(ini.GetValue(L"S", L"name", v)); // keys are case-sensitive
}

TEST(IniFile, CommentsAndSectionEnds) {
    LinesIni ini({L"[General]", L"//Count=9", L"Other=[x]", L"Count=4"});
    EXPECT_EQ(ini.FindKeyLine(L"General", L"Count"), -2);
    EXPECT_EQ(ini.GetInt(L"General", L"Count", 7), 7);
    LinesIni next({L"[A]", L"x=1", L"[B]", L"Count=2"});
    EXPECT_EQ(next.FindKeyLine(L"A", L"Count"), -2);
    EXPECT_EQ(next.GetInt(L"B", L"Count", 0), 2);
    EXPECT_EQ(next.FindKeyLine(L"C", L"Count"), -1);
    EXPECT_EQ(next.FindKeyLine(L"B", L"Missing"), -1);
    EXPECT_EQ(next.FindKeyLine(L"b", L"Count"), -1);
}

TEST(IniFile, HeaderMayCarryTextAndOnlyTheFirstIsSearched) {
    LinesIni ini({L"  [General] //main", L"  Key=1", L"[Other]", L"[General]", L"Late=2"});
    EXPECT_EQ(ini.GetInt(L"General", L"Key", 0), 1);
    EXPECT_EQ(ini.FindKeyLine(L"General", L"Late"), -2);
}

TEST(IniFile, IntegerConversion) {
    LinesIni ini({L"[S]", L"A=  12abc", L"B=abc", L"C=-7", L"D=99999999999"});
    int v = -1;
    EXPECT_TRUE(ini.GetIntValue(L"S", L"A", v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ini.GetIntValue(L"S", L"B", v));
    EXPECT_EQ(v, 0);
    EXPECT_EQ(ini.GetInt(L"S", L"C", 0), -7);
    EXPECT_EQ(ini.GetInt(L"S", L"D", 0), INT32_MAX);
    EXPECT_FALSE(ini.GetIntValue(L"S", L"Z", v));
    EXPECT_EQ(v, 0);
}

TEST(IniFile, LoadCreatesAMissingFileAndReadsUtf16) {
    SetAnsiCodePage(65001);
    TempDir dir;
    CIniFile ini;
    EXPECT_TRUE(ini.Load(dir.File("config.ini")));
    EXPECT_TRUE(ini.m_bLoaded);
    EXPECT_TRUE(IsExistingFile(dir.File("config.ini")));
    EXPECT_EQ(ini.GetInt(L"General", L"bIfMouseTimeDelay", 1), 1);

    dir.WriteBytes("u.ini", "\xFF\xFE" + WideToUtf16Le(L"[BasicPara]\r\nLanguage=Chinese\r\n"));
    ASSERT_TRUE(ini.Load(dir.File("u.ini")));
    std::wstring v;
    ASSERT_TRUE(ini.GetValue(L"BasicPara", L"Language", v));
    EXPECT_EQ(v, L"Chinese");

    EXPECT_FALSE(ini.Load(dir.Folder() + L"missing/dir/x.ini"));
    EXPECT_FALSE(ini.m_bLoaded);
    EXPECT_FALSE(ini.Load(dir.Folder())); // a folder is not a file
}

TEST(IniFile, LoadNeverEmptiesAnExistingFileWhoseNameLooksLikeAPattern) {
    SetAnsiCodePage(65001);
    TempDir dir;
    dir.WriteBytes("Model[1].ini", "[General]\nCount=5\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Load(dir.File("Model[1].ini")));
    EXPECT_EQ(ini.GetInt(L"General", L"Count", 0), 5);
    EXPECT_EQ(dir.ReadBytes("Model[1].ini"), "[General]\nCount=5\n");
}

TEST(IniFile, ProcessCodePageComesFromConfig) {
    TempDir dir;
    dir.WriteBytes("config.ini", "[General]\nAnsiCodePage=936\n");
    ScopedEnv env("ZRK_EXE_FOLDER", dir.Path().string());
    SetAnsiCodePage(0);
    EXPECT_EQ(GetAnsiCodePage(), 936);
    dir.WriteBytes("config.ini", "[General]\nAnsiCodePage=424242\n");
    SetAnsiCodePage(0);
    EXPECT_EQ(GetAnsiCodePage(), 65001); // a code page this machine cannot convert is ignored
    SetAnsiCodePage(65001);
}

} // namespace
