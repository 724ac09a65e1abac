#pragma once
/// A font with one extra operation: create it from a height and a face name.

#include <QFont>
#include <string>

class CMyFont : public QFont {
public:
    /// Makes this font the face `faceName` at `height` pixels (a negative height is taken by its
    /// magnitude, 0 keeps the default size): normal weight, no italic, underline or strike-out, default
    /// quality and a proportional sans-serif fallback (pitch and family value 32). True when a family
    /// was set.
    bool CreateFont(int height, const std::wstring& faceName);
};
