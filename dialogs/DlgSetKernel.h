#pragma once
/// "定位方式": the locating method of a new kernel of a size-locating type. Two choices, "直线定位" (checked
/// at start) and "区域定位", and "确定". OK stores the index of the checked choice in `m_nMethod` (0 line
/// locating, 1 area locating); closing the window otherwise leaves it at -1.
///
/// Controls by name: "lineMethod", "areaMethod", "1" (OK).

#include <QDialog>

class QRadioButton;

class CDlgSetKernel : public QDialog {
    Q_OBJECT
public:
    explicit CDlgSetKernel(QWidget* parent = nullptr);

    /// Runs the dialog through the modal runner.
    int DoModal();

    int m_nMethod = -1; ///< 0 "直线定位", 1 "区域定位"; -1 until OK

public slots:
    void accept() override;

private:
    QRadioButton* m_pLine;
    QRadioButton* m_pArea;
};
