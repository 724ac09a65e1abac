// The mask drawing dialog: the tools, the palette, undo and OK (what the operator's presses, moves and
// releases do). Construction, the display and the events are in MaskDraw.cpp.

#include "maskpaint/MaskDraw.h"

#include "dialogs/InputBox.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/GraphBase.h"
#include "geometry/PolygonEx.h"
#include "maskpaint/MaskClass.h"
#include "maskpaint/MaskView.h"
#include "support/Prompter.h"

#include <QGroupBox>

#include <algorithm>
#include <cwctype>
#include <iterator>

namespace {

QRect ToQRect(const CRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The zoom steps of Ctrl+wheel.
constexpr int kZoomSteps[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20, 25, 30};

// The colour value typed into the input box: a decimal integer (leading blanks, optional sign, digits),
// truncated to 8 bits; false when the text holds no number.
bool ParseColourValue(const std::wstring& text, uint8_t& value) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    if (i >= text.size() || text[i] < L'0' || text[i] > L'9')
        return false;
    uint32_t number = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        number = number * 10 + static_cast<uint32_t>(text[i] - L'0'); // wraps: only the low byte counts
    value = static_cast<uint8_t>(negative ? 0u - number : number);
    return true;
}

} // namespace

// ---- tools ----

void CMaskDraw::SelectTool(int tool) {
    if (tool < kMove || tool > kBrush)
        return;
    m_nTool = tool;
    m_tools.m_nSelected = tool;
    m_pRadiusGroup->setVisible(tool == kBrush);
    if (tool != kBrush)
        UpdateBrushOutline(QPoint(), false);
    if (tool != kCopy) {
        m_bCopyValid = false;
        m_pView->SetTracker(QRect());
    }
    m_bBand = m_bCircle = m_bMovingTracker = false;
    m_pView->SetBand(QRect(), false);
    update();
}

void CMaskDraw::OnBrushSizeChanged(int size) {
    if (size < 1 || size > 500)
        return;
    m_nBrushSize = size;
    if (m_bHasBrushPos)
        UpdateBrushOutline(m_ptLastBrush, true);
}

template <class F> void CMaskDraw::PaintStep(F&& paint) {
    m_canvas.m_history.BeginStep(m_canvas.GetLayer().GetMat());
    const CRect changed = paint();
    m_canvas.m_history.EndStep(m_canvas.GetLayer().GetMat());
    RefreshRegion(changed);
}

void CMaskDraw::OnRestore() {
    if (!m_bInitialised)
        return;
    m_bStroking = false;
    PaintStep([&] { return m_canvas.Restore(); });
}

bool CMaskDraw::Undo() {
    CRect changed;
    if (m_bStroking || !m_canvas.m_history.Undo(m_canvas.GetLayer().GetMat(), &changed))
        return false;
    RefreshRegion(changed);
    return true;
}

bool CMaskDraw::Redo() {
    CRect changed;
    if (m_bStroking || !m_canvas.m_history.Redo(m_canvas.GetLayer().GetMat(), &changed))
        return false;
    RefreshRegion(changed);
    return true;
}

int CMaskDraw::PaletteIndexAt(const QPoint& point) const {
    if (!m_pMaskClass)
        return -1;
    const CRect& bar = m_pMaskClass->m_rcBar;
    const int count = m_pMaskClass->m_brushes.GetSize();
    const int x = point.x(), y = point.y();
    if (count > 0 && x >= bar.left && x < bar.right && y >= bar.top && y < bar.bottom) {
        const int segment = count == 1 ? 255 : 256 / count;
        const int index = (y - bar.top) / segment;
        return index < count ? index : -1;
    }
    const CRect& back = m_pMaskClass->m_rcBackground;
    if (x >= back.left && x < back.right && y >= back.top && y < back.bottom)
        return CMaskClass::kBackgroundBrush;
    return -1;
}

void CMaskDraw::OnLButtonDown(unsigned flags, const QPoint& point) {
    if (!m_bInitialised)
        return;
    if (const int tool = m_tools.ButtonAt(point.x(), point.y()); tool >= 0) {
        SelectTool(tool);
        return;
    }
    if (const int index = PaletteIndexAt(point); index != -1) {
        m_pMaskClass->m_nCurBrush = index;
        update();
        return;
    }
    if (IsInView(point)) {
        const QPoint p = DisplayPoint(point);
        switch (m_nTool) {
        case kMove:
            m_bPanning = true;
            m_ptPanStart = point;
            m_nPanScrollX = m_nScrollX;
            m_nPanScrollY = m_nScrollY;
            break;
        case kRectangle:
            m_bBand = true;
            m_ptBandStart = p;
            break;
        case kCircle:
            m_bCircle = true;
            m_ptCircleStart = p;
            break;
        case kCopy:
            if (m_bCopyValid && WindowRect(m_rcCopySource).contains(point - m_pView->pos())) {
                m_bMovingTracker = true;
                m_ptMoveStart = p;
            } else {
                m_bBand = true;
                m_ptBandStart = p;
            }
            break;
        case kBrush:
            if (IsOnImage(p)) {
                m_bStroking = true;
                m_bHasLastPaint = false;
                m_canvas.m_history.BeginStep(m_canvas.GetLayer().GetMat());
            }
            break;
        }
    }
    OnMouseMove(flags, point); // the brush paints at the press point
}

void CMaskDraw::OnMouseMove(unsigned flags, const QPoint& point) {
    if (!m_bInitialised)
        return;
    const bool left = (flags & MK_LBUTTON) != 0;
    // The read-out.
    const int palette = PaletteIndexAt(point);
    const QPoint p = DisplayPoint(point);
    if (palette != m_nHoverIndex && (palette != -1 || m_nHoverIndex != -1)) {
        m_nHoverIndex = palette;
        update(ToQRect(m_pMaskClass->m_rcHover).adjusted(-3, -3, 3, 3));
    }
    if (palette == CMaskClass::kBackgroundBrush) {
        SetReadout(Translate(L"背景"));
    } else if (palette >= 0) {
        if ((flags & (MK_CONTROL | MK_SHIFT)) == MK_CONTROL)
            SetReadout(Format(Translate(L"画笔 %d").c_str(), palette));
        else
            SetReadout(m_pMaskClass->m_brushes.GetAt(palette)->m_strName);
    } else {
        const CPoint m = MaskPoint(p);
        const int v = m_canvas.GetMaskValue(m.x, m.y);
        SetReadout(Format(L"(%d:%d) R:%d G:%d B:%d", std::max(p.x(), 0), std::max(p.y(), 0), v, v, v));
    }

    const bool onImage = IsInView(point) && IsOnImage(p);
    switch (m_nTool) {
    case kBrush:
        if (onImage) {
            if (left && m_bStroking) {
                const CPoint m = MaskPoint(p);
                const CPoint from = m_bHasLastPaint ? m_ptLastPaint : m;
                const CRect changed = m_canvas.PaintStroke(
                    from, m, m_nBrushSize / 2, m_pMaskClass ? m_pMaskClass->GetCurrentValue() : 0);
                m_ptLastPaint = m;
                m_bHasLastPaint = true;
                RefreshRegion(changed);
            }
            UpdateBrushOutline(p, true);
        } else {
            UpdateBrushOutline(p, false);
            m_bHasLastPaint = false; // a stroke that leaves the image starts again where it comes back
        }
        break;
    case kCircle:
        if (left && m_bCircle)
            m_pView->SetBand(WindowRect(MaskRect(m_ptCircleStart, p)), true);
        break;
    case kRectangle:
    case kCopy:
        if (left && m_bBand) {
            m_pView->SetBand(WindowRect(MaskRect(m_ptBandStart, p)), false);
        } else if (left && m_bMovingTracker) {
            const CPoint from = MaskPoint(m_ptMoveStart), to = MaskPoint(p);
            CRect moved = m_rcCopySource;
            moved.OffsetRect(to.x - from.x, to.y - from.y);
            m_pView->SetTracker(WindowRect(moved));
        }
        break;
    case kMove:
        if (left && m_bPanning) {
            if (!IsInView(point)) {
                m_bPanning = false;
                m_pView->unsetCursor();
                break;
            }
            m_pView->setCursor(Qt::SizeAllCursor);
            const int x = m_nPanScrollX + m_ptPanStart.x() - point.x();
            const int y = m_nPanScrollY + m_ptPanStart.y() - point.y();
            SetScroll(x >= 0 ? x : m_nScrollX, y >= 0 ? y : m_nScrollY);
        }
        break;
    }
}

void CMaskDraw::OnLButtonUp(unsigned /*flags*/, const QPoint& point) {
    if (!m_bInitialised)
        return;
    if (m_bPanning) {
        m_bPanning = false;
        m_pView->unsetCursor();
    }
    const QPoint p = DisplayPoint(point);
    const uint8_t value = m_pMaskClass ? m_pMaskClass->GetCurrentValue() : 0;
    if (m_bStroking) {
        m_bStroking = false;
        m_bHasLastPaint = false;
        m_canvas.m_history.EndStep(m_canvas.GetLayer().GetMat());
    }
    if (m_bCircle) {
        m_bCircle = false;
        m_pView->SetBand(QRect(), false);
        const CRect r = MaskRect(m_ptCircleStart, p);
        if (r.Width() > 0 && r.Height() > 0)
            PaintStep([&] { return m_canvas.FillEllipse(r, value); });
    }
    if (m_bBand) {
        m_bBand = false;
        m_pView->SetBand(QRect(), false);
        const CRect r = MaskRect(m_ptBandStart, p);
        if (m_nTool == kRectangle) {
            PaintStep([&] { return m_canvas.FillRect(r, value); });
        } else if (std::abs(p.x() - m_ptBandStart.x()) < 5 || r.IsRectEmpty()) {
            m_bCopyValid = false; // too narrow to be a source
            m_pView->SetTracker(QRect());
        } else {
            // A band with the remembered source's width or height takes a copy of the source at its top-left
            // corner; any band becomes the source from now on.
            if (m_bCopyValid && (r.Width() == m_rcCopySource.Width() || r.Height() == m_rcCopySource.Height())) {
                const CRect source = m_rcCopySource;
                PaintStep([&] { return m_canvas.CopyRect(source, CPoint{r.left, r.top}); });
            }
            m_bCopyValid = true;
            m_rcCopySource = r;
            m_pView->SetTracker(WindowRect(r));
        }
    }
    if (m_bMovingTracker) {
        m_bMovingTracker = false;
        const CPoint from = MaskPoint(m_ptMoveStart), to = MaskPoint(p);
        CRect moved = m_rcCopySource;
        moved.OffsetRect(to.x - from.x, to.y - from.y);
        if (moved != m_rcCopySource) {
            const CRect source = m_rcCopySource;
            PaintStep([&] { return m_canvas.CopyRect(source, CPoint{moved.left, moved.top}); });
            m_rcCopySource = moved;
        }
        m_pView->SetTracker(WindowRect(m_rcCopySource));
    }
}

void CMaskDraw::OnLButtonDblClk(unsigned /*flags*/, const QPoint& point) {
    if (!m_bInitialised || !m_pMaskClass)
        return;
    const int index = PaletteIndexAt(point);
    if (index == -1 && !m_bShowMaskOnly)
        return;
    CBrushEntry* brush = m_pMaskClass->m_brushes.GetAt(index);
    std::wstring text = brush ? Format(L"%d", brush->m_byValue) : std::wstring();
    CInputBox box(Translate(L"请输入颜色值(0-255)"), Translate(L"输入数据"), text, this);
    if (box.DoModal() != QDialog::Accepted)
        return;
    uint8_t value = 0;
    if (!ParseColourValue(text, value))
        return; // no number: nothing changes
    m_pMaskClass->m_nCurBrush = index;
    if (brush)
        brush->m_byValue = value;
    update();
}

void CMaskDraw::OnMouseWheel(int delta, unsigned flags, const QPoint& point) {
    if (!m_bInitialised)
        return;
    if (flags & MK_CONTROL) {
        const int* step = std::find(std::begin(kZoomSteps), std::end(kZoomSteps), m_nZoom);
        int index = step != std::end(kZoomSteps) ? int(step - std::begin(kZoomSteps)) : 0;
        if (step == std::end(kZoomSteps)) // a typed zoom between the steps: start from the step below
            while (index + 1 < int(std::size(kZoomSteps)) && kZoomSteps[index + 1] < m_nZoom)
                ++index;
        index = std::clamp(index + (delta > 0 ? 1 : delta < 0 ? -1 : 0), 0, int(std::size(kZoomSteps)) - 1);
        SetZoom(kZoomSteps[index], point - m_pView->pos());
        return;
    }
    SetScroll(m_nScrollX, std::max(0, m_nScrollY - static_cast<int16_t>(delta)));
}

void CMaskDraw::accept() {
    if (!m_bInitialised) {
        QDialog::accept();
        return;
    }
    if (m_bStroking) {
        m_bStroking = false;
        m_canvas.m_history.EndStep(m_canvas.GetLayer().GetMat());
    }
    // An untouched layer leaves the outline as it is: tracing it again would move the vertices each time.
    if (m_canvas.IsUnchanged()) {
        m_bItemChanged = false;
        QDialog::accept();
        return;
    }
    std::vector<CPoint> outer;
    std::vector<std::vector<CPoint>> holes;
    if (m_canvas.TraceOutline(m_bSimplify, outer, holes) == CMaskCanvas::TraceResult::Split) {
        ZrkMessageBox(Translate(L"一个图形不能被分割,请把分散的图像连在一起!"), Translate(L"掩模绘制"),
                      MB_OK | MB_ICONWARNING);
        return;
    }
    m_pItem->ClearPoints();
    if (!outer.empty()) {
        m_pItem->SetPoints(outer);
        if (auto* withHoles = dynamic_cast<CPolygonEx*>(m_pItem)) {
            for (const std::vector<CPoint>& points : holes) {
                auto* hole = new CPolygonEx;
                hole->SetPoints(points);
                withHoles->m_children.Add(hole);
            }
        }
    }
    m_bItemChanged = true;
    QDialog::accept();
}
