#pragma once
/// The split-scheme editor ("分区参数"): small sheets across and down, the extension in pixels
/// horizontally and vertically, the crop rectangle ("裁剪区(白色)": left, top, right, bottom, image pixels)
/// and the remark of one split scheme.
///
/// OK checks that every field is an integer ("请输入一个整数!"), that the small-sheet counts lie in 1 …
/// `kMaxSheets` (a scheme without small sheets cuts nothing, and a count beyond that only hangs the
/// drawing), the extensions in 0 … 65536 and the crop values in −65536 … 65536 (a buffer's largest side, so
/// that the sheet geometry cannot overflow); a refusal shows the field check's message and keeps the
/// dialog open, the scheme untouched. The crop is stored as typed: where
/// it lies outside the image it is fitted to the image when the scheme is applied (all zero: the whole
/// image). Then every value and the remark are stored.
///
/// Controls by name: "cols", "rows", "extendX", "extendY", "left", "top", "right", "bottom", "remark",
/// "1" (OK), "2" (Cancel).

#include <QDialog>

class CSplitAreaPara;
class QLineEdit;
class QPlainTextEdit;

class CDlgSplitAreaParaEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxSheets = 256;

    /// `split` is edited in place on OK; not owned.
    explicit CDlgSplitAreaParaEdit(CSplitAreaPara& split, QWidget* parent = nullptr);

    int DoModal();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CSplitAreaPara& m_split;
    QLineEdit* m_pFields[8];  // cols, rows, extendX, extendY, left, top, right, bottom
    QPlainTextEdit* m_pRemark;
    bool m_bInitialised = false;
};
