#pragma once
/// The template check's window ("模板检查"): the findings of the open template, errors first, one line each
/// with its level, the item's place and what will go wrong. A click on a line asks the editor to show that
/// item on its small sheet (`itemChosen`); "复制" puts the whole list on the clipboard as text; "重新检查"
/// asks for a new run (`checkAgain`). The window stays open beside the editor while the operator mends what
/// it lists; it changes nothing in the template itself.
///
/// Controls by name: "checkSummary", "checkList", "checkCopy", "checkAgain", "checkClose".

#include "editor/TemplateCheck.h"

#include <QDialog>

class CModelInfo;
class QLabel;
class QPushButton;
class QTreeWidget;

class CDlgTemplateCheck : public QDialog {
    Q_OBJECT
public:
    explicit CDlgTemplateCheck(QWidget* parent = nullptr);

    /// Shows "正在检查..." and an empty list while a check runs.
    void ShowRunning();
    /// Shows the report; the model names the items (it is not kept).
    void ShowReport(const CTemplateCheckReport& report, const CModelInfo& model);
    const CTemplateCheckReport& GetReport() const { return m_report; }
    /// The text "复制" puts on the clipboard.
    QString GetText() const { return m_strText; }

signals:
    void itemChosen(const CCheckItem& item);
    void checkAgain();

private:
    void OnRowActivated(int row);
    void Copy();

    QLabel* m_pSummary;
    QTreeWidget* m_pList;
    QPushButton* m_pCopy;
    QPushButton* m_pAgain;
    CTemplateCheckReport m_report;
    QString m_strText;
};
