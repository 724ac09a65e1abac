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

std::wstring NextFreeTag(const std::wstring& tag, const std::function<bool(const std::wstring&)>& taken) {
    if (!taken(tag))
        return tag;
    size_t digits = tag.size();
    while (digits > 0 && tag[digits - 1] >= L'0' && tag[digits - 1] <= L'9')
        --digits;
    const std::wstring stem = tag.substr(0, digits);
    const std::wstring number = tag.substr(digits);
    const size_t width = number.size();
    // Counted in a wide integer: a tag ending in many digits never overflows, it only grows longer.
    unsigned long long next = tag.empty() ? 1 : 2;  // an area without a tag: its clone is "1"
    if (!number.empty() && number.size() < 18)
        next = std::stoull(number) + 1;
    else if (!number.empty())
        return NextFreeTag(tag + L"_2", taken);
    for (;; ++next) {
        std::wstring count = std::to_wstring(next);
        if (count.size() < width)
            count.insert(0, width - count.size(), L'0');
        const std::wstring candidate = stem + count;
        if (!taken(candidate))
            return candidate;
    }
}
