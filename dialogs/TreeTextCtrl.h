#pragma once
/// The tree of a parameter-structure script's groups: `ShowTree` fills it from a root node. Only nodes
/// with children (groups) appear; single parameters never do. An item's label is the node's "Hint"
/// value, or its name when that is empty; its icon shows its depth (top-level groups and the groups
/// below them differ); every item is expanded.
///
/// Each item carries the node it shows (valid while that tree lives unchanged) and the node's tree
/// number, so that a caller can look the node up again in a document that was changed meanwhile.

#include <QIcon>
#include <QTreeWidget>

class CTreeTextNode;

class CTreeTextCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kNodeRole = Qt::UserRole;       ///< the node, as quintptr
    static constexpr int kTreeIDRole = Qt::UserRole + 1; ///< the node's tree number

    explicit CTreeTextCtrl(QWidget* parent = nullptr);

    /// Deletes every item, then inserts the groups of the root's children in order (null: stays empty).
    /// Emits no selection signal while it works.
    virtual void ShowTree(CTreeTextNode* root);

    /// The node an item shows; null for no item.
    static CTreeTextNode* GetNode(const QTreeWidgetItem* item);
    /// The tree number of the node an item shows; -1 for no item.
    static int GetTreeID(const QTreeWidgetItem* item);
    /// How many ancestors an item has in the control (0 for a top-level item); -1 for no item.
    static int GetDepth(const QTreeWidgetItem* item);

private:
    QIcon m_icons[2];
};
