#include "HostWindow.h"

#include "DlgChooseModel.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "dialogs/DlgSelPos.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "host/AppProfile.h"
#include "host/ZRKProManager.h"
#include "support/Prompter.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

CHostWindow* CHostWindow::s_pInstance = nullptr;

namespace {
QString Tr(const wchar_t* text) { return QString::fromStdWString(Translate(text, 0)); }

std::vector<CModelCatalogEntry> ReadCatalogue() {
    CSysPara sysPara;
    sysPara.Begin();
    sysPara.Load();
    std::vector<CModelCatalogEntry> catalogue = sysPara.GetCatalogue();
    sysPara.End();
    return catalogue;
}

// Runs the catalogue dialog; the identifier it leads to, -1 when cancelled or refused.
int RunCatalogueDialog(CDlgChooseModel::Mode mode) {
    CDlgChooseModel dialog(mode, ReadCatalogue(), QApplication::activeWindow());
    if (RunModal(dialog) != QDialog::Accepted)
        return -1;
    if (mode == CDlgChooseModel::Mode::Open)
        return dialog.GetChosenID();
    CSysPara sysPara;
    sysPara.Begin();
    int id = mode == CDlgChooseModel::Mode::New ? sysPara.CreateModel(dialog.GetName(), dialog.GetTitle())
                                                : sysPara.CopyModel(dialog.GetChosenID(), dialog.GetName(),
                                                                    dialog.GetTitle());
    std::wstring error = sysPara.GetLastError();
    sysPara.End();
    if (id < 1)
        ZrkMessageBox(Translate(L"模板库操作失败:", 0) + error, Translate(L"提示", 0), MB_OK | MB_ICONWARNING);
    return id;
}
} // namespace

CHostWindow::CHostWindow() : m_pManager(CZRKProManager::GetZRKProManagerPtr()) {
    s_pInstance = this;
    setWindowTitle(Tr(L"印刷品检测系统"));
    QMenu* menu = menuBar()->addMenu(Tr(L"模板"));
    menu->addAction(Tr(L"新建"), this, [this] {
        if (int id = OnNewModel(); id >= 1)
            ShowEditorOn(id);
    });
    menu->addAction(Tr(L"打开"), this, [this] {
        if (int id = OnOpenModel(); id >= 1)
            ShowEditorOn(id);
    });
    menu->addAction(Tr(L"复制"), this, [this] {
        if (int id = OnCopyModel(); id >= 1)
            ShowEditorOn(id);
    });
    menu->addSeparator();
    menu->addAction(Tr(L"模板管理"), this, [this] {
        int id = m_nCurrentModel >= 1 ? m_nCurrentModel : ChooseStartModel();
        if (id >= 1)
            ShowEditorOn(id);
    });
    menu->addSeparator();
    menu->addAction(Tr(L"退出"), qApp, &QApplication::quit);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_pLoaded = new QLabel(central);
    layout->addWidget(m_pLoaded);
    layout->addStretch();
    setCentralWidget(central);
    SetLoadedName(L"");
    resize(480, 160);
}

CHostWindow::~CHostWindow() {
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

void CHostWindow::SetLoadedName(const std::wstring& name) {
    m_strLoaded = name;
    m_pLoaded->setText(Tr(L"当前模板:") + ' ' + QString::fromStdWString(name));
}

int CHostWindow::ChooseStartModel() {
    std::vector<CModelCatalogEntry> catalogue = ReadCatalogue();
    int last = GetProfileInt(L"ZRKDll", L"PreModeID", -2);
    for (const CModelCatalogEntry& entry : catalogue)
        if (entry.m_nID == last)
            return last;
    return catalogue.empty() ? -1 : catalogue.front().m_nID;
}

void CHostWindow::ShowEditorOn(int modelID) {
    QDialog* editor = m_pManager->SetActiveModel(modelID);
    m_nCurrentModel = modelID;
    if (CZRKDlg* dlg = m_pManager->GetDialog(); dlg && dlg->m_pModel)
        SetLoadedName(dlg->m_pModel->GetName());
    editor->show();
    editor->raise();
}

bool CHostWindow::StartEditor() {
    m_pManager->GetZRKDialog();
    m_pManager->RegeditCallback(&CHostWindow::OnNewModel, &CHostWindow::OnOpenModel, &CHostWindow::OnCopyModel,
                                &CHostWindow::OnModelLoaded);
    int id = ChooseStartModel();
    if (id < 1) {
        ZrkMessageBox(Translate(L"模板库中没有模板,请新建一个模板。", 0), Translate(L"提示", 0),
                      MB_OK | MB_ICONINFORMATION);
        return false;
    }
    ShowEditorOn(id);
    return true;
}

bool CHostWindow::Screenshot(const QString& file) {
    // Nobody can answer offscreen: messages go to standard error with the declining answers of the
    // fallback prompter, and a modal dialog is cancelled at once instead of waiting forever.
    SetPrompter(nullptr);
    ScopedModalHandler cancel([](QDialog& dialog) {
        dialog.reject();
        return static_cast<int>(QDialog::Rejected);
    });
    CZRKDlg* dlg = static_cast<CZRKDlg*>(m_pManager->GetZRKDialog());
    dlg->resize(1400, 900);  // the offscreen screen is small; a desktop-sized editor shows more
    if (!StartEditor())
        return false;
    QApplication::processEvents();
    QPixmap shot = dlg->grab();
    if (dlg->m_pSelPos && dlg->m_pSelPos->isVisible()) {
        // The chooser is a window of its own on the editor's bottom edge: paint it where it stands.
        QPainter painter(&shot);
        QPoint at = dlg->mapFromGlobal(dlg->m_pSelPos->geometry().topLeft());  // its client area
        painter.drawPixmap(at, dlg->m_pSelPos->grab());
    }
    return shot.save(file, "PNG");
}

int CHostWindow::OnNewModel() { return RunCatalogueDialog(CDlgChooseModel::Mode::New); }
int CHostWindow::OnOpenModel() { return RunCatalogueDialog(CDlgChooseModel::Mode::Open); }
int CHostWindow::OnCopyModel() { return RunCatalogueDialog(CDlgChooseModel::Mode::Copy); }

int CHostWindow::OnModelLoaded(std::wstring name) {
    if (s_pInstance)
        s_pInstance->SetLoadedName(name);
    return 0;
}
