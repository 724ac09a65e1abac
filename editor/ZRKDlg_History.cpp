// The template's history: the window of saved versions, a revision drawn over the view, the comparison of a
// revision with the open template, and a revision taken back as one journal step.

#include "editor/ZRKDlg.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "editor/DlgModelHistory.h"
#include "editor/EditStep.h"
#include "editor/ModelHistory.h"
#include "editor/StoreFailureText.h"
#include "formats/CodePage.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/MaskArea.h"
#include "host/ModuleState.h"
#include "support/Prompter.h"

CDlgModelHistory* CZRKDlg::GetHistoryWindow() const {
    return m_pHistory ? m_pHistory->m_pWindow : nullptr;
}

const CRevisionView* CZRKDlg::GetRevisionView() const {
    if (!m_pHistory || m_pHistory->m_mode == CEditorHistory::Mode::None || !m_doc.GetModel() ||
        m_pHistory->m_nModelID != m_doc.GetModel()->m_nID)
        return nullptr;
    return m_pHistory->m_pView.get();
}

void CZRKDlg::OpenHistory() {
    CModelInfo* model = m_doc.GetModel();
    if (!model)
        return;
    if (!m_pHistory)
        m_pHistory = std::make_unique<CEditorHistory>();
    if (!m_pHistory->m_pWindow) {
        auto* window = new CDlgModelHistory(this);
        m_pHistory->m_pWindow = window;
        connect(window, &CDlgModelHistory::showRequested, this, [this](qint64 number) {
            CModuleSectionGuard section;
            ShowRevisionOnView(number);
        });
        connect(window, &CDlgModelHistory::compareRequested, this, [this](qint64 number) {
            CModuleSectionGuard section;
            CompareRevision(number);
        });
        connect(window, &CDlgModelHistory::restoreRequested, this, [this](qint64 number) {
            CModuleSectionGuard section;
            RestoreRevision(number);
        });
        connect(window, &CDlgModelHistory::hideRequested, this, [this] {
            CModuleSectionGuard section;
            HideRevision();
        });
        connect(window, &QDialog::finished, this, [this] {
            CModuleSectionGuard section;
            HideRevision();
        });
        connect(window, &CDlgModelHistory::changeChosen, this, [this](const CCheckItem& place) {
            CModuleSectionGuard section;
            ShowCheckItem(place);
        });
        // Beside the view's upper right corner: the small sheet shown stays in sight.
        window->move(mapToGlobal(QPoint(std::max(m_rcImage.left, m_rcImage.right - window->width() - 8), m_rcImage.top + 8)));
    }
    if (m_pHistory->m_nModelID != model->m_nID)
        HideRevision();
    m_pHistory->m_nModelID = model->m_nID;
    CDlgModelHistory* window = m_pHistory->m_pWindow;
    window->ShowNote(QString());
    const QString name = QString::fromStdWString(model->m_strName);
    CTemplateStore store;
    std::vector<CModelRevision> revisions;
    const std::wstring& path = model->GetStorePath();
    if (!store.Open(path.empty() ? GetTemplateStorePath() : path) || !store.ListRevisions(model->m_nID, revisions))
        window->ShowFailure(QString::fromStdWString(StoreFailureMessage(Translate(L"无法读取模板的历史版本", 0),
                                                                        store.GetLastFailure(), store.GetLastError())));
    else
        window->ShowRevisions(name, revisions);
    window->show();
    window->raise();
}

bool CZRKDlg::LoadRevisionView(int64_t number) {
    CModelInfo* model = m_doc.GetModel();
    if (!model || !m_pHistory)
        return false;
    CTemplateStore store;
    std::string bytes;
    bool found = false;
    const std::wstring& path = model->GetStorePath();
    if (!store.Open(path.empty() ? GetTemplateStorePath() : path) || !store.LoadRevision(model->m_nID, number, bytes, found)) {
        ZrkMessageBox(StoreFailureMessage(Format(Translate(L"无法读取版本 %d", 0).c_str(), static_cast<int>(number)),
                                          store.GetLastFailure(), store.GetLastError()),
                      m_strTitle, MB_OK | MB_ICONWARNING);
        return false;
    }
    if (!found) {
        ZrkMessageBox(Format(Translate(L"模板没有版本 %d", 0).c_str(), static_cast<int>(number)), m_strTitle,
                      MB_OK | MB_ICONWARNING);
        return false;
    }
    auto view = std::make_unique<CRevisionView>();
    try {
        view->Load(number, bytes);
    } catch (const std::exception& e) {
        ZrkMessageBox(Format(Translate(L"版本 %d 的数据无法读取: %s", 0).c_str(), static_cast<int>(number),
                             Utf8ToWide(e.what()).c_str()),
                      m_strTitle, MB_OK | MB_ICONWARNING);
        return false;
    }
    m_pHistory->m_pView = std::move(view);
    m_pHistory->m_nModelID = model->m_nID;
    return true;
}

bool CZRKDlg::ShowRevisionOnView(int64_t number) {
    if (!LoadRevisionView(number))
        return false;
    m_pHistory->m_mode = CEditorHistory::Mode::Shown;
    if (m_pHistory->m_pWindow)
        m_pHistory->m_pWindow->ShowNote(QString::fromStdWString(
            Format(Translate(L"视图中蓝色线为版本 %d 的检测区、屏蔽区和定位核 (只读)", 0).c_str(), static_cast<int>(number))));
    RedrawOverlays();
    return true;
}

bool CZRKDlg::CompareRevision(int64_t number) {
    if (!LoadRevisionView(number))
        return false;
    m_pHistory->m_mode = CEditorHistory::Mode::Compared;
    try {
        m_doc.FoldOutsideChanges();
    } catch (const std::exception&) {
    }
    m_pHistory->m_pView->Compare(*m_doc.GetModel());
    if (m_pHistory->m_pWindow)
        m_pHistory->m_pWindow->ShowChanges(*m_pHistory->m_pView, *m_doc.GetModel());
    RedrawOverlays();
    return true;
}

void CZRKDlg::HideRevision() {
    if (!m_pHistory || m_pHistory->m_mode == CEditorHistory::Mode::None)
        return;
    m_pHistory->m_mode = CEditorHistory::Mode::None;
    m_pHistory->m_pView.reset();
    if (m_pHistory->m_pWindow)
        m_pHistory->m_pWindow->ShowNote(QString());
    RedrawOverlays();
}

bool CZRKDlg::RestoreRevision(int64_t number) {
    CModelInfo* model = m_doc.GetModel();
    if (!model || !m_pHistory)
        return false;
    // Read and checked before anything changes: a revision that cannot be read leaves the template as it is.
    if (!LoadRevisionView(number))
        return false;
    const std::string bytes = EncodeModel(*m_pHistory->m_pView->GetModel());
    if (!PrompterHasOperator() ||
        ZrkMessageBox(Format(Translate(L"用版本 %d 替换模板现在的内容吗? 这一步可以撤销; 保存后它成为一个新的版本, 旧版本都保留。", 0).c_str(),
                             static_cast<int>(number)),
                      m_strTitle, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    m_pHistory->m_mode = CEditorHistory::Mode::None;
    m_pHistory->m_pView.reset();
    const SelectionIDs where = ForgetBeforeRestore();
    {
        CEditStep step(m_doc, L"恢复版本");
        const std::wstring name = model->m_strName;  // name and title live in the catalogue, not the bytes
        const std::wstring title = model->m_strTitle;
        model->Reset();
        DecodeModel(bytes, *model);  // the program's own encoding of what was just read: it reads back
        model->m_strName = name;
        model->m_strTitle = title;
        m_doc.SetModified(true);
    }
    ShowRestored(where);
    if (m_pHistory->m_pWindow)
        m_pHistory->m_pWindow->ShowNote(QString::fromStdWString(
            Format(Translate(L"已恢复版本 %d (撤销可以取消)", 0).c_str(), static_cast<int>(number))));
    return true;
}
