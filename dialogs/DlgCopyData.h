#pragma once
/// "复制数据" (caption key "2601"): copies kernels, inspection areas, shielded areas or the selected shapes
/// of the current small sheet onto other small sheets of the phase, or deletes a labelled mask from several
/// sheets at once (see dialogs/CopyData.h for the work itself).
///
/// Texts are looked up by numeric key: group "复制内容" "2602" with "复制定位核" "2604", "复制检测区" "2605",
/// "复制阈值掩模" "2606", "复制选择的图形" "2610" and "删除选择的图形" (by its text); group "复制的区域"
/// "2612" with "全选" "2611" and the target grid; OK "2", Cancel "3".
///
/// The target grid: one check box per column header ("2624" with column + 1, object name 2000 + column),
/// per row header ("2623" with row + 1, 3000 + row) and per small sheet (its number from 1, row by row,
/// object name 1000 + index). A header sets every cell of its row or column to its own check state; "全选"
/// every cell. The grid lies in a scroll area, so that a 20 × 20 sheet fits the screen.
///
/// OK: no content option set shows "2625" (its "\n" escapes as line breaks), no cell checked "2626", no
/// phase does nothing; each keeps the dialog open. Otherwise the copy runs, the report ("2622", a blank
/// line, then the kernel lines or "2621") is shown and the dialog closes with OK. Cancel changes nothing.
///
/// Controls by name: "copyKernels", "copyAreas", "copyThreshMasks", "copySelected", "deleteSelected",
/// "selectAll", "targets" (the scroll area), "1" (OK), "2" (Cancel).

#include "dialogs/CopyData.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QScrollArea;

class CDlgCopyData : public QDialog {
    Q_OBJECT
public:
    /// The host is not owned and must outlive the dialog; its reference image gives the grid's size.
    explicit CDlgCopyData(ICopyDataHost& host, QWidget* parent = nullptr);

    int DoModal();

    int GetColumns() const { return m_nCols; }
    int GetRows() const { return m_nRows; }
    QCheckBox* GetCell(int index) const;
    QCheckBox* GetColumnHeader(int column) const;
    QCheckBox* GetRowHeader(int row) const;
    QScrollArea* GetScrollArea() const { return m_pScroll; }
    /// The request the controls describe now.
    CopyDataRequest GetRequest() const;

public slots:
    void accept() override;

private:
    void SetCells(const std::vector<int>& indices, bool checked);

    ICopyDataHost& m_host;
    int m_nCols = 1;
    int m_nRows = 1;
    QCheckBox* m_pKernels;
    QCheckBox* m_pAreas;
    QCheckBox* m_pThresh;
    QCheckBox* m_pSelected;
    QCheckBox* m_pDelete;
    QCheckBox* m_pSelectAll;
    QScrollArea* m_pScroll;
    std::vector<QCheckBox*> m_arColumnHeaders;
    std::vector<QCheckBox*> m_arRowHeaders;
    std::vector<QCheckBox*> m_arCells;
};
