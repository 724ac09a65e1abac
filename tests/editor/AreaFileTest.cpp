// Inspection-area files: the text written for an area, reading it back, the export names, writing and
// reading the files.

#include "editor/AreaFile.h"

#include "formats/CodePage.h"
#include "geometry/MaskArea.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::vector<CPoint> Points(const CPolygon& polygon) {
    std::vector<CPoint> points;
    polygon.GetPoints(points);
    return points;
}

CPolygon* Hole(const CMaskArea& area, int i) { return dynamic_cast<CPolygon*>(area.m_children.GetAt(i)); }

TEST(AreaFileText, TriangleWithoutHolesOrParametersIsExactlyTenLines) {
    CPhaseMaskArea area;
    area.SetPoints({{10, 20}, {30, 20}, {30, 40}});
    EXPECT_EQ(GetAreaText(area), L"[]\r\n"
                                 L"    Type=0\r\n"
                                 L"    [OutLineAcme]\r\n"
                                 L"        Type=0\r\n"
                                 L"        Value=10,20,30,20,30,40\r\n"
                                 L"    [END]\r\n"
                                 L"    [Parameters]\r\n"
                                 L"        Type=0\r\n"
                                 L"    [END]\r\n"
                                 L"[END]");
}

TEST(AreaFileText, HolesAndNestedParametersComeBackTheSame) {
    CPhaseMaskArea area;
    area.SetPoints({{0, 0}, {100, 0}, {100, 80}, {0, 80}});
    for (int i = 0; i < 2; ++i) {
        auto* hole = new CPolygon;
        hole->m_nID = i + 1;
        hole->SetPoints({{10 + 40 * i, 10}, {30 + 40 * i, 10}, {30 + 40 * i, 30}});
        area.m_children.Add(hole);
    }
    // Parameter texts as the system writes them: top-level nodes at level 1, indented by 4 blanks.
    area.m_strParameters = L"    [检测参数]\r\n        Type=0\r\n        [灵敏度]\r\n            Type=1\r\n"
                           L"            Value=5\r\n            Remark=越大越灵敏\r\n        [END]\r\n        [检测通道]\r\n"
                           L"            Type=3\r\n            Value=L\r\n            ComboList=L,R,G,B\r\n        [END]\r\n"
                           L"    [END]\r\n    [定位核X]\r\n        Type=1\r\n        Value=7\r\n    [END]";
    const std::wstring text = GetAreaText(area);
    // The holes are numbered from 1 under "InLineAcme"; the parameters keep their own indentation.
    EXPECT_NE(text.find(L"    [InLineAcme]\r\n        Type=0\r\n        [Item1]\r\n            Type=0\r\n"
                        L"            Value=10,10,30,10,30,30\r\n        [END]\r\n        [Item2]"),
              std::wstring::npos)
        << text;
    EXPECT_NE(text.find(L"    [Parameters]\r\n        Type=0\r\n    [检测参数]\r\n        Type=0\r\n        [灵敏度]"),
              std::wstring::npos)
        << text;

    CPhaseMaskArea back;
    ASSERT_TRUE(AreaFromText(text, back));
    EXPECT_EQ(Points(back), Points(area));
    ASSERT_EQ(back.m_children.GetSize(), 2);
    EXPECT_EQ(Points(*Hole(back, 0)), Points(*Hole(area, 0)));
    EXPECT_EQ(Points(*Hole(back, 1)), Points(*Hole(area, 1)));
    EXPECT_EQ(back.m_strParameters, area.m_strParameters);
    // And the text of the area read back is the same text.
    EXPECT_EQ(GetAreaText(back), text);
}

TEST(AreaFileText, OutlinesFollowTheReadingRules) {
    struct Case {
        const wchar_t* value;
        std::vector<CPoint> points;
    } cases[] = {
        {L"10,20,,30", {{10, 20}}},  // empty pieces dropped, the odd last piece ignored
        {L"", {}},
        {L",,,", {}},
        {L"1,2,3", {{1, 2}}},
        {L"99999999999,-99999999999", {{INT32_MAX, INT32_MIN}}},  // clamped to the 32-bit range
        {L" 5x,abc", {{5, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(WideToUtf8(c.value)));
        CPhaseMaskArea area;
        ASSERT_TRUE(AreaFromText(std::wstring(L"[]\r\n[OutLineAcme]\r\nValue=") + c.value + L"\r\n[END]\r\n[END]",
                                 area));
        EXPECT_EQ(Points(area), c.points);
    }
}

TEST(AreaFileText, TextsWithoutAnOuterOutlineLeaveTheAreaAlone) {
    CPhaseMaskArea area;
    area.SetPoints({{1, 1}, {2, 2}});
    area.m_strParameters = L"keep";
    for (const std::wstring& text : {std::wstring(), std::wstring(L"\r\n"), std::wstring(L"\xFFFD\xFFFD\x01\x02"),
                                     std::wstring(L"[General]\r\nCount=1\r\n[END]"),
                                     std::wstring(L"[]\r\n[InLineAcme]\r\n[Item1]\r\nValue=1,2\r\n[END]\r\n[END]\r\n[END]"),
                                     // "OutLineAcme" only below the first top-level node does not count
                                     std::wstring(L"[a]\r\n[b]\r\n[OutLineAcme]\r\nValue=1,2\r\n[END]\r\n[END]\r\n[END]")}) {
        EXPECT_FALSE(AreaFromText(text, area));
        EXPECT_EQ(Points(area), std::vector<CPoint>({{1, 1}, {2, 2}}));
        EXPECT_EQ(area.m_strParameters, L"keep");
        EXPECT_EQ(area.m_children.GetSize(), 0);
    }
}

TEST(AreaFileText, ThousandsOfHolesAndALongOutlineRead) {
    std::wstring outline;
    for (int i = 0; i < 200000; ++i)
        outline += std::to_wstring(i) + L"," + std::to_wstring(i % 977) + L",";
    std::wstring text = L"[]\r\n[OutLineAcme]\r\nValue=" + outline + L"\r\n[END]\r\n[InLineAcme]\r\n";
    for (int i = 0; i < 3000; ++i)
        text += L"[Item" + std::to_wstring(i + 1) + L"]\r\nValue=" + std::to_wstring(i) + L",1,2,3\r\n[END]\r\n";
    text += L"[END]\r\n[END]";
    CPhaseMaskArea area;
    ASSERT_TRUE(AreaFromText(text, area));
    EXPECT_EQ(area.GetPointCount(), 200000);
    ASSERT_EQ(area.m_children.GetSize(), 3000);
    EXPECT_EQ(Points(*Hole(area, 2999)), std::vector<CPoint>({{2999, 1}, {2, 3}}));
}

TEST(AreaFileText, KernelLinksAreResetWhereverTheyAre) {
    const std::wstring text = ResetKernelLinks(L"[定位核X]\r\nType=1\r\nValue=12\r\n[END]\r\n[组]\r\nType=0\r\n"
                                               L"[定位核Y]\r\nType=1\r\nValue=3\r\n[END]\r\n[其它]\r\nValue=9\r\n[END]\r\n[END]");
    EXPECT_EQ(text, L"    [定位核X]\r\n        Type=1\r\n        Value=0\r\n    [END]\r\n    [组]\r\n        Type=0\r\n"
                    L"        [定位核Y]\r\n            Type=1\r\n            Value=0\r\n        [END]\r\n        [其它]\r\n"
                    L"            Type=0\r\n            Value=9\r\n        [END]\r\n    [END]");
    EXPECT_EQ(ResetKernelLinks(L""), L"");
}

TEST(AreaFileName, OnlyPlainFileNamesAreAccepted) {
    EXPECT_EQ(CheckAreaFileName(L""), AreaNameCheck::Empty);
    for (const std::wstring& name : {std::wstring(L"../x"), std::wstring(L"/etc/x"), std::wstring(L"a/b"),
                                     std::wstring(L".."), std::wstring(L"."), std::wstring(L"..\\x"),
                                     std::wstring(L"a\0b", 3)})
        EXPECT_EQ(CheckAreaFileName(name), AreaNameCheck::HasPath) << WideToUtf8(name);
    EXPECT_EQ(CheckAreaFileName(std::wstring(252, L'a')), AreaNameCheck::TooLong);
    EXPECT_EQ(CheckAreaFileName(std::wstring(251, L'a')), AreaNameCheck::Ok);
    EXPECT_EQ(CheckAreaFileName(std::wstring(84, L'区')), AreaNameCheck::TooLong);  // 3 bytes each in UTF-8
    for (const wchar_t* name : {L"区域1", L"a.b", L"...", L".hidden", L"x y"})
        EXPECT_EQ(CheckAreaFileName(name), AreaNameCheck::Ok) << WideToUtf8(name);
    EXPECT_EQ(AreaNameMessage(AreaNameCheck::HasPath), L"文件名不能包含路径!");
    EXPECT_EQ(AreaNameMessage(AreaNameCheck::Ok), L"");
}

TEST(AreaFileWrite, CreatesTheFolderAndWritesTheTextAsItStands) {
    TempDir dir;
    const std::wstring folder = dir.Folder() + L"Deploy/InspAreaIni/";
    ASSERT_EQ(WriteAreaFile(folder, L"区域", L"[]\r\n    Type=0\r\n[END]"), AreaFileResult::Ok);
    EXPECT_EQ(dir.ReadBytes("Deploy/InspAreaIni/区域.ini"), "[]\r\n    Type=0\r\n[END]");
    // Written again: replaced, and nothing else is left in the folder.
    ASSERT_EQ(WriteAreaFile(folder, L"区域", L"new"), AreaFileResult::Ok);
    EXPECT_EQ(dir.ReadBytes("Deploy/InspAreaIni/区域.ini"), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "Deploy/InspAreaIni"), fs::directory_iterator()), 1);
}

TEST(AreaFileWrite, FailuresAreReportedAndLeaveNothingBehind) {
    TempDir dir;
    dir.WriteBytes("file", "x");
    std::wstring reason;
    EXPECT_EQ(WriteAreaFile(dir.File("file") + L"/", L"a", L"text", &reason), AreaFileResult::NoFolder);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(WriteAreaFile(dir.Folder(), L"../a", L"text"), AreaFileResult::BadName);
    EXPECT_FALSE(fs::exists(dir.Path().parent_path() / "a.ini"));
    // The rename fails when a folder holds the target's name: the temporary file goes, the folder stays.
    fs::create_directories(dir.Path() / "out" / "taken.ini" / "inner");
    reason.clear();
    EXPECT_EQ(WriteAreaFile(dir.Folder() + L"out/", L"taken", L"text", &reason), AreaFileResult::WriteFailed);
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(fs::is_directory(dir.Path() / "out" / "taken.ini" / "inner"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "out"), fs::directory_iterator()), 1);
}

TEST(AreaFileRead, NarrowUtf16AndOddFiles) {
    TempDir dir;
    std::wstring text;
    EXPECT_EQ(ReadAreaFile(dir.File("missing.ini"), text), AreaFileResult::NotFound);
    EXPECT_EQ(ReadAreaFile(dir.Folder(), text), AreaFileResult::ReadFailed);  // a folder

    dir.WriteBytes("narrow.ini", "[]\r\n[OutLineAcme]\r\nValue=1,2\r\n[END]\r\n[END]");
    ASSERT_EQ(ReadAreaFile(dir.File("narrow.ini"), text), AreaFileResult::Ok);
    EXPECT_EQ(text, L"[]\r\n[OutLineAcme]\r\nValue=1,2\r\n[END]\r\n[END]");

    dir.WriteBytes("utf16.ini", "\xFF\xFE" + WideToUtf16Le(L"[]\r\n[OutLineAcme]\r\nValue=3,4\r\n[END]"));
    ASSERT_EQ(ReadAreaFile(dir.File("utf16.ini"), text), AreaFileResult::Ok);
    EXPECT_EQ(text, L"[]\r\n[OutLineAcme]\r\nValue=3,4\r\n[END]");

    dir.WriteBytes("empty.ini", "");
    ASSERT_EQ(ReadAreaFile(dir.File("empty.ini"), text), AreaFileResult::Ok);
    EXPECT_EQ(text, L"");

    // Binary content: read up to the first zero byte, as a zero-terminated buffer; never an outline.
    dir.WriteBytes("binary.ini", std::string("BM\x36\x10\0\0[]\r\n[OutLineAcme]\r\nValue=1,2", 34));
    ASSERT_EQ(ReadAreaFile(dir.File("binary.ini"), text), AreaFileResult::Ok);
    EXPECT_EQ(text.size(), 4u);
    CPhaseMaskArea area;
    EXPECT_FALSE(AreaFromText(text, area));

    // Larger than any area file: refused before it is read.
    fs::resize_file(dir.Path() / "empty.ini", kMaxAreaFileBytes + 1);
    EXPECT_EQ(ReadAreaFile(dir.File("empty.ini"), text), AreaFileResult::TooLarge);
    EXPECT_EQ(text, L"");
}

} // namespace
