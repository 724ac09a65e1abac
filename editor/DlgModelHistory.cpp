#include "editor/DlgModelHistory.h"

#include "datastruct/ModelInfo.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

QPushButton* MakeButton(const wchar_t* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(Tr(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

const wchar_t* ChangeWord(CItemChange::Kind kind) {
    return kind == CItemChange::Added ? L"增加" : kind == CItemChange::Removed ? L"删除" : L"修改";
}

QColor ChangeColour(CItemChange::Kind kind) {
    return kind == CItemChange::Added ? QColor(0, 0x90, 0) : kind == CItemChange::Removed ? QColor(0xc0, 0, 0)
                                                                                           : QColor(0xc0, 0x70, 0);
}

} // namespace

std::wstring TranslateSaveSummary(const std::wstring& summary) {
    std::wstring out;
    size_t at = 0;
    while (at <= summary.size()) {
        // The next separator: ", " between entries, "; " before the counts.
        size_t end = summary.size();
        size_t separator = 0;
        for (const wchar_t* s : {L", ", L"; "})
            if (size_t found = summary.find(s, at); found != std::wstring::npos && found < end) {
                end = found;
                separator = 2;
            }
        const std::wstring entry = summary.substr(at, end - at);
        size_t label = entry.size();
        for (const wchar_t* mark : {L" ×", L" +", L" -", L" ~"})
            label = std::min(label, entry.find(mark));
        if (!entry.empty())
            out += Translate(entry.substr(0, label).c_str(), 0) + entry.substr(std::min(label, entry.size()));
        if (separator == 0)
            break;
        out += summary.substr(end, separator);
        at = end + separator;
    }
    return out;
}

CDlgModelHistory::CDlgModelHistory(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("modelHistory"));
    setWindowTitle(Tr(L"模板历史"));
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("historySummary"));
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("historyList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setHeaderLabels({Tr(L"版本"), Tr(L"时间"), Tr(L"工位"), Tr(L"用户"), Tr(L"数据库角色"), Tr(L"修改内容")});
    m_pList->header()->setStretchLastSection(true);
    m_pShow = MakeButton(L"在视图中显示", "historyShow", this);
    m_pCompare = MakeButton(L"与当前模板比较", "historyCompare", this);
    m_pRestore = MakeButton(L"恢复此版本", "historyRestore", this);
    m_pHide = MakeButton(L"不再显示", "historyHide", this);
    QPushButton* close = MakeButton(L"关闭", "historyClose", this);
    m_pNote = new QLabel(this);
    m_pNote->setObjectName(QStringLiteral("historyNote"));
    m_pNote->setWordWrap(true);
    m_pChanges = new QTreeWidget(this);
    m_pChanges->setObjectName(QStringLiteral("historyChanges"));
    m_pChanges->setRootIsDecorated(false);
    m_pChanges->setUniformRowHeights(true);
    m_pChanges->setHeaderLabels({Tr(L"小张"), Tr(L"变化"), Tr(L"项目")});
    m_pChanges->header()->setStretchLastSection(true);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_pShow, m_pCompare, m_pRestore, m_pHide})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSummary);
    layout->addWidget(m_pList, 3);
    layout->addLayout(buttons);
    layout->addWidget(m_pNote);
    layout->addWidget(m_pChanges, 2);
    resize(820, 520);
    connect(m_pList, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(m_pShow, &QPushButton::clicked, this, [this] {
        if (const int64_t n = GetChosen())
            emit showRequested(n);
    });
    connect(m_pCompare, &QPushButton::clicked, this, [this] {
        if (const int64_t n = GetChosen())
            emit compareRequested(n);
    });
    connect(m_pRestore, &QPushButton::clicked, this, [this] {
        if (const int64_t n = GetChosen())
            emit restoreRequested(n);
    });
    connect(m_pHide, &QPushButton::clicked, this, &CDlgModelHistory::hideRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    const auto chosen = [this](QTreeWidgetItem* item) {
        const int row = m_pChanges->indexOfTopLevelItem(item);
        if (row >= 0 && size_t(row) < m_changes.size())
            emit changeChosen(m_changes[size_t(row)].m_place);
    };
    connect(m_pChanges, &QTreeWidget::itemClicked, this, chosen);
    connect(m_pChanges, &QTreeWidget::itemActivated, this, chosen);
    UpdateButtons();
}

void CDlgModelHistory::ShowRevisions(const QString& modelName, const std::vector<CModelRevision>& revisions) {
    m_revisions = revisions;
    m_pList->clear();
    // The rows made first and handed to the list at once: a long history is one insertion, not thousands.
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(revisions.size()));
    for (auto it = revisions.rbegin(); it != revisions.rend(); ++it) {
        auto* row = new QTreeWidgetItem;
        rows.append(row);
        row->setText(0, QString::number(it->m_nNumber));
        row->setText(1, QString::fromStdWString(StoreTimeAsLocal(it->m_strSavedAt)));
        row->setText(2, QString::fromStdWString(it->m_strStation));
        row->setText(3, QString::fromStdWString(it->m_strUser));
        row->setText(4, QString::fromStdWString(it->m_strRole));
        QString summary = QString::fromStdWString(TranslateSaveSummary(it->m_strSummary));
        if (it->m_bPruned) {
            // Only its record is left (the retention setting): it can be neither shown nor restored.
            summary = Tr(L"(内容已按保留设置删除)") + QStringLiteral(" ") + summary;
            for (int c = 0; c < 6; ++c)
                row->setForeground(c, QColor(0x80, 0x80, 0x80));
        }
        row->setText(5, summary);
        row->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(it->m_nNumber));
        row->setData(1, Qt::UserRole, it->m_bPruned);
    }
    m_pList->addTopLevelItems(rows);
    for (int c = 0; c < 5; ++c)
        m_pList->resizeColumnToContents(c);
    m_pSummary->setText(revisions.empty()
                            ? QString::fromStdWString(Format(Translate(L"模板 %s 还没有保存过的版本", 0).c_str(),
                                                             modelName.toStdWString().c_str()))
                            : QString::fromStdWString(Format(Translate(L"模板 %s: %d 个保存过的版本", 0).c_str(),
                                                             modelName.toStdWString().c_str(),
                                                             static_cast<int>(revisions.size()))));
    if (m_pList->topLevelItemCount() > 0)
        m_pList->setCurrentItem(m_pList->topLevelItem(0));
    UpdateButtons();
}

void CDlgModelHistory::ShowFailure(const QString& text) {
    m_revisions.clear();
    m_pList->clear();
    m_pSummary->setText(text);
    UpdateButtons();
}

void CDlgModelHistory::ShowNote(const QString& text) {
    m_changes.clear();
    m_pChanges->clear();
    m_pNote->setText(text);
}

void CDlgModelHistory::ShowChanges(const CRevisionView& view, const CModelInfo& model) {
    m_changes = view.GetChanges();
    m_pChanges->clear();
    for (const CHistoryChange& change : m_changes) {
        auto* row = new QTreeWidgetItem(m_pChanges);
        const CCheckItem& place = change.m_place;
        row->setText(0, place.m_nSheetCol >= 0
                            ? QString::fromStdWString(Format(Translate(L"小张(%d,%d)", 0).c_str(), place.m_nSheetCol + 1,
                                                             place.m_nSheetRow + 1))
                            : QString());
        row->setText(1, Tr(ChangeWord(change.m_change.m_nKind)));
        row->setForeground(1, ChangeColour(change.m_change.m_nKind));
        // An item removed is named as the revision held it.
        const CModelInfo& holder = change.m_change.m_pNew ? model : *view.GetModel();
        std::wstring what = DescribeCheckItem(holder, place, true);
        if (what.empty())
            what = Translate(ItemKindName(change.m_change.m_nItemKind).c_str(), 0) + L" " +
                   std::to_wstring(change.m_change.m_nID);
        row->setText(2, QString::fromStdWString(what));
    }
    m_pChanges->resizeColumnToContents(0);
    m_pChanges->resizeColumnToContents(1);
    const std::wstring counts = view.GetCounts();
    m_pNote->setText(QString::fromStdWString(
        counts.empty() ? Format(Translate(L"版本 %d 与当前模板相同", 0).c_str(), static_cast<int>(view.GetNumber()))
                       : Format(Translate(L"版本 %d 到当前模板: %s (绿: 增加, 红: 删除, 橙: 修改)", 0).c_str(),
                                static_cast<int>(view.GetNumber()), TranslateSaveSummary(counts).c_str())));
}

int64_t CDlgModelHistory::GetChosen() const {
    const QTreeWidgetItem* item = m_pList->currentItem();
    return item ? item->data(0, Qt::UserRole).toLongLong() : 0;
}

bool CDlgModelHistory::Choose(int64_t number) {
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i)
        if (m_pList->topLevelItem(i)->data(0, Qt::UserRole).toLongLong() == number) {
            m_pList->setCurrentItem(m_pList->topLevelItem(i));
            return true;
        }
    return false;
}

void CDlgModelHistory::UpdateButtons() {
    const QTreeWidgetItem* item = m_pList->currentItem();
    const bool chosen = GetChosen() > 0 && item && !item->data(1, Qt::UserRole).toBool();
    m_pShow->setEnabled(chosen);
    m_pCompare->setEnabled(chosen);
    m_pRestore->setEnabled(chosen);
}
