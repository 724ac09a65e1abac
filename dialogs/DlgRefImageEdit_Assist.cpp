// The reference-image manager: the assisted set-up. "自动拼接" and "自动分区" start an analysis of the selected
// reference image; its proposal is drawn over the image and described in the bar under it, and only "接受"
// changes the template, through the same lists the buttons of the manager edit.

#include "dialogs/DlgRefImageEdit.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "dialogs/ProposalBar.h"
#include "dialogs/RefImageAssist.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"
#include "view/ImgWnd.h"

#include <QTreeWidget>

#include <memory>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

} // namespace

void CDlgRefImageEdit::OnCamAuto() {
    ComposePending(); // the analyses read the composed image
    if (m_pAssist->IsRunning() || !NeedRefImage())
        return;  // the bar says an analysis is running
    std::wstring why;
    RejectProposal();
    if (!m_pAssist->StartCameras(*m_pRef, why)) {
        ZrkMessageBox(why, L"", MB_OK | MB_ICONWARNING);
        return;
    }
    setCursor(Qt::BusyCursor);
    m_pProposalBar->ShowBusy(Tr(L"正在根据相机重叠区计算相机位置..."));
    Layout();
}

void CDlgRefImageEdit::OnSplitAuto() {
    ComposePending();
    if (m_pAssist->IsRunning() || !NeedRefImage())
        return;
    if (m_pRef->m_cameras.GetSize() == 0) {
        ZrkMessageBox(Translate(L"请先设置相机图!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    std::wstring why;
    RejectProposal();
    if (!m_pAssist->StartSplit(*m_pRef, why)) {
        ZrkMessageBox(why, L"", MB_OK | MB_ICONWARNING);
        return;
    }
    setCursor(Qt::BusyCursor);
    m_pProposalBar->ShowBusy(Tr(L"正在根据小张的重复计算分区方案..."));
    Layout();
}

void CDlgRefImageEdit::OnAssistFinished() {
    unsetCursor();
    const CRefImageProposal& proposal = m_pAssist->GetProposal();
    if (!m_pRef || proposal.m_nRefID != m_pRef->m_nID) {
        m_pAssist->ClearProposal();  // made for a reference image no longer shown
        m_pProposalBar->Clear();
        Layout();
        return;
    }
    int doubts = 0;
    const QStringList warnings = proposal.WarningLines(doubts);
    m_pProposalBar->ShowProposal(proposal.Describe(), proposal.m_dScore, warnings, doubts, proposal.IsUsable());
    m_bProposalShown = true;
    Layout();
    if (m_pImageWnd)
        m_pImageWnd->update();
}

std::vector<CRect> CDlgRefImageEdit::GetProposalOverlay() const {
    if (!m_bProposalShown || !m_pRef || m_pAssist->GetProposal().m_nRefID != m_pRef->m_nID)
        return {};
    return m_pAssist->GetProposal().GetOverlay();
}

void CDlgRefImageEdit::AcceptProposal() {
    if (!m_bProposalShown || !m_pRef)
        return;
    const CRefImageProposal proposal = m_pAssist->GetProposal();
    RejectProposal();  // the bar and the dashed drawing go; what follows is the template's
    if (!proposal.IsUsable() || proposal.m_nRefID != m_pRef->m_nID)
        return;
    if (proposal.m_kind == CRefImageProposal::Kind::Cameras) {
        bool moved = false;
        for (const CRefImageProposal::Camera& c : proposal.m_cameras) {
            if (auto* camera = m_pRef->m_cameras.FindByIDAs<CCameraRefImage>(c.m_nID)) {
                moved |= camera->m_nX != c.m_nX || camera->m_nY != c.m_nY;
                camera->m_nX = c.m_nX;
                camera->m_nY = c.m_nY;
            }
        }
        if (moved)
            ReloadImage();  // the composed image may change its size
        return;
    }
    auto split = std::make_unique<CSplitAreaPara>();
    split->m_nCols = proposal.m_nCols;
    split->m_nRows = proposal.m_nRows;
    split->m_rcCrop = proposal.m_rcCrop;
    split->m_nExtendX = proposal.m_nExtendX;
    split->m_nExtendY = proposal.m_nExtendY;
    split->m_strRemark = L"自动";
    split->m_nID = m_pRef->m_splits.GetMaxID() + 1;
    const int id = split->m_nID;
    if (!m_pRef->m_splits.Add(split.get()))
        return;
    split.release();
    FillSplitList();
    for (int row = 0; row < m_pSplitList->topLevelItemCount(); ++row)
        if (m_pSplitList->topLevelItem(row)->data(0, Qt::UserRole).toInt() == id)
            SelectSplitRow(row);
}

void CDlgRefImageEdit::RejectProposal() {
    const bool shown = m_bProposalShown || m_pProposalBar->isVisible();
    m_bProposalShown = false;
    if (!m_pAssist->IsRunning())
        m_pAssist->ClearProposal();
    m_pProposalBar->Clear();
    if (shown) {
        Layout();
        if (m_pImageWnd)
            m_pImageWnd->update();
    }
}
