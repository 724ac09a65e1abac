#include "datastruct/Kernel.h"

#include "datastruct/CopyHelpers.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

bool CKernel::CopyFrom(const CIDItem* other) {
    const auto* s = CopySourceAs<CKernel>(other);
    if (!s || !CPolygon::CopyFrom(other))
        return false;
    m_nPhaseID = s->m_nPhaseID;
    m_nSheetCol = s->m_nSheetCol;
    m_nSheetRow = s->m_nSheetRow;
    m_bSheetKernel = s->m_bSheetKernel;
    m_strParameters = s->m_strParameters;
    return true;
}

bool CKernel::RemovePoint(int /*index*/) {
    return false;
}

bool CKernel::InsertPointAtNearestEdge(int /*x*/, int /*y*/) {
    return true;
}

void CKernel::Move(int dx, int dy, int index) {
    if (index < 0 || m_points.size() != 4) {
        CPolygon::Move(dx, dy, index);
        return;
    }
    CheckIndex(index, "Move");
    // Corners 0 and 2 share x with their predecessor and y with their successor; 1 and 3 the reverse.
    const int prev = (index + 3) % 4, next = (index + 1) % 4;
    const int sharesX = index % 2 == 0 ? prev : next;
    const int sharesY = index % 2 == 0 ? next : prev;
    m_points[index].x += dx;
    m_points[index].y += dy;
    m_points[sharesX].x += dx;
    m_points[sharesY].y += dy;
}

void CKernel::SetRect(int left, int top, int right, int bottom) {
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    right = std::max(right, left + 1); // the smallest kernel is one pixel
    bottom = std::max(bottom, top + 1);
    m_points = {CPoint(left, top), CPoint(right - 1, top), CPoint(right - 1, bottom - 1),
                CPoint(left, bottom - 1)};
    m_pRelPoints.reset();
}

CRect CKernel::GetRect() const {
    if (m_points.empty())
        return CRect();
    CRect r;
    return GetBoundRect(&r);
}
