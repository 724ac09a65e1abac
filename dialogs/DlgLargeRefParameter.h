#pragma once
/// The reference-image editor ("大张参考图编辑"): the camera grid (horizontal and vertical camera counts, 1 to
/// 32), the reference small sheet (column and row, 0 to 32) and the remark of one reference image.
///
/// OK checks every number with the integer field check (a refusal shows its message and keeps the dialog
/// open, the image untouched). When a camera count differs from the stored one it asks "相机的个数已经改变，
/// 会导致相机数据丢失，要继续吗?" (Yes/No): No keeps the dialog open and every value as it was; Yes removes
/// every camera image of the reference image. Then the four numbers and the remark are stored.
///
/// Controls by name: "camCols", "camRows", "refCol", "refRow", "remark", "1" (OK), "2" (Cancel).

#include <QDialog>

class CRefImage;
class QLineEdit;
class QPlainTextEdit;

class CDlgLargeRefParameter : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxCameras = 32;
    static constexpr int kMaxRefSheet = 32;

    /// `refImage` is edited in place on OK; not owned.
    explicit CDlgLargeRefParameter(CRefImage& refImage, QWidget* parent = nullptr);

    int DoModal();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CRefImage& m_ref;
    QLineEdit* m_pCamCols;
    QLineEdit* m_pCamRows;
    QLineEdit* m_pRefCol;
    QLineEdit* m_pRefRow;
    QPlainTextEdit* m_pRemark;
    bool m_bInitialised = false;
};
