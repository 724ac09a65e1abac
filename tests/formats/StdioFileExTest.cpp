#include "formats/CodePage.h"
#include "formats/StdioFileEx.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <ios>
#include <stdexcept>

namespace {

std::vector<std::wstring> ReadAll(const std::wstring& path, int codePage = -1) {
    CStdioFileEx file;
    file.m_nFileCodePage = codePage;
    EXPECT_TRUE(file.Open(path, CStdioFile::modeRead));
    std::vector<std::wstring> lines;
    std::wstring line;
    while (file.ReadString(line))
        lines.push_back(line);
    EXPECT_TRUE(line.empty());
    return lines;
}

using Lines = std::vector<std::wstring>;

class StdioFileExTest : public ::testing::Test {
protected:
    void SetUp() override { SetAnsiCodePage(65001); }
    TempDir dir;
};

TEST_F(StdioFileExTest, Utf16FileIsReadWithoutItsMarkAndLineEnds) {
    dir.WriteBytes("u.txt", "\xFF\xFE" + WideToUtf16Le(L"第一\r\nsecond\n\U0001F600x"));
    EXPECT_EQ(ReadAll(dir.File("u.txt")), (Lines{L"第一", L"second", L"\U0001F600x"}));
    // The same bytes without the mark are narrow text.
    dir.WriteBytes("n.txt", WideToUtf16Le(L"ab"));
    EXPECT_EQ(ReadAll(dir.File("n.txt")), (Lines{std::wstring(L"a\0b\0", 4)}));
}

TEST_F(StdioFileExTest, Utf16BrokenUnitsDecodeToReplacement) {
    dir.WriteBytes("u.txt", std::string("\xFF\xFE" "a\x00\x3D\xD8\n\x00" "b\x00" "c", 11));
    EXPECT_EQ(ReadAll(dir.File("u.txt")), (Lines{L"a\uFFFD", L"b\uFFFD"}));
}

TEST_F(StdioFileExTest, LineEndsAndTheLastLine) {
    dir.WriteBytes("a.txt", "one\r\ntwo\n\nthree");
    EXPECT_EQ(ReadAll(dir.File("a.txt")), (Lines{L"one", L"two", L"", L"three"}));
    dir.WriteBytes("b.txt", "one\n");
    EXPECT_EQ(ReadAll(dir.File("b.txt")), (Lines{L"one"}));
    dir.WriteBytes("c.txt", "");
    EXPECT_EQ(ReadAll(dir.File("c.txt")), Lines{});
    dir.WriteBytes("d.txt", "\n");
    EXPECT_EQ(ReadAll(dir.File("d.txt")), (Lines{L""}));
    dir.WriteBytes("e.txt", "x\r\r\n");
    EXPECT_EQ(ReadAll(dir.File("e.txt")), (Lines{L"x\r"})); // only one CR is removed
}

TEST_F(StdioFileExTest, Utf8MarkIsKeptWithTheProcessCodePageAndSkippedWith65001) {
    dir.WriteBytes("m.txt", "\xEF\xBB\xBF[General]\n");
    EXPECT_EQ(ReadAll(dir.File("m.txt")), (Lines{L"\uFEFF[General]"}));
    EXPECT_EQ(ReadAll(dir.File("m.txt"), 65001), (Lines{L"[General]"}));
    // Without a mark nothing is skipped, whatever the code page says.
    dir.WriteBytes("p.txt", "abcdef\n");
    EXPECT_EQ(ReadAll(dir.File("p.txt"), 65001), (Lines{L"abcdef"}));
}

TEST_F(StdioFileExTest, GbkFileWithInvalidBytes) {
    dir.WriteBytes("g.txt", "\xD6\xD0\xCE\xC4\n\xFF" "ok\n");
    EXPECT_EQ(ReadAll(dir.File("g.txt"), 936), (Lines{L"中文", L"\uFFFDok"}));
}

TEST_F(StdioFileExTest, VeryLongLinesComeBackWhole) {
    for (size_t length : {size_t(4095), size_t(4096), size_t(4097), size_t(10000), size_t(10u << 20)}) {
        SCOPED_TRACE(length);
        std::string narrow(length, 'x');
        narrow[length / 2] = 'y';
        dir.WriteBytes("long.txt", narrow + "\r\nz");
        Lines lines = ReadAll(dir.File("long.txt"));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), length);
        EXPECT_EQ(lines[0][length / 2], L'y');
        if (length <= 10000) {
            dir.WriteBytes("long16.txt", "\xFF\xFE" + WideToUtf16Le(std::wstring(length, L'中') + L"\n"));
            Lines wide = ReadAll(dir.File("long16.txt"));
            ASSERT_EQ(wide.size(), 1u);
            EXPECT_EQ(wide[0], std::wstring(length, L'中'));
        }
    }
}

TEST_F(StdioFileExTest, WritingUnicodeAndNarrowGivesTheExactBytes) {
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(dir.File("w.txt"), CStdioFile::modeCreate | CStdioFile::modeWrite |
                                                     CStdioFileEx::modeWriteUnicode));
        file.WriteString(L"abc");
        file.WriteString(L"d");
    }
    EXPECT_EQ(dir.ReadBytes("w.txt"), std::string("\xFF\xFE" "a\0b\0c\0d\0", 10));
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(dir.File("n.txt"), CStdioFile::modeCreate | CStdioFile::modeWrite));
        file.WriteString(L"abc");
        file.WriteString(L"\n");
    }
    EXPECT_EQ(dir.ReadBytes("n.txt"), "abc\n");
    {
        CStdioFileEx file;
        file.m_nFileCodePage = 65001;
        ASSERT_TRUE(file.Open(dir.File("b.txt"), CStdioFile::modeCreate | CStdioFile::modeWrite));
        file.WriteString(L"中");
        file.WriteString(L"");
    }
    EXPECT_EQ(dir.ReadBytes("b.txt"), "\xEF\xBB\xBF\xE4\xB8\xAD");
    {
        CStdioFileEx file;
        file.m_nFileCodePage = 1252;
        file.m_bWriteBOM = false;
        ASSERT_TRUE(file.Open(dir.File("c.txt"), CStdioFile::modeCreate | CStdioFile::modeWrite));
        file.WriteString(L"é中");
    }
    EXPECT_EQ(dir.ReadBytes("c.txt"), "\xE9#");
}

TEST_F(StdioFileExTest, RoundTripThroughEachForm) {
    const Lines text = {L"[节点]", L"Value=检测 \U0001F600", L"", L"end"};
    for (uint32_t extra : {0u, CStdioFileEx::modeWriteUnicode}) {
        for (int page : {-1, 65001, 936}) {
            SCOPED_TRACE(testing::Message() << extra << " " << page);
            CStdioFileEx out;
            out.m_nFileCodePage = page;
            ASSERT_TRUE(out.Open(dir.File("r.txt"), CStdioFile::modeCreate | CStdioFile::modeWrite | extra));
            for (const auto& line : text)
                out.WriteString(line + L"\n");
            out.Close();
            Lines back = ReadAll(dir.File("r.txt"), page);
            Lines expected = text;
            if (page == 936 && !extra)
                expected[1] = L"Value=检测 #";
            EXPECT_EQ(back, expected);
        }
    }
}

TEST_F(StdioFileExTest, OpenFailuresReportFalseAndSeekRestartsMarkDetection) {
    CStdioFileEx file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File("missing.txt"), CStdioFile::modeRead, &error));
    EXPECT_NE(error.m_cause, 0);
    EXPECT_FALSE(file.Open(dir.Folder(), CStdioFile::modeRead));
    EXPECT_FALSE(file.Open(dir.Folder() + L"no/such/folder/x.txt", CStdioFile::modeCreate | CStdioFile::modeWrite));
    std::wstring line;
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_THROW(file.WriteString(L"x"), std::ios_base::failure);
    EXPECT_THROW(file.SetFilePath(nullptr), std::invalid_argument);

    dir.WriteBytes("u.txt", "\xFF\xFE" + WideToUtf16Le(L"a\nb\n"));
    ASSERT_TRUE(file.Open(dir.File("u.txt"), CStdioFile::modeRead));
    ASSERT_TRUE(file.ReadString(line));
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"b");
    file.Seek(0, CStdioFile::begin);
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, L"a");
}

TEST_F(StdioFileExTest, CreateTruncatesUnlessNoTruncateAndWriteNeedsAnExistingFile) {
    using F = CStdioFile;
    dir.WriteBytes("k.txt", "abc\n");
    {
        CStdioFileEx file;
        file.m_nFileCodePage = 65001;
        ASSERT_TRUE(file.Open(dir.File("k.txt"), F::modeCreate | F::modeNoTruncate | F::modeWrite));
        EXPECT_EQ(file.GetLength(), 4u);
        file.Seek(0, F::end);
        file.WriteString(L"d\n"); // not at the start: no mark
    }
    EXPECT_EQ(dir.ReadBytes("k.txt"), "abc\nd\n");
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(dir.File("new.txt"), F::modeCreate | F::modeNoTruncate | F::modeWrite));
    }
    EXPECT_EQ(dir.ReadBytes("new.txt"), "");
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(dir.File("k.txt"), F::modeCreate | F::modeWrite));
        EXPECT_EQ(file.GetLength(), 0u);
    }
    CStdioFileEx file;
    EXPECT_FALSE(file.Open(dir.File("absent.txt"), F::modeWrite));
    EXPECT_FALSE(file.Open(dir.File("absent.txt"), F::modeReadWrite));
    EXPECT_FALSE(file.Open(dir.Folder(), F::modeCreate | F::modeNoTruncate | F::modeWrite));
}

TEST_F(StdioFileExTest, ReadWriteModeDetectsTheMarkAndWritesWhereReadingStopped) {
    using F = CStdioFile;
    dir.WriteBytes("u.txt", "\xFF\xFE" + WideToUtf16Le(L"a\nb\n"));
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(dir.File("u.txt"), F::modeReadWrite));
        EXPECT_TRUE(file.m_bIsUnicodeText);
        std::wstring line;
        ASSERT_TRUE(file.ReadString(line));
        EXPECT_EQ(line, L"a");
    }
    dir.WriteBytes("n.txt", "one\ntwo\n");
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(dir.File("n.txt"), F::modeReadWrite));
        EXPECT_FALSE(file.m_bIsUnicodeText);
        std::wstring line;
        ASSERT_TRUE(file.ReadString(line));
        file.WriteString(L"TW");
        ASSERT_TRUE(file.ReadString(line));
        EXPECT_EQ(line, L"o");
    }
    EXPECT_EQ(dir.ReadBytes("n.txt"), "one\nTWo\n");
}

} // namespace
