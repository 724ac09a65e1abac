// The template's history in the editor: every save records what its steps did and what it changed, the
// history window lists the versions, a version compared with the open template lists and draws the changes,
// and a version taken back is one step that undo takes back; a save after it makes a new version.

#include "EditorFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/TemplateStore.h"
#include "editor/DlgModelHistory.h"
#include "editor/EditStep.h"
#include "editor/ModelHistory.h"
#include "formats/CodePage.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

namespace {

class HistoryEditorTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
        ASSERT_NE(m_dlg->GetCurPhase(), nullptr);
        ASSERT_NE(m_dlg->GetCurNote(), nullptr);
        // Choosing the phase stores what the view shows with the reference image: saved first, so that the
        // summaries below say the tests' own steps only.
        ASSERT_TRUE(m_dlg->Save());
    }
    CEditorDocument& Doc() { return m_dlg->GetDocument(); }
    std::string Bytes() { return EncodeModel(*Doc().GetModel()); }
    std::vector<CModelRevision> Revisions() {
        CTemplateStore store;
        std::vector<CModelRevision> out;
        EXPECT_TRUE(store.Open(GetTemplateStorePath()));
        EXPECT_TRUE(store.ListRevisions(m_nModelID, out));
        return out;
    }
    std::string RevisionBytes(int64_t number) {
        CTemplateStore store;
        std::string bytes;
        bool found = false;
        EXPECT_TRUE(store.Open(GetTemplateStorePath()));
        EXPECT_TRUE(store.LoadRevision(m_nModelID, number, bytes, found));
        EXPECT_TRUE(found);
        return bytes;
    }
    /// An inspection area of the current small sheet added as the area command adds it: one step.
    CPhaseMaskArea* AddArea(int x) {
        CEditStep step(Doc(), L"增加检测区");
        CPhase* phase = m_dlg->GetCurPhase();
        Doc().TouchList(&phase->m_areas);
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = m_dlg->GetCurNote()->m_nID;
        area->SetPoints({{x, 20}, {x + 40, 20}, {x + 40, 60}, {x, 60}});
        phase->m_areas.Add(area);
        Doc().SetModified(true);
        return area;
    }
    void Move(CPhaseMaskArea* area, int dx) {
        CEditStep step(Doc(), L"移动");
        Doc().TouchItem(area);
        std::vector<CPoint> points;
        area->GetPoints(points);
        for (CPoint& p : points)
            p.x += dx;
        area->SetPoints(points);
        Doc().SetModified(true);
    }
    void DeleteKernel() {
        CEditStep step(Doc(), L"删除定位核");
        CRefImage* ref = Doc().GetRefImage();
        ASSERT_NE(ref, nullptr);
        ASSERT_GT(ref->m_kernels.GetSize(), 0);
        Doc().TouchList(&ref->m_kernels);
        ref->m_kernels.RemoveAt(ref->m_kernels.GetSize() - 1);
        Doc().SetModified(true);
    }
};

} // namespace

TEST_F(HistoryEditorTest, EachSaveRecordsItsStepsAndItsChangesUndoneStepsLeftOut) {
    const size_t before = Revisions().size();
    CPhaseMaskArea* first = AddArea(100);
    AddArea(200);
    AddArea(300);
    ASSERT_TRUE(m_dlg->Undo());  // the third area taken back: neither a step nor a change of this save
    ASSERT_TRUE(m_dlg->Save());
    Move(first, 5);
    Move(first, 5);
    DeleteKernel();
    ASSERT_TRUE(m_dlg->Save());
    ASSERT_TRUE(m_dlg->Save());  // nothing changed since: a revision that says nothing

    const std::vector<CModelRevision> revisions = Revisions();
    ASSERT_EQ(revisions.size(), before + 3);
    EXPECT_EQ(revisions[before].m_strSummary, L"增加检测区 ×2; 检测区 +2");
    EXPECT_EQ(revisions[before + 1].m_strSummary, L"移动 ×2, 删除定位核; 检测区 ~1, 定位核 -1");
    EXPECT_EQ(revisions[before + 2].m_strSummary, L"");
    // Every revision is the template as it was saved.
    EXPECT_EQ(RevisionBytes(revisions.back().m_nNumber), Bytes());
}

TEST_F(HistoryEditorTest, TheWindowListsComparesAndRestoresAVersionAsOneStep) {
    CPhaseMaskArea* area = AddArea(100);
    ASSERT_TRUE(m_dlg->Save());
    const int64_t first = Revisions().back().m_nNumber;
    const std::string firstBytes = Bytes();
    Move(area, 30);
    AddArea(400);
    ASSERT_TRUE(m_dlg->Save());
    DeleteKernel();
    ASSERT_TRUE(m_dlg->Save());
    const std::string lastSaved = Bytes();

    const size_t steps = Doc().GetJournal().GetStepCount();
    m_dlg->OpenHistory();
    CDlgModelHistory* window = m_dlg->GetHistoryWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());
    auto* list = window->findChild<QTreeWidget*>("historyList");
    ASSERT_EQ(size_t(list->topLevelItemCount()), Revisions().size());
    EXPECT_EQ(list->topLevelItem(0)->text(0).toLongLong(), first + 2);  // the newest first
    EXPECT_EQ(list->topLevelItem(0)->text(5), QStringLiteral("删除定位核; 定位核 -1"));

    // Compared with the first version: the area moved, one added, a kernel removed, listed and drawn.
    ASSERT_TRUE(window->Choose(first));
    QTest::mouseClick(window->findChild<QPushButton*>("historyCompare"), Qt::LeftButton);
    const CRevisionView* view = m_dlg->GetRevisionView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetCounts(), L"检测区 +1 ~1, 定位核 -1");
    auto* changes = window->findChild<QTreeWidget*>("historyChanges");
    ASSERT_EQ(changes->topLevelItemCount(), 3);
    int sheetRows = 0;
    for (int i = 0; i < changes->topLevelItemCount(); ++i)
        sheetRows += changes->topLevelItem(i)->text(0).isEmpty() ? 0 : 1;
    EXPECT_EQ(sheetRows, 3) << "every change lies on a small sheet";
    // The added area is drawn in green where it lies, the moved one in orange: the view differs from a view
    // without the comparison exactly there.
    const cv::Mat compared = m_dlg->GetDisplayBuffer()->GetMat().clone();
    const QString shots = QStringLiteral(ZRK_SCREENSHOT_DIR);
    std::filesystem::create_directories(shots.toStdString());
    m_dlg->grab().save(shots + QStringLiteral("history_compare.png"));
    window->grab().save(shots + QStringLiteral("history_window.png"));
    QTest::mouseClick(window->findChild<QPushButton*>("historyHide"), Qt::LeftButton);
    EXPECT_EQ(m_dlg->GetRevisionView(), nullptr);
    const cv::Mat plain = m_dlg->GetDisplayBuffer()->GetMat();
    cv::Mat differs;
    cv::absdiff(compared, plain, differs);
    EXPECT_GT(cv::countNonZero(differs.reshape(1)), 0);
    // Nothing of the template changed by showing or comparing.
    EXPECT_EQ(Bytes(), lastSaved);
    EXPECT_EQ(Doc().GetJournal().GetStepCount(), steps);

    // Without an operator to answer, nothing is restored.
    m_prompter.m_bHasOperator = false;
    EXPECT_FALSE(m_dlg->RestoreRevision(first));
    EXPECT_EQ(Bytes(), lastSaved);
    m_prompter.m_bHasOperator = true;
    // "No" keeps the template; "yes" takes the version back as one step.
    m_prompter.m_answers.push_back(IDNO);
    ASSERT_TRUE(window->Choose(first));
    QTest::mouseClick(window->findChild<QPushButton*>("historyRestore"), Qt::LeftButton);
    EXPECT_EQ(Bytes(), lastSaved);
    m_prompter.m_answers.push_back(IDYES);
    QTest::mouseClick(window->findChild<QPushButton*>("historyRestore"), Qt::LeftButton);
    // The restored template holds the version's items; what is stored beside them (the small sheet shown)
    // may differ, so the items are compared.
    std::vector<CItemPrint> now, then;
    PrintModel(*Doc().GetModel(), now);
    CModelInfo firstModel;
    DecodeModel(firstBytes, firstModel);
    PrintModel(firstModel, then);
    std::vector<CItemChange> left;
    CompareModelPrints(then, now, left);
    EXPECT_TRUE(left.empty()) << WideToUtf8(CountChanges(left));
    EXPECT_EQ(Doc().GetJournal().GetUndoLabel(), L"恢复版本");
    EXPECT_TRUE(Doc().IsModified());
    const std::string restored = Bytes();
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Bytes(), lastSaved);
    ASSERT_TRUE(m_dlg->Redo());
    EXPECT_EQ(Bytes(), restored);

    // Saved, the restored version is a new revision; the old ones stay as they were and the chain holds.
    const std::vector<CModelRevision> old = Revisions();
    std::vector<std::string> oldBytes;
    for (const CModelRevision& r : old)
        oldBytes.push_back(RevisionBytes(r.m_nNumber));
    ASSERT_TRUE(m_dlg->Save());
    const std::vector<CModelRevision> after = Revisions();
    ASSERT_EQ(after.size(), old.size() + 1);
    EXPECT_EQ(after.back().m_strSummary.rfind(L"恢复版本; ", 0), 0u) << WideToUtf8(after.back().m_strSummary);
    for (size_t i = 0; i < old.size(); ++i)
        EXPECT_EQ(RevisionBytes(old[i].m_nNumber), oldBytes[i]);
    CTemplateStore store;
    ASSERT_TRUE(store.Open(GetTemplateStorePath()));
    std::vector<CRevisionFault> faults;
    ASSERT_TRUE(store.CheckRevisionChain(m_nModelID, faults));
    EXPECT_TRUE(faults.empty());
}

TEST(SaveSummaryText, TranslatedEntryByEntryWithCountsKept) {
    // Without a language pack the source language stands; the splitting keeps every separator and count.
    EXPECT_EQ(TranslateSaveSummary(L"增加检测区 ×3, 移动; 检测区 +3 -1 ~5, 定位核 -1"),
              L"增加检测区 ×3, 移动; 检测区 +3 -1 ~5, 定位核 -1");
    EXPECT_EQ(TranslateSaveSummary(L""), L"");
    EXPECT_EQ(TranslateSaveSummary(L"恢复版本"), L"恢复版本");
}

TEST_F(HistoryEditorTest, VersionsSavedUnderScriptsThatChangedSinceStillOpenCompareAndRestore) {
    CPhaseMaskArea* area = AddArea(100);
    ASSERT_TRUE(m_dlg->Save());
    const int64_t first = Revisions().back().m_nNumber;
    const std::string firstRevision = RevisionBytes(first);
    Move(area, 30);
    ASSERT_TRUE(m_dlg->Save());
    const std::string lastSaved = Bytes();

    // The deployment's parameter scripts rewritten with other parameters, and one removed.
    const std::filesystem::path plugIns = m_deploy.Dir().Path() / "PlugIns";
    m_deploy.Dir().WriteBytes("PlugIns/KernelPara.ini", "[另一个参数]\r\nDefaultValue=3\r\nValue=3\r\n[END]\r\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(plugIns))
        if (entry.is_regular_file() && entry.path().extension() == ".txt")
            std::filesystem::remove(entry.path());

    m_dlg->OpenHistory();
    CDlgModelHistory* window = m_dlg->GetHistoryWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->Choose(first));
    QTest::mouseClick(window->findChild<QPushButton*>("historyShow"), Qt::LeftButton);
    ASSERT_NE(m_dlg->GetRevisionView(), nullptr);
    QTest::mouseClick(window->findChild<QPushButton*>("historyCompare"), Qt::LeftButton);
    ASSERT_NE(m_dlg->GetRevisionView(), nullptr);
    EXPECT_EQ(m_dlg->GetRevisionView()->GetCounts(), L"检测区 ~1");
    EXPECT_EQ(Bytes(), lastSaved);

    m_prompter.m_answers.push_back(IDYES);
    QTest::mouseClick(window->findChild<QPushButton*>("historyRestore"), Qt::LeftButton);
    EXPECT_EQ(Doc().GetJournal().GetUndoLabel(), L"恢复版本");
    std::vector<CItemPrint> now, then;
    PrintModel(*Doc().GetModel(), now);
    CModelInfo firstModel;
    DecodeModel(firstRevision, firstModel);
    PrintModel(firstModel, then);
    std::vector<CItemChange> left;
    CompareModelPrints(then, now, left);
    EXPECT_TRUE(left.empty()) << WideToUtf8(CountChanges(left));
    // The phase's parameters come back as saved, not as the scripts of today would make them.
    auto phaseOf = [](CModelInfo& model) {
        return model.m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0)->m_phases.GetAtAs<CPhase>(0);
    };
    EXPECT_EQ(phaseOf(*Doc().GetModel())->m_strParameters, phaseOf(firstModel)->m_strParameters);
    ASSERT_TRUE(m_dlg->Undo());
    EXPECT_EQ(Bytes(), lastSaved);
}
