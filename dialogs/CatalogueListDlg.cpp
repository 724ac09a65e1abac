#include "dialogs/CatalogueListDlg.h"

#include "dialogs/ControlHelpers.h"
#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "model/ItemList.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cwchar>

namespace {
QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}
} // namespace

CCatalogueListDlg::CCatalogueListDlg(CItemList& list, const wchar_t* caption, std::vector<Column> columns,
                                     const wchar_t* okText, const ControlNames& names, QWidget* parent)
    : QDialog(parent), m_list(list), m_strCaption(caption), m_arColumns(std::move(columns)), m_strOK(okText) {
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QString::fromLatin1(names.list));
    m_pList->setRootIsDecorated(false);
    m_pList->setItemsExpandable(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setColumnCount(static_cast<int>(m_arColumns.size()));
    int width = 0;
    for (const Column& column : m_arColumns)
        width += column.width;
    m_pList->setMinimumSize(width + 24, 240);

    auto makeButton = [this](const char* name) {
        auto* button = new QPushButton(this);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    m_pAdd = makeButton(names.add);
    m_pEdit = makeButton(names.edit);
    m_pDelete = makeButton(names.remove);
    m_pOK = makeButton(names.ok);
    m_pOK->setDefault(true);
    connect(m_pAdd, &QPushButton::clicked, this, &CCatalogueListDlg::OnAdd);
    connect(m_pEdit, &QPushButton::clicked, this, &CCatalogueListDlg::OnEdit);
    connect(m_pDelete, &QPushButton::clicked, this, &CCatalogueListDlg::OnDelete);
    connect(m_pOK, &QPushButton::clicked, this, &CCatalogueListDlg::accept);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        if (item)
            OnEdit();
    });

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pAdd);
    buttons->addWidget(m_pEdit);
    buttons->addWidget(m_pDelete);
    buttons->addStretch();
    buttons->addWidget(m_pOK);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addLayout(buttons);
}

int CCatalogueListDlg::DoModal() {
    return RunModal(*this);
}

void CCatalogueListDlg::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(Tr(m_strCaption.c_str()));
        QStringList headers;
        for (const Column& column : m_arColumns)
            headers << Tr(column.caption);
        m_pList->setHeaderLabels(headers);
        for (int c = 0; c < static_cast<int>(m_arColumns.size()); ++c)
            m_pList->header()->resizeSection(c, m_arColumns[c].width);
        m_pAdd->setText(Tr(L"添加(&A)"));
        m_pEdit->setText(Tr(L"编辑(&E)"));
        m_pDelete->setText(Tr(L"删除(&D)"));
        m_pOK->setText(Tr(m_strOK.c_str()));
        FillList();
    }
    QDialog::showEvent(event);
}

void CCatalogueListDlg::FillList() {
    m_pList->clear();
    for (int i = 0; i < m_list.GetSize(); ++i) {
        const CIDItem* entry = m_list.GetAt(i);
        if (!entry)
            continue;
        auto* row = new QTreeWidgetItem(m_pList);
        const std::vector<std::wstring> texts = RowTexts(*entry);
        for (int c = 0; c < static_cast<int>(texts.size()); ++c)
            row->setText(c, QString::fromStdWString(texts[c]));
    }
}

int CCatalogueListDlg::GetSelectedID() const {
    const int row = GetFirstSelectedRow(m_pList);
    if (row < 0)
        return -1;
    const QTreeWidgetItem* item = m_pList->topLevelItem(row);
    // The identifier is read back from the row's text, as the row shows it.
    return item ? static_cast<int>(std::wcstol(item->text(0).toStdWString().c_str(), nullptr, 10)) : -1;
}

void CCatalogueListDlg::SelectID(int id) {
    const QString text = QString::number(id);
    for (int row = 0; row < m_pList->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_pList->topLevelItem(row);
        if (item->text(0) == text) {
            m_pList->setCurrentItem(item);
            m_pList->scrollToItem(item);
            return;
        }
    }
}

void CCatalogueListDlg::OnAdd() {
    CIDItem* entry = NewEntry();
    if (!entry)
        return;
    if (!EditEntry(*entry)) {
        delete entry;
        return;
    }
    entry->m_nID = m_list.GetMaxID() + 1;
    const int id = entry->m_nID;
    m_list.Add(entry);
    FillList();
    SelectID(id);
}

void CCatalogueListDlg::OnEdit() {
    const int id = GetSelectedID();
    if (id < 0)
        return;
    CIDItem* entry = m_list.FindByID(id);
    if (!entry || !EditEntry(*entry))
        return;
    FillList();
    SelectID(id);
}

void CCatalogueListDlg::OnDelete() {
    const int id = GetSelectedID();
    if (id < 0)
        return;
    DeleteEntry(id);
}
