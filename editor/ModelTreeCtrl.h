#pragma once
/// The model tree of the editor (control 1003): the model at depth 0, inspection types at 1, sides at 2,
/// phases at 3. Every item carries its text, an image index of the tree's image list and an item-data
/// pointer (the object it shows). The image list holds 16 x 16 icons; each fill appends icons 501 to 505
/// (model, inspection type, side, phase, note).

#include <QTreeWidget>

class CIDItem;

class CModelTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int IDC = 1003;
    static constexpr int kIconCount = 5;

    explicit CModelTreeCtrl(QWidget* parent = nullptr);

    /// Deletes every item.
    void DeleteAllItems();
    /// Appends the images 501 to 505 to the image list (created with room for 5, growing by 5).
    void AppendLevelIcons();
    /// Inserts an item as the last child of `parent` (null: a root item).
    QTreeWidgetItem* InsertItem(const std::wstring& text, int image, void* data, QTreeWidgetItem* parent);

    /// The item data; null for a null item.
    static void* GetItemData(const QTreeWidgetItem* item);
    static int GetItemImage(const QTreeWidgetItem* item);
    static std::wstring GetItemText(const QTreeWidgetItem* item);
    /// The number of the item's ancestors: 0 model, 1 type, 2 side, 3 phase; -1 for null.
    static int GetItemDepth(const QTreeWidgetItem* item);
    /// The item's ancestor at `depth` (the item itself at its own depth); null when shallower.
    static QTreeWidgetItem* GetAncestorAt(QTreeWidgetItem* item, int depth);

    /// The caret (current) item, or null.
    QTreeWidgetItem* GetCaretItem() const { return currentItem(); }
    /// The item whose item data is `data`, searched depth-first from the root; null when none.
    QTreeWidgetItem* FindItemByData(const void* data) const;

    /// The image list: how many icons it holds and the icon at an index.
    int GetImageCount() const { return static_cast<int>(m_images.size()); }
    QIcon GetImage(int index) const;

signals:
    /// The Delete key was pressed on the tree.
    void deletePressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::vector<QIcon> m_images;
    int m_nImageCapacity = 5;
};

/// The 16 x 16 icon of resource 501 to 505 (model, type, side, phase, note), drawn in code.
QIcon MakeLevelIcon(int resource);
