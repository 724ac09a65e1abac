#pragma once
/// The panel of proposed locating kernels under the view: one line per proposal (its number as drawn on
/// the view, its score, the predicted locating error and why it was chosen) with a check box, the
/// analysis's warnings, and "接受所选", "全部接受", "拒绝". While the analysis runs it says so and offers
/// only "拒绝". Nothing is changed by the panel itself: its owner makes the accepted kernels.
///
/// Controls by name: "kernelProposals", "kernelProposalText", "kernelProposalList", "kernelAcceptChecked",
/// "kernelAcceptAll", "kernelReject".

#include <QFrame>
#include <QStringList>

#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

class CKernelProposalPanel : public QFrame {
    Q_OBJECT
public:
    explicit CKernelProposalPanel(QWidget* parent = nullptr);

    /// Shows the proposals, all checked, with a heading and the warnings (the first `doubts` in red).
    void ShowProposals(const QString& heading, const QStringList& lines, const QStringList& warnings, int doubts);
    /// Shows a message and only "拒绝" while the analysis runs.
    void ShowBusy(const QString& message);
    void Clear();
    bool IsBusy() const { return m_bBusy; }

    /// The rows checked, in order.
    std::vector<int> GetCheckedRows() const;
    void SetChecked(int row, bool checked);
    int GetRowCount() const;
    QString GetText() const;

signals:
    /// "接受所选" (the checked rows) or "全部接受" (every row).
    void acceptRequested(const std::vector<int>& rows);
    void rejected();

private:
    QLabel* m_pText;
    QListWidget* m_pList;
    QPushButton* m_pAcceptChecked;
    QPushButton* m_pAcceptAll;
    QPushButton* m_pReject;
    bool m_bBusy = false;
};
