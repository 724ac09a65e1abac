#include "datastruct/Note.h"

#include "datastruct/CopyHelpers.h"

bool CNote::CopyFrom(const CIDItem* other) {
    const auto* s = CopySourceAs<CNote>(other);
    if (!s || !CPolygon::CopyFrom(other))
        return false;
    m_strParameters = s->m_strParameters;
    m_areas.Copy(s->m_areas);
    return true;
}

int CNote::HitTestItems(int x, int y) {
    int hit = -1;
    for (int i = 0; i < m_areas.GetSize(); ++i)
        if (auto* shape = m_areas.GetAtAs<CGraphBase>(i); shape && shape->HitTest(x, y))
            hit = i;
    return hit;
}

void CNote::DrawItems(CImgBuffer* buffer, int /*dx*/, int /*dy*/, const CItemList* /*kernels*/,
                      COLORREF colour) {
    if (!buffer)
        return;
    for (int i = 0; i < m_areas.GetSize(); ++i) {
        if (auto* shape = m_areas.GetAtAs<CGraphBase>(i)) {
            shape->Draw(buffer, 0, 0, colour, colour, false, 1, 0);
            shape->DrawSelection(buffer, 0, 0);
        }
    }
}
