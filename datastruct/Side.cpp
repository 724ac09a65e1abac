#include "datastruct/Side.h"

#include "datastruct/CopyHelpers.h"
#include "geometry/MaskArea.h"

bool CSide::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CSide>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_nRefImageID = s->m_nRefImageID;
    m_nSplitID = s->m_nSplitID;
    m_strParameters = s->m_strParameters;
    m_phases.Copy(s->m_phases);
    m_threshMasks.Copy(s->m_threshMasks);
    m_customMasks.Copy(s->m_customMasks);
    return true;
}

int CSide::ClearThreshMasksOfNote(int noteID) {
    int removed = 0;
    for (int i = m_threshMasks.GetSize() - 1; i >= 0; --i) {
        const auto* mask = m_threshMasks.GetAtAs<CMaskArea>(i);
        if (mask && mask->m_nSheetID == noteID && m_threshMasks.RemoveAt(i))
            ++removed;
    }
    return removed;
}
