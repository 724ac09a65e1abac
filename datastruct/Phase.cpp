#include "datastruct/Phase.h"

#include "datastruct/CopyHelpers.h"
#include "geometry/MaskArea.h"

bool CPhase::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CPhase>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_notes.Copy(s->m_notes);
    m_areas.Copy(s->m_areas);
    m_strParameters = s->m_strParameters;
    m_coeffs.Copy(s->m_coeffs);
    return true;
}

int CPhase::ClearAreasOfNote(int noteID) {
    int removed = 0;
    for (int i = m_areas.GetSize() - 1; i >= 0; --i) {
        const auto* area = m_areas.GetAtAs<CMaskArea>(i);
        if (area && area->m_nSheetID == noteID && m_areas.RemoveAt(i))
            ++removed;
    }
    return removed;
}
