#include "HostWindow.h"

#include "DlgChooseModel.h"
#include "HostCatalogue.h"

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

void ShowStoreFailure(const std::wstring& error) {
    ZrkMessageBox(Translate(L"模板库操作失败:", 0) + error, Translate(L"提示", 0), MB_OK | MB_ICONWARNING);
}

// Runs the catalogue dialog; the identifier it leads to, -1 when cancelled or refused. A store whose
// catalogue cannot be read is told as such, never offered as an empty one.
int RunCatalogueDialog(CDlgChooseModel::Mode mode) {
    std::vector<CModelCatalogEntry> catalogue;
    if (std::wstring error; !CHostWindow::ReadCatalogue(catalogue, error)) {
        ShowStoreFailure(error);
        return -1;
    }
    CDlgChooseModel dialog(mode, catalogue, QApplication::activeWindow());
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
        ShowStoreFailure(error);
    return id;
}
} // namespace

bool CHostWindow::ReadCatalogue(std::vector<CModelCatalogEntry>& catalogue, std::wstring& error) {
    CSysPara sysPara;
    bool read = sysPara.Load();
    error = sysPara.GetLastError();
    catalogue = read ? sysPara.GetCatalogue() : std::vector<CModelCatalogEntry>();
    if (!read && error.empty())
        error = Translate(L"模板库无法读取", 0);
    return read;
}

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
        if (m_nCurrentModel >= 1)
            ShowEditorOn(m_nCurrentModel);
        else
            StartEditor();  // says why when the store is empty or cannot be read
    });
    menu->addSeparator();
    menu->addAction(Tr(L"退出"), qApp, &QApplication::quit);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_pLoaded = new QLabel(central);
    layout->addWidget(m_pLoaded);
    m_pCatalogue = new CHostCatalogue(central);
    layout->addWidget(m_pCatalogue);
    connect(m_pCatalogue, &CHostCatalogue::modelChosen, this, [this](int id) { ShowEditorOn(id); });
    connect(m_pCatalogue, &CHostCatalogue::catalogueChanged, this, [this] { ShowWhetherCurrentModelExists(); });
    m_pCatalogue->RefreshOnActivationOf(this);
    m_pCatalogue->StartWatching();
    setCentralWidget(central);
    SetLoadedName(L"");
    resize(480, 360);
}

CHostWindow::~CHostWindow() {
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

void CHostWindow::SetLoadedName(const std::wstring& name) {
    m_strLoaded = name;
    m_pLoaded->setText(Tr(L"当前模板:") + ' ' + QString::fromStdWString(name));
    ShowWhetherCurrentModelExists();
}

void CHostWindow::ShowWhetherCurrentModelExists() {
    QString text = Tr(L"当前模板:") + ' ' + QString::fromStdWString(m_strLoaded);
    if (m_nCurrentModel >= 1 && m_pCatalogue->WasRead() && !m_pCatalogue->Shows(m_nCurrentModel))
        text += ' ' + Tr(L"(已被其他工位删除; 编辑器中的修改仍在, 保存前请确认)");
    m_pLoaded->setText(text);
}

int CHostWindow::ChooseStartModel(std::wstring* error) {
    std::vector<CModelCatalogEntry> catalogue;
    std::wstring failure;
    bool read = ReadCatalogue(catalogue, failure);
    if (error)
        *error = failure;
    if (!read)
        return -1;
    int last = GetProfileInt(L"ZRKDll", L"PreModeID", -2);
    for (const CModelCatalogEntry& entry : catalogue)
        if (entry.m_nID == last)
            return last;
    return catalogue.empty() ? -1 : catalogue.front().m_nID;
}

bool CHostWindow::ShowEditorOn(int modelID) {
    QDialog* editor = m_pManager->SetActiveModel(modelID);
    CZRKDlg* dlg = m_pManager->GetDialog();
    if (editor) {
        m_nCurrentModel = modelID;
        m_pCatalogue->Refresh();  // a model this station just created or copied
        m_pCatalogue->SelectID(modelID);
        if (dlg && dlg->GetDocument().GetModel())
            SetLoadedName(dlg->GetDocument().GetModel()->GetName());
    }
    // Not switched: the model shown before (with the edits its failed save kept) stays current and in front,
    // so that the operator can save it again; the editor has already said why.
    if (dlg && dlg->GetDocument().GetModel()) {
        dlg->show();
        dlg->raise();
    }
    return editor != nullptr;
}

CZRKDlg* CHostWindow::GetEditor() const {
    return m_pManager ? m_pManager->GetDialog() : nullptr;
}

bool CHostWindow::StartEditor(int modelID) {
    m_pManager->GetZRKDialog();
    m_pManager->RegeditCallback(&CHostWindow::OnNewModel, &CHostWindow::OnOpenModel, &CHostWindow::OnCopyModel,
                                &CHostWindow::OnModelLoaded);
    std::wstring error;
    int id = ChooseStartModel(&error);
    if (modelID >= 1 && error.empty())
        id = modelID;
    if (!error.empty()) {
        ShowStoreFailure(error);  // a store that cannot be read is not an empty one
        return false;
    }
    if (id < 1) {
        ZrkMessageBox(Translate(L"模板库中没有模板,请新建一个模板。", 0), Translate(L"提示", 0),
                      MB_OK | MB_ICONINFORMATION);
        return false;
    }
    return ShowEditorOn(id);
}

bool CHostWindow::Screenshot(const QString& file) {
    // Nobody can answer offscreen: messages go to standard error with the declining answers of the
    // fallback prompter, and a modal dialog is cancelled at once instead of waiting forever.
    SetPrompter(nullptr);
    ScopedModalHandler cancel(
        [](QDialog& dialog) {
            dialog.reject();
            return static_cast<int>(QDialog::Rejected);
        },
        ScopedModalHandler::Optional);
    CZRKDlg* dlg = static_cast<CZRKDlg*>(m_pManager->GetZRKDialog());
    dlg->resize(1400, 900);  // the offscreen screen is small; a desktop-sized editor shows more
    if (!StartEditor())
        return false;
    QApplication::processEvents();
    QPixmap shot = dlg->grab();
    if (dlg->GetSheetChooser() && dlg->GetSheetChooser()->isVisible()) {
        // The chooser is a window of its own on the editor's bottom edge: paint it where it stands.
        QPainter painter(&shot);
        QPoint at = dlg->mapFromGlobal(dlg->GetSheetChooser()->geometry().topLeft());  // its client area
        painter.drawPixmap(at, dlg->GetSheetChooser()->grab());
    }
    return shot.save(file, "PNG");
}

int CHostWindow::OnNewModel() { return RunCatalogueDialog(CDlgChooseModel::Mode::New); }
int CHostWindow::OnOpenModel() { return RunCatalogueDialog(CDlgChooseModel::Mode::Open); }
int CHostWindow::OnCopyModel() { return RunCatalogueDialog(CDlgChooseModel::Mode::Copy); }

int CHostWindow::OnModelLoaded(std::wstring name) {
    if (!s_pInstance)
        return 0;
    // The editor may have switched to another template by itself (a save as a copy): follow it.
    const CZRKDlg* dlg = s_pInstance->m_pManager->GetDialog();
    if (dlg && dlg->GetDocument().GetModel() && dlg->GetDocument().GetModel()->m_nID != s_pInstance->m_nCurrentModel) {
        s_pInstance->m_nCurrentModel = dlg->GetDocument().GetModel()->m_nID;
        s_pInstance->m_pCatalogue->Refresh();
        s_pInstance->m_pCatalogue->SelectID(s_pInstance->m_nCurrentModel);
    }
    s_pInstance->SetLoadedName(name);
    return 0;
}
