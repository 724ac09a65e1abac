// The editor's area-file commands: "导出" (32791) writes the selected inspection area, "文件导入检测区"
// (32794) reads one into the caret phase.

#include "EditorFixture.h"

#include "datastruct/Kernel.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "dialogs/ModalRunner.h"
#include "editor/AreaFile.h"
#include "formats/CodePage.h"
#include "geometry/MaskArea.h"

#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class AreaCommandsTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
        m_phase = m_dlg->GetCurPhase();
        ASSERT_NE(m_phase, nullptr);
        m_area = m_phase->m_areas.GetAtAs<CPhaseMaskArea>(0);
        ASSERT_NE(m_area, nullptr);
    }
    /// Runs "导出"; the file-name dialog gets each name in turn (OK pressed after each); the number of
    /// names the dialog took before it closed.
    int Export(std::initializer_list<QString> names) {
        int typed = 0;
        ScopedModalHandler handler([&](QDialog& d) {
            for (const QString& name : names) {
                d.findChild<QLineEdit*>(QStringLiteral("fileName"))->setText(name);
                ++typed;
                d.findChild<QPushButton*>(QStringLiteral("1"))->click();
                if (d.result() == QDialog::Accepted)
                    break;
            }
            return d.result();
        });
        m_dlg->OnCommand(zrkid::ID_EXPORT_AREA);
        return typed;
    }
    /// Runs "文件导入检测区" on the file; the mask dialog (when it opens) gets the label and OK.
    bool Import(const std::wstring& path, const QString& label = QStringLiteral("导入"), bool ok = true) {
        m_prompter.m_openPaths.push_back({path});
        bool opened = false;
        ScopedModalHandler handler(
            [&](QDialog& d) {
                opened = true;
                d.findChild<QLineEdit*>(QStringLiteral("label"))->setText(label);
                d.findChild<QPushButton*>(QString::fromLatin1(ok ? "1" : "2"))->click();
                return d.result();
            },
            ScopedModalHandler::Optional);  // the result tells whether it opened
        m_dlg->OnCommand(zrkid::ID_IMPORT_AREA);
        return opened;
    }
    fs::path AreaFolder() const { return m_deploy.Dir().Path() / "InspAreaIni"; }

    CPhase* m_phase = nullptr;
    CPhaseMaskArea* m_area = nullptr;
};

TEST_F(AreaCommandsTest, ExportNeedsASelectedInspectionArea) {
    m_dlg->OnCommand(zrkid::ID_EXPORT_AREA);
    m_dlg->GetDocument().SetSelShape(m_dlg->GetDocument().GetRefImage()->m_kernels.GetAtAs<CKernel>(0));
    m_dlg->OnCommand(zrkid::ID_EXPORT_AREA);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"请选择一个检测区!", L"您选择的不是检测区!"}));
    EXPECT_EQ(m_prompter.m_messages[1].caption, L"导出检测区");
    EXPECT_FALSE(fs::exists(AreaFolder()));
}

TEST_F(AreaCommandsTest, ExportWritesTheAreaTextIntoTheFolderItCreates) {
    m_dlg->GetDocument().SetSelShape(m_area);
    EXPECT_EQ(Export({QStringLiteral("区域A")}), 1);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"导出成功!"}));
    EXPECT_EQ(m_deploy.Dir().ReadBytes("InspAreaIni/区域A.ini"), WideToAnsiString(GetAreaText(*m_area)));
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());  // exporting changes nothing in the template
}

TEST_F(AreaCommandsTest, ExportNamesThatLeaveTheFolderAreRefused) {
    m_dlg->GetDocument().SetSelShape(m_area);
    // The dialog keeps asking for "../x" and "/etc/x"; a name with "\" is refused once it is closed.
    EXPECT_EQ(Export({QStringLiteral("../x"), QStringLiteral("/etc/x"), QStringLiteral("..\\x")}), 3);
    EXPECT_EQ(m_prompter.Texts(),
              std::vector<std::wstring>({L"文件名不能包含路径!", L"文件名不能包含路径!", L"文件名不能包含路径!"}));
    EXPECT_FALSE(fs::exists(m_deploy.Dir().Path() / "x.ini"));
    EXPECT_FALSE(fs::exists(AreaFolder()));
}

TEST_F(AreaCommandsTest, AFailedExportIsReportedNotAnnouncedAsSuccess) {
    m_dlg->GetDocument().SetSelShape(m_area);
    m_deploy.Dir().WriteBytes("InspAreaIni", "a file where the folder belongs");
    Export({QStringLiteral("a")});
    ASSERT_EQ(m_prompter.m_messages.size(), 1u);
    EXPECT_EQ(m_prompter.m_messages[0].text.rfind(L"导出失败!", 0), 0u) << WideToUtf8(m_prompter.m_messages[0].text);
    EXPECT_TRUE(fs::is_regular_file(AreaFolder()));
}

TEST_F(AreaCommandsTest, AnExportedAreaImportsIntoAnotherPhaseWithItsHolesAndLinksReset) {
    for (int i = 0; i < 2; ++i) {
        auto* hole = new CPolygon;
        hole->SetPoints({{30 + 40 * i, 30}, {50 + 40 * i, 30}, {50 + 40 * i, 50}});
        m_area->m_children.Add(hole);
    }
    m_area->m_strParameters = L"[检测参数]\r\n    Type=0\r\n    [定位核X]\r\n        Type=1\r\n        Value=1\r\n    [END]\r\n"
                              L"    [定位核Y]\r\n        Type=1\r\n        Value=2\r\n    [END]\r\n[END]";
    m_dlg->GetDocument().SetSelShape(m_area);
    Export({QStringLiteral("two holes")});
    ASSERT_TRUE(fs::exists(AreaFolder() / "two holes.ini"));

    Select({L"尺寸定位", L"正面", L"第一印次"});
    CPhase* other = m_dlg->GetCurPhase();
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other, m_phase);
    const int before = other->m_areas.GetSize();
    EXPECT_TRUE(Import((AreaFolder() / "two holes.ini").wstring()));
    EXPECT_EQ(m_prompter.m_fileRequests.back().folder, m_deploy.Dir().Folder() + L"InspAreaIni/");
    ASSERT_EQ(other->m_areas.GetSize(), before + 1);
    auto* imported = other->m_areas.GetAtAs<CPhaseMaskArea>(before);
    ASSERT_NE(imported, nullptr);
    std::vector<CPoint> a, b;
    imported->GetPoints(a);
    m_area->GetPoints(b);
    EXPECT_EQ(a, b);
    ASSERT_EQ(imported->m_children.GetSize(), 2);
    for (int i = 0; i < 2; ++i) {
        std::vector<CPoint> ha, hb;
        static_cast<CPolygon*>(imported->m_children.GetAt(i))->GetPoints(ha);
        static_cast<CPolygon*>(m_area->m_children.GetAt(i))->GetPoints(hb);
        EXPECT_EQ(ha, hb) << i;
    }
    EXPECT_EQ(imported->m_strTag, L"导入");
    EXPECT_EQ(imported->m_nSheetID, 1);  // the current note
    EXPECT_EQ(imported->m_nID, other->m_areas.GetMaxID());
    EXPECT_EQ(imported->m_strParameters,
              L"    [检测参数]\r\n        Type=0\r\n        [定位核X]\r\n            Type=1\r\n            Value=0\r\n"
              L"        [END]\r\n        [定位核Y]\r\n            Type=1\r\n            Value=0\r\n        [END]\r\n    [END]");
    EXPECT_TRUE(m_dlg->GetDocument().IsModified());
    EXPECT_EQ(m_dlg->GetDocument().GetEditDepth(), 0);
}

TEST_F(AreaCommandsTest, BadFilesAreRefusedBeforeAnythingIsAdded) {
    struct Case {
        const char* name;
        std::string bytes;
        const wchar_t* message;
    } cases[] = {
        {"empty.ini", "", L"文件中没有检测区的外轮廓, 不能导入!"},
        {"binary.ini", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), L"文件中没有检测区的外轮廓, 不能导入!"},
        {"utf16-no-mark.ini", WideToUtf16Le(L"[]\r\n[OutLineAcme]\r\nValue=1,2,3,4\r\n[END]"),
         L"文件中没有检测区的外轮廓, 不能导入!"},
        {"no-outline.ini", "[]\r\n[Parameters]\r\n[END]\r\n[END]", L"文件中没有检测区的外轮廓, 不能导入!"},
        {"empty-outline.ini", "[]\r\n[OutLineAcme]\r\nValue=,,\r\n[END]\r\n[END]", L"文件中没有检测区的外轮廓, 不能导入!"},
    };
    const int before = m_phase->m_areas.GetSize();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_prompter.Clear();
        m_deploy.Dir().WriteBytes(c.name, c.bytes);
        EXPECT_FALSE(Import(m_deploy.Dir().File(c.name)));  // the mask dialog never opens
        EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({c.message}));
        EXPECT_EQ(m_phase->m_areas.GetSize(), before);
    }
    m_prompter.Clear();
    EXPECT_FALSE(Import(m_deploy.Dir().File("missing.ini")));
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"无法读取文件!"}));
    EXPECT_FALSE(m_dlg->GetDocument().IsModified() || m_phase->m_areas.GetSize() != before);
}

TEST_F(AreaCommandsTest, OddButValidFilesFollowTheReadingRules) {
    // UTF-16 with its mark, odd and empty pieces, numbers beyond the int range.
    m_deploy.Dir().WriteBytes("odd.ini", "\xFF\xFE" + WideToUtf16Le(L"[]\r\n[OutLineAcme]\r\n"
                                                                    L"Value=10,20,,30,99999999999,5,7\r\n[END]\r\n[END]"));
    EXPECT_TRUE(Import(m_deploy.Dir().File("odd.ini"), QStringLiteral("odd")));
    auto* imported = m_phase->m_areas.GetAtAs<CPhaseMaskArea>(m_phase->m_areas.GetSize() - 1);
    std::vector<CPoint> points;
    imported->GetPoints(points);
    EXPECT_EQ(points, std::vector<CPoint>({{10, 20}, {30, INT32_MAX}, {5, 7}}));
}

TEST_F(AreaCommandsTest, ATakenLabelOrCancelAddsNothing) {
    m_area->m_strTag = L"A";
    m_dlg->GetDocument().SetSelShape(m_area);
    Export({QStringLiteral("a")});
    const int before = m_phase->m_areas.GetSize();
    m_prompter.Clear();
    EXPECT_TRUE(Import((AreaFolder() / "a.ini").wstring(), QStringLiteral("A")));
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>({L"该标识已经存在!"}));
    EXPECT_TRUE(Import((AreaFolder() / "a.ini").wstring(), QStringLiteral("B"), false));
    EXPECT_EQ(m_phase->m_areas.GetSize(), before);
    EXPECT_FALSE(m_dlg->GetDocument().IsModified());
    // Cancelling the file dialog does nothing at all.
    m_dlg->OnCommand(zrkid::ID_IMPORT_AREA);
    EXPECT_EQ(m_phase->m_areas.GetSize(), before);
}

} // namespace
