#include "host/CustomFindFile.h"
#include "host/FindFileData.h"

#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

TEST(CustomFindFile, ListsMatchingFilesByNameSkippingFolders) {
    TempDir dir;
    dir.WriteBytes("b.so", "bb");
    dir.WriteBytes("a.so", "a");
    dir.WriteBytes("notes.txt", "x");
    std::filesystem::create_directories(dir.Path() / "folder.so");
    CCustomFindFile files;
    EXPECT_EQ(files.Fill(dir.Folder() + L"*.so"), 2);
    ASSERT_EQ(files.GetSize(), 2);
    EXPECT_EQ(files.GetFileAt(0)->GetName(), L"a.so");
    EXPECT_EQ(files.GetFileAt(0)->m_nID, 1);
    EXPECT_EQ(files.GetFileAt(1)->GetName(), L"b.so");
    EXPECT_EQ(files.GetFileAt(1)->m_nID, 2);
    EXPECT_EQ(files.GetFileAt(1)->m_data.GetFileSize(), 2u);
    EXPECT_EQ(files.GetFileAt(0)->GetTypeName(), L"CFindFileData");
}

TEST(CustomFindFile, AppendsWithNextIdentifiersAndIgnoresMissingFolders) {
    TempDir dir;
    dir.WriteBytes("x1.ini", "");
    dir.WriteBytes("x22.ini", "");
    CCustomFindFile files;
    files.Fill(dir.Folder() + L"x?.ini");
    files.Fill(dir.Folder() + L"x*.ini");
    ASSERT_EQ(files.GetSize(), 3);
    EXPECT_EQ(files.GetFileAt(2)->m_nID, 3);
    EXPECT_EQ(files.Fill(dir.Folder() + L"missing/*.ini"), 0);
    EXPECT_EQ(files.GetSize(), 3);
}

TEST(CustomFindFile, WildcardsMatchAsTheSearchDoes) {
    EXPECT_TRUE(MatchWildcard(L"*.so", L"libA.so"));
    EXPECT_FALSE(MatchWildcard(L"*.so", L"libA.so.1"));
    EXPECT_TRUE(MatchWildcard(L"*", L""));
    EXPECT_TRUE(MatchWildcard(L"a*b*c", L"axxbyybc"));
    EXPECT_FALSE(MatchWildcard(L"a?c", L"ac"));
    EXPECT_FALSE(MatchWildcard(L"*.SO", L"a.so"));  // case-sensitive on this system
}

TEST(FindFileData, CopiesTheWholeRecord) {
    CFindFileData a;
    a.m_nID = 4;
    a.m_data.cFileName = L"x.so";
    a.m_data.nFileSizeLow = 9;
    CFindFileData b;
    ASSERT_TRUE(b.CopyFrom(&a));
    EXPECT_EQ(b.m_nID, 4);
    EXPECT_EQ(b.GetName(), L"x.so");
    EXPECT_EQ(b.m_data.nFileSizeLow, 9u);
}
