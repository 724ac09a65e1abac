// Scripts and language packs larger than their limits are refused before they fill the memory; a device or
// a pipe is no script.

#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "formats/Limits.h"
#include "formats/TreeTextAnalyze.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

TEST(ScriptLimit, AFileUpToTheLimitIsReadOneByteMoreIsRefusedWithTheLinesEmptied) {
    TempDir dir;
    const std::string line = "[A]\r\nValue=1\r\n[END]\r\n";
    dir.WriteBytes("s.ini", line + line);
    CTreeTextAnalyze script;
    EXPECT_EQ(script.LoadLimit(), zrklimits::kMaxScriptBytes);
    script.SetLoadLimit(2 * line.size());
    ASSERT_TRUE(script.LoadFile(dir.File("s.ini")));
    EXPECT_EQ(script.m_arLines.size(), 6u);
    EXPECT_FALSE(script.LoadRefusedTooLarge());

    dir.WriteBytes("s.ini", line + line + "x");
    EXPECT_FALSE(script.LoadFile(dir.File("s.ini")));
    EXPECT_TRUE(script.LoadRefusedTooLarge());
    EXPECT_TRUE(script.m_arLines.empty());

    // The real limit, on a sparse file just above it.
    CTreeTextAnalyze real;
    std::filesystem::resize_file(dir.Path() / "s.ini", zrklimits::kMaxScriptBytes + 1);
    EXPECT_FALSE(real.LoadFile(dir.File("s.ini")));
    EXPECT_TRUE(real.LoadRefusedTooLarge());
}

TEST(ScriptLimit, APipeIsRefusedAtOnceInsteadOfWaitingForAWriter) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir.Path() / "pipe").c_str(), 0600), 0);
    CTreeTextAnalyze script;
    script.m_arLines = {L"kept?"};
    EXPECT_FALSE(script.LoadFile(dir.File("pipe")));
    EXPECT_FALSE(script.LoadRefusedTooLarge());
}

TEST(LanguagePackLimit, APackAboveItsLimitTranslatesNothingAndTheOneBeforeStays) {
    TempDir dir;
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    std::filesystem::create_directories(dir.Path() / "Language");
    dir.WriteBytes("Language/small.lpk", "[ZRKDll.dll]\r\n保存=Save\r\n");
    CLanguagePack pack;
    EXPECT_EQ(pack.LoadLimit(), zrklimits::kMaxLanguagePackBytes);
    ASSERT_TRUE(pack.LoadLanguage(L"small"));
    pack.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"保存"), L"Save");

    dir.WriteBytes("Language/huge.lpk", "[ZRKDll.dll]\r\n保存=Huge\r\n");
    std::filesystem::resize_file(dir.Path() / "Language/huge.lpk", zrklimits::kMaxLanguagePackBytes + 1);
    EXPECT_FALSE(pack.LoadLanguage(L"huge"));
    EXPECT_TRUE(pack.LoadRefusedTooLarge());
    EXPECT_EQ(pack.Translate(L"保存"), L"Save");  // the pack before stays
}
