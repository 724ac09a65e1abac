#include "formats/Utility.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

TEST(UtilityPaths, FolderOfPath) {
    TempDir dir;
    dir.WriteBytes("a/b.txt", "x");
    const std::wstring a = dir.File("a");
    EXPECT_EQ(GetFolderOfPath(a), a + L"/");
    EXPECT_EQ(GetFolderOfPath(a + L"/"), a + L"/");
    EXPECT_EQ(GetFolderOfPath(a + L"/b.txt"), a + L"/");
    EXPECT_EQ(GetFolderOfPath(a + L"/missing/c.txt"), a + L"/missing/");
    EXPECT_EQ(GetFolderOfPath(L"b.txt"), L"/");
}

TEST(UtilityPaths, ExeFolderHonoursTheEnvironmentOnlyForAnExistingFolder) {
    TempDir dir;
    {
        ScopedEnv env("ZRK_EXE_FOLDER", dir.Path().string());
        EXPECT_EQ(GetExeFolder(), dir.Folder());
    }
    {
        ScopedEnv env("ZRK_EXE_FOLDER", (dir.Path() / "nope").string());
        const std::wstring folder = GetExeFolder();
        EXPECT_NE(folder, dir.Folder());
        EXPECT_EQ(folder.back(), L'/');
        EXPECT_TRUE(PathExists(folder + L"formats_tests"));
    }
}

TEST(UtilityPaths, ExistsWithWildcardsAndFileTellsFoldersApart) {
    TempDir dir;
    dir.WriteBytes("PlugIns/a.so", "x");
    dir.WriteBytes("PlugIns/folder.so/keep", "x");
    const std::wstring plugins = dir.Folder() + L"PlugIns/";
    EXPECT_TRUE(PathExists(plugins + L"*.so"));
    EXPECT_TRUE(PathExists(plugins + L"?.so"));
    EXPECT_FALSE(PathExists(plugins + L"*.dll"));
    EXPECT_TRUE(PathExists(plugins + L"folder.so"));
    EXPECT_FALSE(IsExistingFile(plugins + L"folder.so"));
    EXPECT_TRUE(IsExistingFile(plugins + L"a.so"));
    EXPECT_TRUE(IsExistingFile(plugins + L"*.so")); // a.so sorts before folder.so
    EXPECT_FALSE(IsExistingFile(plugins + L"f*.so"));
    EXPECT_FALSE(PathExists(L""));
    // A folder plus an empty entry name (nothing chosen) is no script file to hand on.
    EXPECT_FALSE(PathExists(plugins));
    EXPECT_TRUE(PathExists(dir.Folder() + L"PlugIns"));
}

TEST(UtilityPaths, BracketsAndBackslashesAreNotWildcards) {
    TempDir dir;
    dir.WriteBytes("Model[1].ini", "x");
    dir.WriteBytes("M1.ini", "x");
    dir.WriteBytes("back\\slash.ini", "x");
    EXPECT_TRUE(IsExistingFile(dir.File("Model[1].ini")));
    EXPECT_TRUE(PathExists(dir.File("Model[1].*")));
    EXPECT_FALSE(PathExists(dir.File("M[1].ini"))); // no character class: "M1.ini" is another name
    EXPECT_FALSE(PathExists(dir.File("M[1]*")));
    EXPECT_TRUE(PathExists(dir.File("back\\slash.*")));
}

TEST(UtilityText, NumbersAndFields) {
    EXPECT_EQ(IntToStr(-12), L"-12");
    EXPECT_EQ(DoubleToStr(2.5), L"2.500000");
    EXPECT_EQ(GetField(L"10 abc", L' ', 1), L"10");
    EXPECT_EQ(GetField(L"10 abc", L' ', 2), L"abc");
    EXPECT_EQ(GetField(L"a,b,c d", L',', 3), L"c d");
    EXPECT_EQ(GetField(L"a,,c", L',', 2), L"");
    EXPECT_EQ(GetField(L"a,b", L',', 0), L"");
    EXPECT_EQ(GetField(L"a,b", L',', 3), L""); // beyond the last field: empty, not a wrap to the start
    EXPECT_EQ(GetField(L"", L',', 1), L"");
}

TEST(UtilityText, WideToAnsiReturnsAnOwnedZeroTerminatedCopyOrNull) {
    char* text = WideToAnsi(L"检测");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "\xE6\xA3\x80\xE6\xB5\x8B");
    delete[] text;
    EXPECT_EQ(WideToAnsi(L""), nullptr);
}

TEST(UtilityRects, ClampInsideAndAround) {
    const CRect bounds(0, 0, 100, 50);
    EXPECT_EQ(ClampRect({-5, 10, 120, 40}, bounds), CRect(0, 10, 100, 40));
    EXPECT_EQ(ClampRect({100, 50, -3, 0}, bounds), CRect(0, 0, 100, 50));
    EXPECT_EQ(ClampRect({10, 10, 20, 20}, bounds), CRect(10, 10, 20, 20));
    EXPECT_EQ(ClampPoint(-1, 99, 0, 0, 10, 10), CPoint(0, 10));
    EXPECT_TRUE(RectInside(bounds, bounds));
    EXPECT_FALSE(RectInside(bounds, {0, 0, 101, 50}));
    EXPECT_EQ(RectAroundPoints({10, 5}, {2, 8}, 1), CRect(1, 4, 11, 9));
    EXPECT_EQ(PlaceRect({10, 10, 30, 20}, 5, 5, true), CRect(15, 15, 35, 25));
    EXPECT_EQ(PlaceRect({10, 10, 30, 20}, 5, 5, false), CRect(5, 5, 25, 15));
}
