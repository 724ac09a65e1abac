#include "host/ZRKProManager.h"

#include "datastruct/ModelInfo.h"
#include "view/MyImageWnd.h"
#include "host/AppProfile.h"
#include "host/ModuleState.h"

CZRKProManager* CZRKProManager::m_pZRKProManager = nullptr;

CZRKProManager::~CZRKProManager() {
    CModuleStateGuard guard;
    if (m_pDlg && m_pDlg->HasWindow()) {
        m_pDlg->DestroyWindow();
        delete m_pDlg;
        m_pDlg = nullptr;
    }
}

CZRKProManager* CZRKProManager::GetZRKProManagerPtr() {
    CModuleStateGuard guard;
    if (!m_pZRKProManager)
        m_pZRKProManager = new CZRKProManager;
    return m_pZRKProManager;
}

CZRKDlg* CZRKProManager::EnsureDialog() {
    if (m_pDlg && m_pDlg->HasWindow())
        return m_pDlg;
    delete m_pDlg;  // a dialog whose window was destroyed is replaced, not reused
    m_pDlg = new CZRKDlg;
    m_pDlg->Create();
    return m_pDlg;
}

void CZRKProManager::RestoreLastSelection(int modelID) {
    if (GetProfileInt(L"ZRKDll", L"PreModeID", -2) != modelID)
        return;
    m_pDlg->SelectByNames(GetProfileString(L"ZRKDll", L"PreInspType"), GetProfileString(L"ZRKDll", L"PreSide"),
                          GetProfileString(L"ZRKDll", L"PrePhase"));
}

void CZRKProManager::Repaint() {
    if (CMyImageWnd* imageWnd = m_pDlg->GetImageWnd())
        imageWnd->Invalidate();
    m_pDlg->update();
}

QDialog* CZRKProManager::GetZRKDialog(QWidget*) {
    CModuleStateGuard guard;
    return EnsureDialog();
}

QDialog* CZRKProManager::SetActiveModel(int modelID, QWidget*) {
    CModuleStateGuard guard;
    EnsureDialog();
    bool activated = m_pDlg->ActivateByID(modelID);
    if (activated)
        RestoreLastSelection(modelID);
    Repaint();
    return activated ? m_pDlg : nullptr;
}

QDialog* CZRKProManager::SetActiveModel(CSysPara* sysPara, CModelInfo* model, QWidget*) {
    CModuleStateGuard guard;
    EnsureDialog();
    if (!model) {
        Repaint();
        return m_pDlg;  // refused: there is no model to switch to, and the host expects the dialog
    }
    bool activated = m_pDlg->ActivateByHost(sysPara, model);
    if (activated)
        RestoreLastSelection(model->m_nID);
    Repaint();
    return activated ? m_pDlg : nullptr;
}

QDialog* CZRKProManager::SetActiveInspItem(const std::wstring& type, const std::wstring& side,
                                           const std::wstring& phase) {
    CModuleStateGuard guard;
    if (!m_pDlg)
        return nullptr;
    m_pDlg->SelectByNames(type, side, phase);
    Repaint();
    return m_pDlg;
}

QDialog* CZRKProManager::SetActiveInspItem(int modelID, const std::wstring& type, const std::wstring& side,
                                           const std::wstring& phase, QWidget*) {
    CModuleStateGuard guard;
    if (!m_pDlg || !m_pDlg->HasWindow()) {
        EnsureDialog();
        m_pDlg->ActivateByID(modelID);
    }
    m_pDlg->SelectByNames(type, side, phase);
    Repaint();
    return m_pDlg;
}

bool CZRKProManager::RegeditCallback(PFN_HOST_MODEL newModel, PFN_HOST_MODEL openModel, PFN_HOST_MODEL copyModel,
                                     PFN_MODEL_LOADED modelLoaded) {
    if (!newModel || !openModel || !copyModel)
        return false;
    CModuleStateGuard guard;
    EnsureDialog();  // registering before any dialog exists must not lose the callbacks
    m_pDlg->SetCallbacks(newModel, openModel, copyModel, modelLoaded);
    return true;
}
