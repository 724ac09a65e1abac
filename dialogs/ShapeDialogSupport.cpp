#include "dialogs/ShapeDialogSupport.h"

#include "datastruct/InspType.h"
#include "formats/LanguagePack.h"
#include "formats/Utility.h"

#include <QString>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

std::wstring GetTypeScriptPath(const CInspType* type, const std::wstring& file) {
    std::wstring path = GetExeFolder() + L"PlugIns/";
    if (type && !type->m_strName.empty())
        path += type->m_strName + L"/";
    return path + file;
}

double ReadDecimal(const std::wstring& text, bool* finite) {
    // The "C" locale's decimal point whatever the process locale (a Qt program adopts the user's, whose
    // point may be a comma). strtod_l reads the longest number at the start, 0 when there is none.
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    std::string narrow;
    for (wchar_t c : text) {
        if (c >= 0x80 || c == 0)
            break; // no number goes on past a character outside ASCII
        narrow += static_cast<char>(c);
    }
    double value =
        cLocale ? strtod_l(narrow.c_str(), nullptr, cLocale) : std::strtod(narrow.c_str(), nullptr);
    if (finite)
        *finite = std::isfinite(value);
    return value;
}

QString TrQ(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}
