#pragma once
/// The paint labels of the mask drawing dialog: a named set of labels (each a name and a grey value), the
/// label treated as background, the label chosen now, and where the dialog draws the palette bar and its
/// three swatches (hover, current, background).
///
/// The editor fills it with "需要处理的数据" = 255 (painting adds to the mask) and "不需要处理的数据" = 0
/// (painting removes from it), background value 0.

#include "support/Geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// One paint label: a name and the grey value it paints.
struct CBrushEntry {
    std::wstring m_strName;
    uint8_t m_byValue = 0;
};

/// The owned array of labels.
class CBrushInfo {
public:
    int GetSize() const { return static_cast<int>(m_arBrushes.size()); }
    /// Appends a label; returns its index.
    int Add(const std::wstring& name, uint8_t value);
    /// The label at index; null outside 0 ... size - 1.
    CBrushEntry* GetAt(int index);
    const CBrushEntry* GetAt(int index) const;
    void RemoveAll() { m_arBrushes.clear(); }

private:
    std::vector<CBrushEntry> m_arBrushes;
};

class CMaskClass {
public:
    /// `m_nCurBrush` selecting the background value instead of a label.
    static constexpr int kBackgroundBrush = -2;

    CMaskClass();
    virtual ~CMaskClass() = default;

    /// Moves the palette bar to (left, top), keeping its size, and places the three swatches, each 40 wide,
    /// right of it: hover from top to top + 85, current from top + 85 to top + 170, background from
    /// top + 170 to top + 256.
    void MoveBar(int left, int top);

    /// The value the current label paints: its value, `m_nBackValue` for kBackgroundBrush, 0 otherwise.
    uint8_t GetCurrentValue() const;

    std::wstring m_strName;
    std::wstring m_strRemark;
    std::wstring m_strThird;
    std::vector<std::wstring> m_arStrings; ///< kept for the owner; the dialog does not use it

    CRect m_rcBar{0, 0, 40, 256};
    CRect m_rcHover;
    CRect m_rcCurrent;
    CRect m_rcBackground;

    uint8_t m_nBackValue = 0;
    int m_nCurBrush = 0;
    CBrushInfo m_brushes;
};
