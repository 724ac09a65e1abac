#include "DlgChooseModel.h"

#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Tr(const wchar_t* text) { return QString::fromStdWString(Translate(text, 0)); }
}

CDlgChooseModel::CDlgChooseModel(Mode mode, const std::vector<CModelCatalogEntry>& catalogue, QWidget* parent)
    : QDialog(parent), m_mode(mode), m_catalogue(catalogue) {
    setWindowTitle(mode == Mode::New ? Tr(L"新建模板") : mode == Mode::Open ? Tr(L"打开模板") : Tr(L"复制模板"));
    auto* layout = new QVBoxLayout(this);
    if (mode != Mode::New) {
        layout->addWidget(new QLabel(Tr(L"模板库:"), this));
        m_pList = new QListWidget(this);
        for (const CModelCatalogEntry& entry : m_catalogue)
            m_pList->addItem(QString::fromStdWString(Format(L"%d %s", entry.m_nID, entry.m_strName)));
        if (m_pList->count() > 0)
            m_pList->setCurrentRow(0);
        connect(m_pList, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
        layout->addWidget(m_pList);
    }
    if (mode != Mode::Open) {
        auto* form = new QFormLayout;
        m_pName = new QLineEdit(this);
        m_pTitle = new QLineEdit(this);
        form->addRow(Tr(L"名称:"), m_pName);
        form->addRow(Tr(L"标题:"), m_pTitle);
        layout->addLayout(form);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Tr(L"确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tr(L"取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgChooseModel::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgChooseModel::reject);
    layout->addWidget(buttons);
    resize(360, mode == Mode::New ? 140 : 320);
}

int CDlgChooseModel::GetChosenID() const {
    if (!m_pList)
        return -1;
    int row = m_pList->currentRow();
    return row >= 0 && row < static_cast<int>(m_catalogue.size()) ? m_catalogue[row].m_nID : -1;
}

std::wstring CDlgChooseModel::GetName() const { return m_pName ? m_pName->text().trimmed().toStdWString() : L""; }

std::wstring CDlgChooseModel::GetTitle() const {
    std::wstring title = m_pTitle ? m_pTitle->text().trimmed().toStdWString() : L"";
    return title.empty() ? GetName() : title;
}

void CDlgChooseModel::accept() {
    if (m_mode != Mode::New && GetChosenID() < 1) {
        ZrkMessageBox(Translate(L"请选择一个模板!", 0), Translate(L"提示", 0), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (m_mode != Mode::Open && GetName().empty()) {
        ZrkMessageBox(Translate(L"模板名称不能为空!", 0), Translate(L"提示", 0), MB_OK | MB_ICONINFORMATION);
        return;
    }
    QDialog::accept();
}
