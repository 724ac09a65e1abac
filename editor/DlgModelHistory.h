#pragma once
/// The history window of the open template ("模板历史"): its saved versions, newest first, with time,
/// station, user, database role and what each save changed. For the chosen version: "在视图中显示" draws its
/// shapes of the small sheet shown over the view (the template is not touched), "与当前模板比较" lists what
/// changed since, by small sheet, and draws it in three colours (added green, removed red, changed orange),
/// "恢复此版本" asks the editor to take it back as the working state, one step that undo takes back. A click
/// on a change goes to its item. The window changes nothing itself; it stays open beside the editor.
///
/// Controls by name: "historySummary", "historyList", "historyShow", "historyCompare", "historyRestore",
/// "historyHide", "historyChanges", "historyClose".

#include "datastruct/TemplateStore.h"
#include "editor/ModelHistory.h"

#include <QDialog>

class CModelInfo;
class QLabel;
class QPushButton;
class QTreeWidget;

class CDlgModelHistory : public QDialog {
    Q_OBJECT
public:
    explicit CDlgModelHistory(QWidget* parent = nullptr);

    /// Lists the revisions (oldest first as the store gives them; shown newest first) of the template named.
    void ShowRevisions(const QString& modelName, const std::vector<CModelRevision>& revisions);
    /// Says why the history cannot be shown (the store's failure), with an empty list.
    void ShowFailure(const QString& text);
    /// Lists the changes from the revision to the open template (`model` names the items: the open template
    /// for items added and changed, `revision` for items removed).
    void ShowChanges(const CRevisionView& view, const CModelInfo& model);
    /// Says what the view shows now ("版本 3 显示在视图中", ...), and empties the list of changes.
    void ShowNote(const QString& text);
    /// The revision number of the row chosen; 0 for none.
    int64_t GetChosen() const;
    /// Chooses the row of revision `number` (for the tests and after a restore).
    bool Choose(int64_t number);
    const std::vector<CModelRevision>& GetRevisions() const { return m_revisions; }
    /// The changes listed, in the order shown.
    const std::vector<CHistoryChange>& GetChanges() const { return m_changes; }

signals:
    void showRequested(qint64 number);
    void compareRequested(qint64 number);
    void restoreRequested(qint64 number);
    void hideRequested();
    void changeChosen(const CCheckItem& place);

private:
    void UpdateButtons();

    QLabel* m_pSummary;
    QTreeWidget* m_pList;
    QPushButton* m_pShow;
    QPushButton* m_pCompare;
    QPushButton* m_pRestore;
    QPushButton* m_pHide;
    QLabel* m_pNote;
    QTreeWidget* m_pChanges;
    std::vector<CModelRevision> m_revisions;
    std::vector<CHistoryChange> m_changes;
};

/// A saved summary as the operator reads it: each step label and kind name through `Translate`, the counts
/// and separators kept ("增加检测区 ×3, 移动; 检测区 +3 ~5").
std::wstring TranslateSaveSummary(const std::wstring& summary);
