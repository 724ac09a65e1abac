#include "editor/ModelTreeCtrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <vector>

namespace {
constexpr int kDataRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
} // namespace

QIcon MakeLevelIcon(int resource) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (resource) {
    case 501:  // model: a sheet of paper with print lines
        p.fillRect(2, 1, 12, 14, QColor(250, 250, 250));
        p.setPen(QColor(40, 70, 160));
        p.drawRect(2, 1, 11, 13);
        for (int y = 4; y <= 11; y += 3)
            p.drawLine(4, y, 11, y);
        break;
    case 502:  // inspection type: a folder
        p.fillRect(1, 4, 14, 10, QColor(235, 190, 60));
        p.fillRect(1, 2, 6, 3, QColor(235, 190, 60));
        p.setPen(QColor(150, 110, 20));
        p.drawRect(1, 4, 13, 9);
        break;
    case 503:  // side: a framed green face
        p.fillRect(2, 2, 12, 12, QColor(80, 180, 90));
        p.setPen(QColor(20, 90, 30));
        p.drawRect(2, 2, 11, 11);
        break;
    case 504:  // phase: two stacked layers
        p.fillRect(1, 7, 11, 7, QColor(200, 90, 40));
        p.fillRect(4, 2, 11, 7, QColor(240, 150, 70));
        p.setPen(QColor(120, 50, 20));
        p.drawRect(4, 2, 10, 6);
        break;
    default:  // note: a small sheet with a red mark
        p.fillRect(3, 3, 10, 10, QColor(255, 255, 220));
        p.setPen(QColor(120, 120, 90));
        p.drawRect(3, 3, 9, 9);
        p.fillRect(6, 6, 4, 4, QColor(220, 40, 40));
        break;
    }
    return QIcon(pixmap);
}

CModelTreeCtrl::CModelTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QString::number(IDC));
    setColumnCount(1);
    setHeaderHidden(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_images.reserve(m_nImageCapacity);
}

void CModelTreeCtrl::DeleteAllItems() { clear(); }

void CModelTreeCtrl::AppendLevelIcons() {
    for (int resource = 501; resource <= 505; ++resource) {
        if (static_cast<int>(m_images.size()) == m_nImageCapacity) {
            m_nImageCapacity += 5;  // the list grows by 5
            m_images.reserve(m_nImageCapacity);
        }
        m_images.push_back(MakeLevelIcon(resource));
    }
}

QIcon CModelTreeCtrl::GetImage(int index) const {
    return index >= 0 && index < GetImageCount() ? m_images[index] : QIcon();
}

QTreeWidgetItem* CModelTreeCtrl::InsertItem(const std::wstring& text, int image, void* data,
                                            QTreeWidgetItem* parent) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, QString::fromStdWString(text));
    item->setIcon(0, GetImage(image));
    item->setData(0, kDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
    item->setData(0, kImageRole, image);
    return item;
}

void* CModelTreeCtrl::GetItemData(const QTreeWidgetItem* item) {
    return item ? reinterpret_cast<void*>(item->data(0, kDataRole).value<quintptr>()) : nullptr;
}

int CModelTreeCtrl::GetItemImage(const QTreeWidgetItem* item) {
    return item ? item->data(0, kImageRole).toInt() : -1;
}

std::wstring CModelTreeCtrl::GetItemText(const QTreeWidgetItem* item) {
    return item ? item->text(0).toStdWString() : std::wstring();
}

int CModelTreeCtrl::GetItemDepth(const QTreeWidgetItem* item) {
    if (!item)
        return -1;
    int depth = 0;
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ++depth;
    return depth;
}

QTreeWidgetItem* CModelTreeCtrl::GetAncestorAt(QTreeWidgetItem* item, int depth) {
    int own = GetItemDepth(item);
    if (own < depth || depth < 0)
        return nullptr;
    for (; own > depth; --own)
        item = item->parent();
    return item;
}

QTreeWidgetItem* CModelTreeCtrl::FindItemByData(const void* data) const {
    if (!data)
        return nullptr;
    std::vector<QTreeWidgetItem*> pending;
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        pending.push_back(topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (GetItemData(item) == data)
            return item;
        for (int i = item->childCount() - 1; i >= 0; --i)
            pending.push_back(item->child(i));
    }
    return nullptr;
}

void CModelTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deletePressed();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
