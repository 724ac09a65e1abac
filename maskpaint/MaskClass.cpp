#include "maskpaint/MaskClass.h"

int CBrushInfo::Add(const std::wstring& name, uint8_t value) {
    m_arBrushes.push_back(CBrushEntry{name, value});
    return GetSize() - 1;
}

CBrushEntry* CBrushInfo::GetAt(int index) {
    return index >= 0 && index < GetSize() ? &m_arBrushes[static_cast<size_t>(index)] : nullptr;
}

const CBrushEntry* CBrushInfo::GetAt(int index) const {
    return index >= 0 && index < GetSize() ? &m_arBrushes[static_cast<size_t>(index)] : nullptr;
}

CMaskClass::CMaskClass() {
    MoveBar(m_rcBar.left, m_rcBar.top);
}

void CMaskClass::MoveBar(int left, int top) {
    const int width = m_rcBar.Width(), height = m_rcBar.Height();
    m_rcBar = CRect(left, top, left + width, top + height);
    const int x = m_rcBar.right;
    m_rcHover = CRect(x, top, x + 40, top + 85);
    m_rcCurrent = CRect(x, top + 85, x + 40, top + 170);
    m_rcBackground = CRect(x, top + 170, x + 40, top + 256);
}

uint8_t CMaskClass::GetCurrentValue() const {
    if (m_nCurBrush == kBackgroundBrush)
        return m_nBackValue;
    if (const CBrushEntry* brush = m_brushes.GetAt(m_nCurBrush))
        return brush->m_byValue;
    return 0;
}
