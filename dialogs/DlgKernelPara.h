#pragma once
/// "定位核属性": the properties of a locating kernel. "印次:" offers the phase types ("%d %s"), with the
/// kernel's phase chosen (no choice when its phase is not among them); "是否是小张定位核" and "锁定(&L)"
/// show the small-sheet and locked flags; "编号:" shows the identifier; the rectangle editor shows the
/// rectangle once the dialog is shown; the "参数:" grid is bound to "PlugIns/KernelPara.ini" and shows the
/// kernel's parameter text.
///
/// OK without a phase chosen shows "请选择一个印次!" and stays open, the kernel untouched. Otherwise it
/// writes the phase, the small-sheet flag, the parameter text from the grid, the rectangle (through
/// `CKernel::SetRect`) and, when the box differs from it, the locked flag; the identifier field is
/// never written back. When "KernelPara.ini" cannot be read the grid is empty and the kernel keeps its
/// parameter text. "删除(&D)" and "克隆(&L)" set `m_bDelete` or `m_bClone` and close with OK, writing
/// nothing; the opener acts on them.
///
/// Controls by name: "phase", "sheetKernel", "id", "rectEdit", "parameterGrid", "locked", "delete",
/// "clone", "1" (OK), "2" (Cancel).

#include <QDialog>

class CGridCtrlEx;
class CItemList;
class CKernel;
class CRectEdit;
class QCheckBox;
class QComboBox;
class QLineEdit;

class CDlgKernelPara : public QDialog {
    Q_OBJECT
public:
    /// Neither is owned; both must outlive the dialog. `phaseTypes` holds `CPhaseType` items.
    CDlgKernelPara(CKernel* kernel, const CItemList* phaseTypes, QWidget* parent = nullptr);

    /// Runs the dialog through the modal runner.
    int DoModal();

    bool m_bDelete = false; ///< "删除(&D)" was pressed
    bool m_bClone = false;  ///< "克隆(&L)" was pressed

    CGridCtrlEx* GetGrid() const { return m_pGrid; }
    CRectEdit* GetRectEdit() const { return m_pRectEdit; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Initialise();

    CKernel* m_pKernel;
    const CItemList* m_pPhaseTypes;
    bool m_bInitialised = false;
    bool m_bScriptLoaded = false;
    QComboBox* m_pPhase;
    QCheckBox* m_pSheetKernel;
    QLineEdit* m_pID;
    CRectEdit* m_pRectEdit;
    CGridCtrlEx* m_pGrid;
    QCheckBox* m_pLocked;
};
