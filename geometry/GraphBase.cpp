#include "geometry/GraphBase.h"

#include "geometry/ImgBuffer.h"
#include "geometry/ImgGraphic.h"
#include "geometry/PolygonRaster.h"

#include <chrono>

namespace {

constexpr int kHandleHalf = 3; // handle squares reach 3 pixels left/up of a vertex, 2 right/down
constexpr COLORREF kSelectionGreen = 0x00FF00;
constexpr COLORREF kGrabbedYellow = 0x64FFFF;

} // namespace

// ---- CPressTimer ----

CPressTimer::CPressTimer()
    : m_nFrequency(std::chrono::steady_clock::period::den / std::chrono::steady_clock::period::num),
      m_nStart(Now()) {}

int64_t CPressTimer::Now() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

float CPressTimer::GetElapsedSeconds(bool restart) {
    const int64_t now = Now();
    const float seconds =
        static_cast<float>(static_cast<double>(now - m_nStart) / static_cast<double>(m_nFrequency));
    if (restart)
        m_nStart = now;
    return seconds;
}

// ---- CGraphBase ----

CGraphBase::CGraphBase() = default;

CGraphBase::~CGraphBase() {
    delete m_pBackup;
}

std::wstring CGraphBase::GetName() const {
    return {};
}

bool CGraphBase::CopyFrom(const CIDItem* other) {
    if (!CIDItem::CopyFrom(other))
        return false;
    const auto* shape = dynamic_cast<const CGraphBase*>(other);
    if (!shape || shape == this)
        return true;
    m_bLocked = shape->m_bLocked;
    m_bHighlight = shape->IsHighlighted() ? 1 : 0;
    m_bSelected = shape->IsSelected() ? 1 : 0;
    m_nSelHandle = shape->GetSelectedHandle();
    m_nOffsetX = shape->m_nOffsetX;
    m_nOffsetY = shape->m_nOffsetY;
    m_nDragMode = shape->m_nDragMode;
    m_ptAnchor = shape->GetAnchorPoint();
    return true;
}

void CGraphBase::DrawSelection(CImgBuffer* buffer, int dx, int dy) {
    if (!m_bHighlight && !m_bSelected)
        return;
    Draw(buffer, dx, dy, kSelectionGreen, 0, false, 1, 0);
    if (!m_bSelected)
        return;
    CImgGraphic graphic(CImgLocation(0, 0));
    graphic.Create();
    const int count = GetPointCount();
    for (int i = 0; i < count; ++i) {
        const CPoint p = GetPoint(i);
        // Vertices, offsets and the shift may each sit near the int limits: add in 64 bits, then clamp far
        // outside any image, so a far-away square stays far away instead of wrapping into view.
        const int64_t x = int64_t(p.x) + m_nOffsetX + dx;
        const int64_t y = int64_t(p.y) + m_nOffsetY + dy;
        graphic.SetColor(CImgDataRGB::FromColorRef(i == m_nSelHandle ? kGrabbedYellow : kSelectionGreen));
        graphic.Rectangle(buffer, ClampCoord(x - kHandleHalf), ClampCoord(y - kHandleHalf),
                          ClampCoord(x + kHandleHalf), ClampCoord(y + kHandleHalf), false);
    }
    graphic.Destroy();
}

bool CGraphBase::IsSelected() const {
    return m_bSelected != 0;
}

void CGraphBase::SetSelected(bool selected) {
    m_bSelected = selected ? 1 : 0;
}

int CGraphBase::GetSelectedHandle() const {
    return m_nSelHandle;
}

void CGraphBase::SetSelectedHandle(int handle) {
    m_nSelHandle = handle;
}

bool CGraphBase::IsHighlighted() const {
    return m_bHighlight != 0;
}

CPoint CGraphBase::GetAnchorPoint() const {
    return m_ptAnchor;
}

CGraphBase* CGraphBase::GetBackup() const {
    return m_pBackup;
}

CGraphBase* CGraphBase::CreateBackupLike(const CGraphBase* prototype) {
    CGraphBase* fresh = prototype ? prototype->NewInstance() : nullptr;
    delete m_pBackup; // callers call this only without a snapshot; never leak one that exists
    m_pBackup = fresh;
    return m_pBackup;
}

void CGraphBase::OnLButtonDown(unsigned flags, int x, int y) {
    m_pressTimer.Restart();
    m_nSelHandle = -1;
    const int count = GetPointCount();
    for (int i = 0; i < count; ++i) {
        const CPoint p = GetPoint(i);
        // [x - 3, x + 3) x [y - 3, y + 3), computed in 64 bits so that vertices near the int limits are safe
        const int64_t left = int64_t(p.x) - kHandleHalf, top = int64_t(p.y) - kHandleHalf;
        if (x >= left && x < left + 2 * kHandleHalf && y >= top && y < top + 2 * kHandleHalf) {
            m_nSelHandle = i;
            break;
        }
    }
    const bool inside = HitTest(x, y);
    if (inside || m_nSelHandle >= 0)
        m_bSelected = 1;
    else if (!(flags & MK_SHIFT))
        m_bSelected = 0;

    if (m_bSelected) {
        m_ptAnchor = CPoint(x, y);
        m_nDragMode = m_nSelHandle >= 0 ? 2 : 1;
        if (!m_pBackup)
            m_pBackup = NewInstance();
        m_pBackup->CopyFrom(this);
    }
    if (m_bLocked)
        m_nDragMode = 0;
}

void CGraphBase::OnLButtonUp(unsigned, int, int) {
    if (!m_bLocked)
        m_nDragMode = 0;
}

void CGraphBase::OnMouseMove(unsigned flags, int x, int y, int delayMs) {
    if (m_bLocked)
        return;
    if (!(m_pressTimer.GetElapsedSeconds(false) > static_cast<float>(delayMs / 1000.0)))
        return;
    switch (m_nDragMode) {
    case 0:
        m_bHighlight = (HitTest(x, y) || (flags & MK_SHIFT)) ? 1 : 0;
        break;
    case 1:
        if (m_pBackup)
            CopyFrom(m_pBackup);
        Move(x - m_ptAnchor.x, y - m_ptAnchor.y, -1);
        break;
    case 2:
        if (m_nSelHandle >= 0) {
            if (m_pBackup)
                CopyFrom(m_pBackup);
            if (m_nSelHandle < GetPointCount()) // the snapshot may hold fewer vertices than the handle says
                Move(x - m_ptAnchor.x, y - m_ptAnchor.y, m_nSelHandle);
        }
        break;
    default:
        break;
    }
}

void CGraphBase::OnLButtonDblClk(unsigned, int, int) {
    if (!m_bLocked)
        m_nDragMode = 0;
}

void CGraphBase::OnPointerHook(unsigned, int, int) {}

void CGraphBase::OnKeyDown(uint16_t keyCode) {
    if (m_bLocked || !m_bSelected)
        return;
    const int count = GetPointCount();
    // A handle left over from an edit that removed vertices moves nothing instead of throwing.
    const bool handleValid = m_nSelHandle < count;
    switch (keyCode) {
    case VK_LEFT:
        if (handleValid)
            Move(-1, 0, m_nSelHandle);
        break;
    case VK_UP:
        if (handleValid)
            Move(0, -1, m_nSelHandle);
        break;
    case VK_RIGHT:
        if (handleValid)
            Move(1, 0, m_nSelHandle);
        break;
    case VK_DOWN:
        if (handleValid)
            Move(0, 1, m_nSelHandle);
        break;
    case VK_DELETE:
        if (m_nSelHandle >= 0 && count > 3)
            RemovePoint(m_nSelHandle);
        break;
    default:
        break;
    }
}
