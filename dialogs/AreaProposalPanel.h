#pragma once
/// The panel of proposed inspection and shielded areas under the view: one line per ink group found on the
/// small sheets (its colour, how many areas and printed pixels) with a check box and the phase (print pass)
/// it goes to, which the operator may change; one line for the shielded areas over variable print; the
/// analysis's warnings; "接受", "拒绝", and, once accepted, "复制到所有小张". Nothing is changed by the panel
/// itself: its owner makes the areas and runs the copy.
///
/// Controls by name: "areaProposals", "areaProposalText", "areaProposalList", "areaAccept", "areaReject",
/// "areaCopyAll"; the phase choosers "areaPhase0", "areaPhase1", ...

#include <QColor>
#include <QFrame>
#include <QStringList>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

class CAreaProposalPanel : public QFrame {
    Q_OBJECT
public:
    explicit CAreaProposalPanel(QWidget* parent = nullptr);

    struct Group {
        QColor ink;
        QString text;        ///< e.g. "12 个检测区, 34567 像素"
        int phase = 0;       ///< index into the phase names proposed for it
    };
    /// Shows the groups (all checked, each with the phase names to choose from), the shields' line when
    /// `shields` is not empty, a heading and the warnings (the first `doubts` in red).
    void ShowProposal(const QString& heading, const std::vector<Group>& groups, const QStringList& phaseNames,
                      const QString& shields, const QStringList& warnings, int doubts);
    void ShowBusy(const QString& message);
    /// After an acceptance: only "复制到所有小张" and "关闭" remain.
    void ShowAccepted(const QString& message);
    void Clear();
    bool IsBusy() const { return m_bBusy; }

    bool IsGroupChecked(int group) const;
    void SetGroupChecked(int group, bool checked);
    /// The phase index chosen for the group.
    int GetGroupPhase(int group) const;
    void SetGroupPhase(int group, int phase);
    bool AreShieldsChecked() const;
    int GetGroupCount() const { return m_nGroups; }
    QString GetText() const;

signals:
    void acceptRequested();
    void rejected();
    void copyRequested();

private:
    QLabel* m_pText;
    QTreeWidget* m_pList;
    QPushButton* m_pAccept;
    QPushButton* m_pReject;
    QPushButton* m_pCopyAll;
    int m_nGroups = 0;
    bool m_bShields = false;
    bool m_bBusy = false;
};
