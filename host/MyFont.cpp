#include "host/MyFont.h"

bool CMyFont::CreateFont(int height, const std::wstring& faceName) {
    QFont font;
    if (!faceName.empty())
        font.setFamily(QString::fromStdWString(faceName));
    if (height != 0)
        font.setPixelSize(height < 0 ? -height : height);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setStyleHint(QFont::SansSerif, QFont::PreferDefault);  // pitch and family 32: proportional swiss
    static_cast<QFont&>(*this) = font;
    return !faceName.empty();
}
