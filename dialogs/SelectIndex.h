#pragma once
/// The grey-index picker: a 16 x 16 palette of 16 x 16-pixel cells from (16, 16); the cell in row r and
/// column c stands for index r * 16 + c and is painted in that grey, or red when the index is taken. The
/// current cell has a green outline; the palette has a white frame one pixel outside and a light-blue
/// frame two pixels outside.
///
/// A left click on a free index inside the palette (or dragging with only the left button held) makes it
/// current and writes it into the value field; a taken index and the frame do nothing. A double-click
/// presses OK. OK reads the value field: a text that is not an integer from 0 to 255 is refused with a
/// message, a taken index with "不能重复选择,请重新选择一个颜色索引!"; the dialog stays open in both cases.
/// The value field starts with the current index, so OK without a pick keeps it.
///
/// Controls by name: "value" (the field), "1" (OK), "2" (Cancel).

#include "support/Geometry.h"

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

class QLineEdit;

class CSelectIndex : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOrigin = 16;   ///< palette's top-left corner, x and y
    static constexpr int kCellSize = 16; ///< pixels per cell, both ways
    static constexpr int kCells = 16;    ///< cells per row and column

    CSelectIndex(const std::wstring& title, const std::vector<uint8_t>& taken, uint8_t current,
                 QWidget* parent = nullptr);

    int DoModal();

    /// The rectangle of the cell of `index`.
    static CRect GetCellRect(int index);
    /// The index under a client point; -1 outside the cells (the frame included).
    static int HitIndex(int x, int y);
    bool IsTaken(int index) const;
    /// Makes a free index current and writes it into the value field; false (nothing changes) for a
    /// taken index or one outside 0 to 255.
    bool PickIndex(int index);

    std::wstring m_strTitle;
    std::vector<uint8_t> m_arTaken;
    uint8_t m_byCurrent; ///< the current cell
    uint8_t m_byResult;  ///< the chosen index after OK

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QLineEdit* m_pValue;
    bool m_bInitialised = false;
};
