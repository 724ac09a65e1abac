#pragma once
/// "小张属性": the properties of the note of a small sheet. "编号:" shows the note's identifier; the "参数:"
/// grid is bound to "NotePara.ini" of the inspection type's plug-in folder and shows the note's
/// parameter text. OK replaces the note's parameter text with the grid's; when the script cannot be read
/// the grid is empty and the note keeps its text. Cancel changes nothing.
///
/// Controls by name: "id", "parameterGrid", "1" (OK), "2" (Cancel).

#include <QDialog>

class CGridCtrlEx;
class CInspType;
class CNote;
class QLineEdit;

class CDlgNotePara : public QDialog {
    Q_OBJECT
public:
    /// Neither is owned. A null type reads the script from the plug-in folder itself.
    CDlgNotePara(const CInspType* type, CNote* note, QWidget* parent = nullptr);

    /// Runs the dialog through the modal runner.
    int DoModal();

    CGridCtrlEx* GetGrid() const { return m_pGrid; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const CInspType* m_pType;
    CNote* m_pNote;
    bool m_bInitialised = false;
    bool m_bScriptLoaded = false;
    QLineEdit* m_pID;
    CGridCtrlEx* m_pGrid;
};
