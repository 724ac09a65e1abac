#pragma once
/// The bar that shows one proposal of the assisted set-up under the image it is drawn on: what is proposed
/// and its score, the warnings (those that put the proposal in doubt first, in red), and "接受" and "拒绝".
/// While an analysis runs it says so and offers neither. Nothing is changed by the bar itself: its owner
/// connects `accepted` and `rejected` and turns an accepted proposal into items the way drawn ones are made.
///
/// Controls by name: "proposalText", "proposalAccept", "proposalReject".

#include <QFrame>
#include <QString>
#include <QStringList>

class QLabel;

/// The text the proposal panels show: the heading (`headingHtml`, already HTML) and one line per
/// warning, the first `doubts` of them in red.
QString ProposalHtml(const QString& headingHtml, const QStringList& warnings, int doubts);
class QPushButton;

/// What the proposal bar and panels share: the frame named `name` with its text label named `textName`
/// (rich text, wrapped), returned; and a translated button named `name` that is never the default.
QLabel* SetUpProposalFrame(QFrame& frame, const char* name, const char* textName);
QPushButton* MakeProposalButton(const wchar_t* text, const char* name, QWidget* parent);

class CProposalBar : public QFrame {
    Q_OBJECT
public:
    explicit CProposalBar(QWidget* parent = nullptr);

    /// Shows the bar with "<what>  (<score>)" and one line per warning; `doubts` of them (the first ones)
    /// are drawn in red. `canAccept` false offers only "拒绝" (nothing usable was found).
    void ShowProposal(const QString& what, double score, const QStringList& warnings, int doubts, bool canAccept);
    /// Shows the bar with a message and no buttons while an analysis runs.
    void ShowBusy(const QString& message);
    /// Hides the bar.
    void Clear();
    /// The text shown (for the tests and the screen reader).
    QString GetText() const;
    bool IsBusy() const { return m_bBusy; }

signals:
    void accepted();
    void rejected();

private:
    QLabel* m_pText;
    QPushButton* m_pAccept;
    QPushButton* m_pReject;
    bool m_bBusy = false;
};
