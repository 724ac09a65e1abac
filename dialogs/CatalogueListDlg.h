#pragma once
/// The shape every catalogue list editor shares: a list of the catalogue's entries (whole rows selected,
/// one row per entry in list order), "添加(&A)", "编辑(&E)", "删除(&D)" and one closing button; a double
/// click on a row edits it. There is no Cancel: what the entry editors change stays in the list.
///
/// - Add: a new entry (`NewEntry`) goes through the entry editor; on OK it gets the identifier one above
///   the largest in the list and is appended; on Cancel it is destroyed. The list is refilled.
/// - Edit: with a selected row, the entry with the row's identifier (first column) goes through the entry
///   editor; on OK the list is refilled. Without a selected row, or when no entry has the identifier,
///   nothing happens.
/// - Delete: with a selected row, `DeleteEntry` with the row's identifier decides; without one, nothing.
/// After a refill the row of the entry added or edited is selected again.
///
/// Controls by name: the list, the three buttons and the closing button carry the names the derived
/// dialog gives (see its header).

#include <QDialog>
#include <string>
#include <vector>

class CIDItem;
class CItemList;
class QPushButton;
class QTreeWidget;

class CCatalogueListDlg : public QDialog {
    Q_OBJECT
public:
    struct Column {
        const wchar_t* caption; ///< untranslated
        int width;              ///< pixels
    };
    /// Object names of the controls.
    struct ControlNames {
        const char* list;
        const char* add;
        const char* edit;
        const char* remove;
        const char* ok;
    };

    /// Runs the dialog through the modal runner.
    int DoModal();

    /// Clears the list and adds one row per entry, in list order.
    void FillList();
    /// The identifier in the first column of the first selected row; -1 without a selected row.
    int GetSelectedID() const;
    /// Selects the row of the entry with the identifier (none when absent).
    void SelectID(int id);
    QTreeWidget* GetList() const { return m_pList; }

    void OnAdd();
    void OnEdit();
    void OnDelete();

protected:
    CCatalogueListDlg(CItemList& list, const wchar_t* caption, std::vector<Column> columns,
                      const wchar_t* okText, const ControlNames& names, QWidget* parent);

    /// The texts of an entry's row.
    virtual std::vector<std::wstring> RowTexts(const CIDItem& item) const = 0;
    /// A new entry with the catalogue's defaults, owned by the caller.
    virtual CIDItem* NewEntry() const = 0;
    /// Runs the entry editor on the entry; true on OK.
    virtual bool EditEntry(CIDItem& item) = 0;
    /// Deletes (or refuses to delete) the entry with the identifier.
    virtual void DeleteEntry(int id) = 0;

    void showEvent(QShowEvent* event) override;

    CItemList& m_list; ///< not owned; edited in place

private:
    std::wstring m_strCaption;
    std::vector<Column> m_arColumns;
    std::wstring m_strOK;
    QTreeWidget* m_pList;
    QPushButton* m_pAdd;
    QPushButton* m_pEdit;
    QPushButton* m_pDelete;
    QPushButton* m_pOK;
    bool m_bInitialised = false;
};
