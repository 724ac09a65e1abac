// Kernels proposed on the view and accepted by the operator, and the template check's window, in the editor
// on the test deployment's sample template (a sheet of 3 x 2 small sheets, each with one solid print block).

#include "EditorDeployment.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgKernelPara.h"
#include "editor/DlgTemplateCheck.h"
#include "dialogs/KernelProposalPanel.h"
#include "dialogs/ModalRunner.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/TemplateCheck.h"
#include "editor/ZRKDlg.h"
#include "geometry/ImgBuffer.h"
#include "support/RecordingPrompter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

class EditorAssistTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearProfile();
        m_nModelID = m_deploy.AddSampleModel();
        m_dlg.Create();
        m_dlg.resize(1200, 800);
        m_dlg.show();
        ASSERT_TRUE(m_dlg.ActivateByID(m_nModelID));
        ASSERT_TRUE(m_dlg.SelectByNames(L"缺陷检测", L"正面", L"第一印次"));
        ASSERT_NE(m_dlg.GetSourceImage(), nullptr);
    }
    CRefImage* Ref() const { return m_dlg.GetDocument().GetRefImage(); }
    int KernelCount() const { return Ref()->m_kernels.GetSize(); }
    /// Proposes and waits for the proposals.
    void Propose() {
        ASSERT_TRUE(m_dlg.ProposeKernels());
        ASSERT_TRUE(m_dlg.WaitForAssist(60000));
        ASSERT_FALSE(m_dlg.GetKernelProposalPanel()->IsBusy());
    }
    /// Answers the kernel dialog: OK after setting nothing, or cancel; counts the dialogs.
    ModalHandler KernelDialog(bool ok) {
        return [this, ok](QDialog& dialog) {
            m_dialogs.push_back(dialog.metaObject()->className());
            if (!ok) {
                dialog.reject();
                return int(QDialog::Rejected);
            }
            dialog.findChild<QPushButton*>("1")->click();
            return dialog.result();
        };
    }
    bool Magenta(int x, int y) const {
        const cv::Mat& m = m_dlg.GetDisplayBuffer()->GetMat();
        const cv::Vec3b p = m.at<cv::Vec3b>(y, x);
        return p[0] == 255 && p[1] == 0 && p[2] == 255;
    }

    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    int m_nModelID = 0;
    CZRKDlg m_dlg;
    std::vector<std::string> m_dialogs;
};

TEST_F(EditorAssistTest, ProposalsAreDrawnDashedOnTheirSheetAndChangeNothingUntilAccepted) {
    const int before = KernelCount();
    const std::string bytes = EncodeModel(*m_dlg.GetDocument().GetModel());
    Propose();
    const std::vector<CRect> rects = m_dlg.GetKernelProposalRects();
    ASSERT_GE(rects.size(), 2u);
    EXPECT_EQ(m_dlg.GetKernelProposalPanel()->GetRowCount(), static_cast<int>(rects.size()));
    EXPECT_TRUE(m_dlg.GetKernelProposalPanel()->isVisible());
    const CRect sheet = Ref()->GetSheetRect(Ref()->m_nCurCol, Ref()->m_nCurRow);
    for (const CRect& r : rects) {
        CRect inside;
        EXPECT_TRUE(inside.IntersectRect(r, sheet) && inside == r);
        // The top-left corner is drawn (the dash starts there), in sheet coordinates.
        EXPECT_TRUE(Magenta(r.left - sheet.left, r.top - sheet.top));
    }
    EXPECT_EQ(KernelCount(), before);
    EXPECT_EQ(EncodeModel(*m_dlg.GetDocument().GetModel()), bytes);
    EXPECT_FALSE(m_dlg.GetDocument().GetJournal().CanUndo());

    // On another sheet they are not drawn; rejecting removes them from the view.
    m_dlg.ApplySmallSheet(1, 0, false);
    const CRect other = Ref()->GetSheetRect(1, 0);
    EXPECT_FALSE(Magenta(rects[0].left - sheet.left, rects[0].top - sheet.top) &&
                 Magenta(rects[0].left - other.left, rects[0].top - other.top));
    m_dlg.ApplySmallSheet(0, 0, false);
    m_dlg.GetKernelProposalPanel()->findChild<QPushButton*>("kernelReject")->click();
    EXPECT_TRUE(m_dlg.GetKernelProposalRects().empty());
    EXPECT_FALSE(m_dlg.GetKernelProposalPanel()->isVisible());
    EXPECT_FALSE(Magenta(rects[0].left - sheet.left, rects[0].top - sheet.top));
}

TEST_F(EditorAssistTest, AcceptingTicksMakesKernelsThroughOneDialogInOneStepThatUndoTakesBack) {
    const int before = KernelCount();
    Propose();
    const std::vector<CRect> rects = m_dlg.GetKernelProposalRects();
    ASSERT_GE(rects.size(), 2u);
    CKernelProposalPanel* panel = m_dlg.GetKernelProposalPanel();
    for (int row = 2; row < panel->GetRowCount(); ++row)
        panel->SetChecked(row, false);
    {
        ScopedModalHandler handler(KernelDialog(true));
        panel->findChild<QPushButton*>("kernelAcceptChecked")->click();
    }
    EXPECT_EQ(m_dialogs, std::vector<std::string>{"CDlgKernelPara"});  // once for the whole acceptance
    ASSERT_EQ(KernelCount(), before + 2);
    auto* first = Ref()->m_kernels.GetAtAs<CKernel>(before);
    auto* second = Ref()->m_kernels.GetAtAs<CKernel>(before + 1);
    EXPECT_EQ(first->GetRect(), rects[0]);  // whole-image coordinates, as drawn kernels
    EXPECT_EQ(second->GetRect(), rects[1]);
    EXPECT_EQ(first->m_nPhaseID, m_dlg.GetCurPhase()->m_nID);
    EXPECT_EQ(first->m_nSheetCol, 0);
    EXPECT_NE(first->m_nID, second->m_nID);
    EXPECT_EQ(first->m_strParameters, second->m_strParameters);
    EXPECT_TRUE(m_dlg.GetDocument().IsModified());
    // The accepted ones are no longer proposed; the rest stay on offer.
    EXPECT_EQ(m_dlg.GetKernelProposalRects().size(), rects.size() - 2);

    EXPECT_EQ(m_dlg.GetDocument().GetJournal().GetUndoLabel(), L"接受推荐定位核");
    ASSERT_TRUE(m_dlg.Undo());
    EXPECT_EQ(m_dlg.GetDocument().GetRefImage()->m_kernels.GetSize(), before);
    EXPECT_FALSE(m_dlg.GetDocument().GetJournal().CanUndo());
    ASSERT_TRUE(m_dlg.Redo());
    EXPECT_EQ(m_dlg.GetDocument().GetRefImage()->m_kernels.GetSize(), before + 2);
}

TEST_F(EditorAssistTest, CancellingTheKernelDialogAbandonsTheWholeAcceptance) {
    const int before = KernelCount();
    Propose();
    const size_t offered = m_dlg.GetKernelProposalRects().size();
    {
        ScopedModalHandler handler(KernelDialog(false));
        m_dlg.GetKernelProposalPanel()->findChild<QPushButton*>("kernelAcceptAll")->click();
    }
    EXPECT_EQ(KernelCount(), before);
    EXPECT_FALSE(m_dlg.GetDocument().GetJournal().CanUndo());
    EXPECT_EQ(m_dlg.GetKernelProposalRects().size(), offered);
    // Proposals of another sheet are not accepted on this one.
    m_dlg.ApplySmallSheet(2, 1, false);
    EXPECT_EQ(m_dlg.AcceptKernelProposals({0}), 0);
    EXPECT_EQ(KernelCount(), before);
    ASSERT_EQ(m_prompter.Texts().size(), 1u);
    EXPECT_EQ(m_prompter.Texts()[0], L"推荐的定位核属于另一个分层或小张, 请重新推荐!");
}

TEST_F(EditorAssistTest, TheCommandsSitInTheTreeMenuOfTheTemplateAndOfAPhase) {
    std::unique_ptr<QMenu> menu = m_dlg.BuildTreeMenu();
    auto has = [&](int depth, const QString& text) {
        for (QAction* action : menu->actions().at(depth)->menu()->actions())
            if (action->text() == text)
                return true;
        return false;
    };
    EXPECT_TRUE(has(0, QStringLiteral("模板检查")));
    EXPECT_TRUE(has(3, QStringLiteral("推荐定位核")));
    EXPECT_FALSE(has(3, QStringLiteral("模板检查")));
}

TEST_F(EditorAssistTest, TheCheckListsWhatWillGoWrongAndAClickShowsTheItemOnItsSheet) {
    m_dlg.SelectByNames(L"尺寸定位", L"正面", L"第一印次");  // the check starts from anywhere
    ASSERT_TRUE(m_dlg.OnCommand(zrkid::ID_TEMPLATE_CHECK));
    ASSERT_TRUE(m_dlg.WaitForAssist(60000));
    CDlgTemplateCheck* window = m_dlg.GetTemplateCheckWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    const CTemplateCheckReport& report = window->GetReport();
    auto* list = window->findChild<QTreeWidget*>("checkList");
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(report.m_findings.size()));
    // The sample's faults: the back side's camera file is missing; kernel 2 lies on plain paper.
    int flat = -1;
    for (int i = 0; i < static_cast<int>(report.m_findings.size()); ++i)
        if (report.m_findings[i].m_strCode == "kernel-flat" && report.m_findings[i].m_item.m_nItemID == 2)
            flat = i;
    ASSERT_GE(flat, 0);
    EXPECT_NE(window->GetText().indexOf(QStringLiteral("missing.bmp")), -1);
    EXPECT_EQ(list->topLevelItem(flat)->text(0), QStringLiteral("错误"));

    // A click on the kernel's line: its phase, its sheet (2, 1), the kernel selected.
    list->setCurrentItem(list->topLevelItem(flat));
    emit list->itemClicked(list->topLevelItem(flat), 0);
    EXPECT_EQ(m_dlg.GetCurType()->m_strName, L"缺陷检测");
    EXPECT_EQ(Ref()->m_nCurCol, 2);
    EXPECT_EQ(Ref()->m_nCurRow, 1);
    auto* kernel = Ref()->m_kernels.FindByIDAs<CKernel>(2);
    EXPECT_TRUE(kernel->IsSelected());
    EXPECT_EQ(m_dlg.GetDocument().GetSelShape(), kernel);

    window->findChild<QPushButton*>("checkCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), window->GetText());
    // The check changed nothing.
    EXPECT_FALSE(m_dlg.GetDocument().GetJournal().CanUndo());
}

} // namespace
