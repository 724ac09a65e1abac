#pragma once
/// The mask drawing dialog "掩模绘制" (dialog 2245): the operator repaints the region of a mask area pixel by
/// pixel. The mask's shape is rasterised into a mask layer over the image crop of its bounding box; the
/// operator paints with the brush, rectangle and circle tools, copies parts of the layer, pans and zooms;
/// on OK the layer becomes an outer polygon with holes again and replaces the mask's outline.
///
/// Left column: the tool column of five bitmap buttons ("移动", "复制", "矩形", "圆形", "画笔", 120 x 22 each
/// from (10, 35)), the palette bar of the labels at (140, 40) with the hover, current and background
/// swatches to its right, the zoom list (35142), the brush size (35140, in the group "半径", shown with the
/// brush tool only), "恢复数据", "确定", "取消". Right: the image window in its frame (35146) with the scroll
/// bars 35144 (vertical) and 35145 (horizontal).
///
/// The copy tool: a rubber band remembers its rectangle as the source (one narrower than 5 pixels forgets
/// it). A later band with the source's width or its height copies the source's content to the band's
/// top-left corner, and becomes the source in turn. Dragging the source's tracker copies it to where it is
/// dropped.
///
/// Painting is limited to the bounding box the mask had when the dialog opened (clipped to the image).
/// Ctrl+Z undoes the last stroke, rectangle, circle, copy or restore, Ctrl+Y (or Ctrl+Shift+Z) redoes it;
/// the wheel scrolls, Ctrl+wheel zooms about the pointer.
///
/// OK: a layer still equal to the initial mask leaves the mask untouched. Otherwise the layer's figures are
/// traced: two or more are refused with "一个图形不能被分割,请把分散的图像连在一起!" and the dialog stays
/// open; one replaces the mask's vertices and holes (outline simplified when asked); none leaves the mask
/// without vertices and holes.

#include "dialogs/CustomButton.h"
#include "geometry/ExpandBitmap.h"
#include "maskpaint/MaskCanvas.h"

#include <QDialog>
#include <QPoint>
#include <cstdint>
#include <string>
#include <vector>

class CGraphBase;
class CMaskClass;
class CMaskView;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSpinBox;

namespace maskid {
inline constexpr int IDD_MASKDRAW = 2245;
inline constexpr int IDC_BRUSH_SIZE = 35140;
inline constexpr int IDC_ZOOM = 35142;
inline constexpr int IDC_VSCROLL = 35144;
inline constexpr int IDC_HSCROLL = 35145;
inline constexpr int IDC_FRAME = 35146;
} // namespace maskid

class CMaskDraw : public QDialog {
    Q_OBJECT
public:
    enum Tool { kMove = 0, kCopy = 1, kRectangle = 2, kCircle = 3, kBrush = 4 };
    static constexpr int kMaxZoom = 30;

    /// Nothing is read or shown yet; `DoModal` (or `InitDialog`) reads the mask. None of the pointers is
    /// owned; all must outlive the dialog. `item` is the mask whose outline OK replaces.
    CMaskDraw(const CImgBuffer* source, CGraphBase* item, CMaskClass* maskClass, bool showMaskOnly,
              bool simplifyOutline, QWidget* parent = nullptr);
    ~CMaskDraw() override;

    /// Reads the mask and runs the dialog through the modal runner. -1 (after telling the operator why)
    /// when the mask cannot be painted: no image, no vertices, outside the image, or too large.
    int DoModal();
    /// The start-up: buffers, composition, texts, tool column. False (and a message) as for DoModal.
    bool InitDialog();
    /// Whether OK replaced the mask's outline (false for OK on an unchanged layer and for cancel).
    bool HasChangedItem() const { return m_bItemChanged; }

    // ---- what the operator does, in dialog coordinates (the image window forwards its events) ----
    void OnLButtonDown(unsigned flags, const QPoint& point);
    void OnMouseMove(unsigned flags, const QPoint& point);
    void OnLButtonUp(unsigned flags, const QPoint& point);
    void OnLButtonDblClk(unsigned flags, const QPoint& point);
    /// Without Ctrl the view scrolls up by `delta` (down for negative); with Ctrl it zooms one step about
    /// the point.
    void OnMouseWheel(int delta, unsigned flags, const QPoint& point);
    /// "恢复数据": the layer back to the initial mask (one undoable step).
    void OnRestore();
    bool Undo();
    bool Redo();

    void SelectTool(int tool);
    int GetTool() const { return m_nTool; }
    /// The zoom (clamped to 1 ... kMaxZoom), keeping the region pixel under `anchor` (window coordinates of
    /// the image window) in place.
    void SetZoom(int zoom, const QPoint& anchor);
    void SetZoom(int zoom);
    int GetZoom() const { return m_nZoom; }
    /// The zoom a selection of the zoom list gives: index -1 the typed number (clamped) or 4 when it is no
    /// number; another index the item's number clamped to 1 ... kMaxZoom.
    static int ZoomOfSelection(int index, const QString& itemText);
    int GetBrushSize() const { return m_nBrushSize; }
    QPoint GetScroll() const { return {m_nScrollX, m_nScrollY}; }
    void SetScroll(int x, int y);

    /// The palette entry under a dialog point: a label index, CMaskClass::kBackgroundBrush for the background
    /// swatch, -1 elsewhere.
    int PaletteIndexAt(const QPoint& point) const;
    /// The text after "掩膜绘制 " in the title.
    const std::wstring& GetReadout() const { return m_strReadout; }

    CMaskCanvas& GetCanvas() { return m_canvas; }
    CMaskView* GetView() const { return m_pView; }
    const CImgBuffer& GetDisplay() const { return m_display; }

public slots:
    void accept() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void LayoutControls();
    void ApplyZoomList();
    void OnBrushSizeChanged(int size);
    void UpdateScrollBars();
    /// The display buffer at the view's size, filled anew.
    void RefreshDisplayAll();
    /// Recomposes a region rectangle and enlarges it into the view.
    void RefreshRegion(const CRect& rect);
    /// The display point (enlarged-region pixels) under a dialog point.
    QPoint DisplayPoint(const QPoint& dialogPoint) const;
    bool IsInView(const QPoint& dialogPoint) const;
    bool IsOnImage(const QPoint& displayPoint) const;
    /// The region pixel under a display point.
    CPoint MaskPoint(const QPoint& displayPoint) const;
    /// The region rectangle spanned by two display points: clamped to the enlarged region, left and top
    /// divided by the zoom truncating, right and bottom upwards.
    CRect MaskRect(const QPoint& a, const QPoint& b) const;
    /// The window rectangle of a region rectangle.
    QRect WindowRect(const CRect& maskRect) const;
    void UpdateBrushOutline(const QPoint& displayPoint, bool shown);
    void SetReadout(const std::wstring& text);
    /// Runs one change of the layer as a history step and shows it.
    template <class F> void PaintStep(F&& paint);

    const CImgBuffer* m_pSource;
    CGraphBase* m_pItem;
    CMaskClass* m_pMaskClass;
    bool m_bShowMaskOnly;
    bool m_bSimplify;
    bool m_bInitialised = false;
    bool m_bItemChanged = false;

    CMaskCanvas m_canvas;
    CImgBuffer m_display;
    std::vector<uint8_t> m_ownClarity; ///< used when the process-wide table does not exist

    int m_nZoom = 2;
    int m_nBrushSize = 5;
    int m_nTool = kMove;
    int m_nScrollX = 0, m_nScrollY = 0;
    int m_nHoverIndex = -1;
    std::wstring m_strReadout;

    bool m_bStroking = false;
    bool m_bHasLastPaint = false;
    CPoint m_ptLastPaint;
    bool m_bHasBrushPos = false;
    QPoint m_ptLastBrush; ///< display point of the brush outline
    bool m_bCircle = false;
    QPoint m_ptCircleStart;
    bool m_bBand = false;
    QPoint m_ptBandStart;
    bool m_bCopyValid = false;
    CRect m_rcCopySource;
    bool m_bMovingTracker = false;
    QPoint m_ptMoveStart;
    bool m_bPanning = false;
    QPoint m_ptPanStart;
    int m_nPanScrollX = 0, m_nPanScrollY = 0;

    CCustomButton m_tools;
    CExpandBitmap m_bmpUp;
    CExpandBitmap m_bmpDown;
    CMaskView* m_pView = nullptr;
    QFrame* m_pFrame = nullptr;
    QScrollBar* m_pHScroll = nullptr;
    QScrollBar* m_pVScroll = nullptr;
    QLabel* m_pZoomLabel = nullptr;
    QComboBox* m_pZoomList = nullptr;
    QGroupBox* m_pRadiusGroup = nullptr;
    QSpinBox* m_pBrushSize = nullptr;
    QCheckBox* m_pShrink = nullptr;
    QPushButton* m_pRestore = nullptr;
    QPushButton* m_pOK = nullptr;
    QPushButton* m_pCancel = nullptr;
};
