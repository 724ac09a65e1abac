#include "dialogs/DlgDownAreaPara.h"

#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDlgDownAreaPara::CDlgDownAreaPara(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DlgDownAreaPara"));
    m_pPath = new QLabel(this);
    m_pPath->setObjectName(QStringLiteral("path"));
    auto* label = new QLabel(QString::fromStdWString(Translate(L"请输入文件名:", 0)), this);
    m_pFileName = new QLineEdit(this);
    m_pFileName->setObjectName(QStringLiteral("fileName"));
    m_pFileName->setMinimumWidth(260);
    auto* ok = new QPushButton(QString::fromStdWString(Translate(L"确定", 0)), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CDlgDownAreaPara::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPath);
    layout->addWidget(label);
    layout->addWidget(m_pFileName);
    layout->addLayout(buttons);
}

int CDlgDownAreaPara::DoModal() {
    return RunModal(*this);
}

void CDlgDownAreaPara::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(QString::fromStdWString(Translate(L"导出检测区到ini文件", 0)));
        m_pPath->setText(QString::fromStdWString(Translate(L"路径:", 0) + m_strPath));
        m_pFileName->setText(QString::fromStdWString(m_strFileName));
        m_pFileName->setFocus();
    }
    QDialog::showEvent(event);
}

void CDlgDownAreaPara::accept() {
    const QString name = m_pFileName->text();
    if (name.isEmpty()) {
        ZrkMessageBox(Translate(L"文件名不能为空!", 0));
        return;
    }
    // The name is joined to the export folder: one that names another folder would write outside it.
    if (name.contains(u'/') || name == QStringLiteral(".") || name == QStringLiteral("..")) {
        ZrkMessageBox(Translate(L"文件名不能包含路径!", 0));
        return;
    }
    m_strFileName = name.toStdWString();
    QDialog::accept();
}
