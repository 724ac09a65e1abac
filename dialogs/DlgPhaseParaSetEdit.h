#pragma once
/// The phase-type entry editor ("印次类型"): name, "是否强制索引", reference colour and mask colour (each a
/// swatch with a "..." that opens the colour dialog through the prompter, starting on that swatch's own
/// colour), and the mask grey value.
///
/// OK checks the grey field (an integer from 0 to 255, else "请输入 0 到 255 之间的整数!") and the name
/// (not empty, no ASCII blank, else "分层名称不能为空或含有空格!"); a refusal keeps the dialog open and
/// the entry untouched. Otherwise name, flag, both colours and grey value are stored in the entry.
/// Cancel leaves the entry untouched, colours picked included.
///
/// Controls by name: "name", "forceIndex", "refColor" and "refColorButton", "maskColor" and
/// "maskColorButton", "maskGray", "1" (OK), "2" (Cancel).

#include "support/Color.h"

#include <QDialog>

class CPhaseType;
class CColorSwatch;
class QCheckBox;
class QLineEdit;

class CDlgPhaseParaSetEdit : public QDialog {
    Q_OBJECT
public:
    /// `type` is edited in place on OK; not owned.
    explicit CDlgPhaseParaSetEdit(CPhaseType& type, QWidget* parent = nullptr);

    int DoModal();

    /// The "..." of the reference colour and of the mask colour.
    void OnChooseRefColor();
    void OnChooseMaskColor();

    COLORREF m_crRefColor;  ///< shown; stored on OK
    COLORREF m_crMaskColor; ///< shown; stored on OK

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CPhaseType& m_type;
    QLineEdit* m_pName;
    QCheckBox* m_pForceIndex;
    CColorSwatch* m_pRefColor;
    CColorSwatch* m_pMaskColor;
    QLineEdit* m_pMaskGray;
    bool m_bInitialised = false;
};
