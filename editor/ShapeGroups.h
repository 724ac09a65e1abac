#pragma once
/// Small helpers shared by the selection and association code of the editor window. No Qt here.

#include "datastruct/Note.h"
#include "geometry/GraphBase.h"
#include "geometry/MaskArea.h"
#include "model/ItemList.h"

#include <algorithm>
#include <cstdint>
#include <limits>

/// The mask at the position of the list when it lies on the note's small sheet; null otherwise.
inline CMaskArea* MaskOnNote(CItemList& list, int position, const CNote* note) {
    auto* mask = dynamic_cast<CMaskArea*>(list.GetAt(position));
    return mask && note && mask->m_nSheetID == note->m_nID ? mask : nullptr;
}

/// A 64-bit value clamped to the int range.
inline int Clamped(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

/// The flags a press hands to the shapes: Ctrl keeps the other selections as Shift does.
inline unsigned KeepingFlags(unsigned flags) {
    flags |= MK_LBUTTON;
    if (flags & MK_CONTROL)
        flags |= MK_SHIFT;
    return flags;
}
