#pragma once
/// Private to the editor window (ZRKDlg.cpp, ZRKDlg_Assist.cpp): the state of the kernel proposals shown on the
/// view and of the template check. It holds identifiers only, never pointers into the template, so undo,
/// redo and a new activation cannot leave it dangling.

#include "assist/AreaProposals.h"
#include "editor/KernelRating.h"
#include "editor/TemplateCheck.h"

#include <memory>

class CBackgroundWork;
class CDlgTemplateCheck;
class CAreaProposalPanel;
class CKernelProposalPanel;

struct CEditorAssist {
    CKernelProposalPanel* m_pPanel = nullptr;   ///< child of the window, over the bottom of the view
    CBackgroundWork* m_pKernelWork = nullptr;
    CBackgroundWork* m_pCheckWork = nullptr;
    CDlgTemplateCheck* m_pCheck = nullptr;      ///< made at the first check

    /// The proposals shown and where they belong: reference image, phase and small sheet.
    CKernelSuggestions m_proposals;
    bool m_bShown = false;
    int m_nRefID = -1, m_nPhaseID = -1, m_nCol = -1, m_nRow = -1;
    std::shared_ptr<CKernelSuggestions> m_pPending;       ///< filled by the analysis's thread
    std::shared_ptr<CTemplateCheckReport> m_pPendingCheck;

    /// The area proposal shown and where it belongs: reference image, side, small sheet, and the side's
    /// phases (print passes) in tree order when it was made; the phases that took areas at the acceptance.
    CAreaProposalPanel* m_pAreaPanel = nullptr;
    CBackgroundWork* m_pAreaWork = nullptr;
    std::shared_ptr<CAreaProposal> m_pAreas;
    std::shared_ptr<CAreaProposal> m_pPendingAreas;
    bool m_bAreasShown = false;
    int m_nAreaRefID = -1, m_nAreaSideID = -1, m_nAreaCol = -1, m_nAreaRow = -1;
    std::vector<int> m_areaPhases;
    std::vector<int> m_acceptedPhases;
    bool m_bAcceptedShields = false;
};
