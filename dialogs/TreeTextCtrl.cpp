#include "dialogs/TreeTextCtrl.h"

#include "formats/TreeTextNode.h"

#include <QPainter>
#include <QPixmap>

#include <utility>
#include <vector>

namespace {

/// A 16 x 16 folder-like icon in the colour given.
QIcon MakeIcon(const QColor& fill) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(fill.darker(160));
    painter.setBrush(fill);
    painter.drawRect(1, 4, 13, 10);
    painter.drawRect(1, 2, 6, 2);
    return QIcon(pixmap);
}

} // namespace

CTreeTextCtrl::CTreeTextCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_icons[0] = MakeIcon(QColor(240, 200, 80));  // top-level group
    m_icons[1] = MakeIcon(QColor(120, 170, 230)); // groups below it
}

void CTreeTextCtrl::ShowTree(CTreeTextNode* root) {
    const bool blocked = blockSignals(true);
    clear();
    if (root) {
        // Pre-order without recursion: (node, parent item) pairs, children pushed in reverse order.
        std::vector<std::pair<CTreeTextNode*, QTreeWidgetItem*>> stack;
        for (int i = root->GetChildCount() - 1; i >= 0; --i)
            stack.emplace_back(root->GetChild(i), nullptr);
        std::vector<QTreeWidgetItem*> created;
        while (!stack.empty()) {
            auto [node, parent] = stack.back();
            stack.pop_back();
            if (!node || node->GetChildCount() == 0)
                continue; // single parameters never appear
            auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
            std::wstring label = node->m_para.GetExtraValue(L"Hint");
            if (label.empty())
                label = node->GetName();
            item->setText(0, QString::fromStdWString(label));
            item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
            item->setData(0, kTreeIDRole, node->m_nTreeID);
            item->setIcon(0, m_icons[GetDepth(item) > 0 ? 1 : 0]);
            created.push_back(item);
            for (int i = node->GetChildCount() - 1; i >= 0; --i)
                stack.emplace_back(node->GetChild(i), item);
        }
        for (QTreeWidgetItem* item : created)
            item->setExpanded(true);
    }
    blockSignals(blocked);
}

CTreeTextNode* CTreeTextCtrl::GetNode(const QTreeWidgetItem* item) {
    return item ? reinterpret_cast<CTreeTextNode*>(item->data(0, kNodeRole).value<quintptr>()) : nullptr;
}

int CTreeTextCtrl::GetTreeID(const QTreeWidgetItem* item) {
    return item ? item->data(0, kTreeIDRole).toInt() : -1;
}

int CTreeTextCtrl::GetDepth(const QTreeWidgetItem* item) {
    if (!item)
        return -1;
    int depth = 0;
    for (const QTreeWidgetItem* parent = item->parent(); parent; parent = parent->parent())
        ++depth;
    return depth;
}
