// The bitmap that keeps its file's information header.

#include "geometry/ExpandBitmap.h"

#include "GeometryTestUtil.h"
#include "support/RecordingPrompter.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(ExpandBitmap, LoadsAndKeepsTheHeaderASecondLoadReplacesBoth) {
    TempDir dir;
    ASSERT_TRUE(WriteBmpFile(dir.File("up.bmp"), *MakeBuffer(5, 4, IMG_FORMAT_RGB24, 10)));
    ASSERT_TRUE(WriteBmpFile(dir.File("down.bmp"), *MakeBuffer(9, 2, IMG_FORMAT_MONO8, 20), true));
    CExpandBitmap bitmap;
    EXPECT_FALSE(bitmap.IsAttached());
    EXPECT_NE(bitmap.LoadFromFile(dir.File("up.bmp")), 0);
    EXPECT_EQ(bitmap.m_infoHeader.biWidth, 5);
    EXPECT_EQ(bitmap.m_infoHeader.biBitCount, 24);
    ASSERT_NE(bitmap.GetBitmap(), nullptr);
    EXPECT_EQ(bitmap.GetBitmap()->GetWidth(), 5);

    EXPECT_NE(bitmap.LoadFromFile(dir.File("down.bmp")), 0);
    EXPECT_EQ(bitmap.m_infoHeader.biWidth, 9);
    EXPECT_EQ(bitmap.m_infoHeader.biHeight, -2);
    EXPECT_EQ(bitmap.m_infoHeader.biBitCount, 8);
    EXPECT_EQ(bitmap.GetBitmap()->GetHeight(), 2);
    EXPECT_EQ(bitmap.GetBitmap()->GetMat().at<uint8_t>(1, 8), 20);
}

TEST(ExpandBitmap, MissingFileShowsTheFullPathZeroesTheHeaderAndAttachesNothing) {
    TempDir dir;
    ASSERT_TRUE(WriteBmpFile(dir.File("up.bmp"), *MakeBuffer(5, 4, IMG_FORMAT_RGB24)));
    CExpandBitmap bitmap;
    bitmap.LoadFromFile(dir.File("up.bmp"));
    CRecordingPrompter prompter;
    ScopedPrompter scope(&prompter);
    const std::wstring missing = dir.File("按钮.bmp");
    EXPECT_EQ(bitmap.LoadFromFile(missing), 0);
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"打开 " + missing + L" 文件失败!"}));
    EXPECT_EQ(bitmap.m_infoHeader, BITMAPINFOHEADER{});
    EXPECT_FALSE(bitmap.IsAttached());
    EXPECT_EQ(bitmap.GetLastError(), BmpError::OpenFailed);
}

TEST(ExpandBitmap, FileThatOpensButIsNoBitmapKeepsTheHeaderAsRead) {
    TempDir dir;
    std::string bytes(14, 'x');
    bytes += std::string("\x28\0\0\0\x07\0\0\0", 8); // size 40, width 7, then the file ends
    dir.WriteBytes("fake.bmp", bytes);
    CRecordingPrompter prompter;
    ScopedPrompter scope(&prompter);
    CExpandBitmap bitmap;
    EXPECT_EQ(bitmap.LoadFromFile(dir.File("fake.bmp")), 0);
    EXPECT_TRUE(prompter.Texts().empty());
    EXPECT_EQ(bitmap.m_infoHeader.biSize, 40u);
    EXPECT_EQ(bitmap.m_infoHeader.biWidth, 7);
    EXPECT_EQ(bitmap.m_infoHeader.biHeight, 0);
    EXPECT_FALSE(bitmap.IsAttached());
    EXPECT_EQ(bitmap.GetLastError(), BmpError::NotBitmap);
}

} // namespace

namespace {

TEST(ExpandBitmap, AFolderOpensButCannotBeReadAndIsRefusedWithTheMessage) {
    TempDir dir;
    ASSERT_TRUE(WriteBmpFile(dir.File("up.bmp"), *MakeBuffer(5, 4, IMG_FORMAT_RGB24)));
    std::filesystem::create_directories(dir.Path() / "folder.bmp");
    CExpandBitmap bitmap;
    ASSERT_NE(bitmap.LoadFromFile(dir.File("up.bmp")), 0);
    CRecordingPrompter prompter;
    ScopedPrompter scope(&prompter);
    const std::wstring folder = dir.File("folder.bmp");
    EXPECT_EQ(bitmap.LoadFromFile(folder), 0);
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"打开 " + folder + L" 文件失败!"}));
    EXPECT_EQ(bitmap.m_infoHeader, BITMAPINFOHEADER{});
    EXPECT_FALSE(bitmap.IsAttached());
}

TEST(ExpandBitmap, TheOpenFailureIsTranslatedByTheLanguagePack) {
    ScopedLanguageLines pack({L"打开=Cannot open", L"文件失败!=(failed)"});
    CRecordingPrompter prompter;
    ScopedPrompter scope(&prompter);
    TempDir dir;
    const std::wstring missing = dir.File("none.bmp");
    CExpandBitmap bitmap;
    EXPECT_EQ(bitmap.LoadFromFile(missing), 0);
    EXPECT_EQ(prompter.Texts(), (std::vector<std::wstring>{L"Cannot open " + missing + L" (failed)"}));
}

} // namespace
