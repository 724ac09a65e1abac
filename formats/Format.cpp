#include "formats/Format.h"

#include "formats/CodePage.h"

#include <clocale>
#include <cstdio>
#include <locale.h>
#include <cwchar>
#include <string>

namespace zrk::detail {
namespace {

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Pads or cuts a string conversion by width and precision; "-" pads on the right.
std::wstring ApplyWidth(std::wstring text, const std::string& flags, int width, int precision) {
    if (precision >= 0 && static_cast<size_t>(precision) < text.size())
        text.resize(static_cast<size_t>(precision));
    if (width > 0 && text.size() < static_cast<size_t>(width)) {
        const size_t pad = static_cast<size_t>(width) - text.size();
        if (flags.find('-') != std::string::npos)
            text.append(pad, L' ');
        else
            text.insert(0, pad, L' ');
    }
    return text;
}

std::string NumberSpec(const std::string& flags, int width, int precision, const char* length, char conv) {
    std::string pattern = "%" + flags;
    if (width > 0)
        pattern += std::to_string(width);
    if (precision >= 0)
        pattern += "." + std::to_string(precision);
    pattern += length;
    pattern += conv;
    return pattern;
}

// Numbers are written with the C locale's digits and decimal point whatever locale the process runs
// in (a Qt application adopts the user's): the texts become file contents that must read back alike.
class CLocaleScope {
public:
    CLocaleScope() : m_previous(m_cLocale ? ::uselocale(m_cLocale) : nullptr) {}
    ~CLocaleScope() {
        if (m_previous)
            ::uselocale(m_previous);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    static inline const locale_t m_cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    locale_t m_previous;
};

template <class T> std::string PrintNumber(const std::string& pattern, T value) {
    CLocaleScope cLocale;
    char small[128];
    int n = std::snprintf(small, sizeof small, pattern.c_str(), value);
    if (n < 0)
        return {};
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), pattern.c_str(), value);
    big.resize(static_cast<size_t>(n));
    return big;
}

} // namespace

std::wstring FormatArgs(std::wstring_view format, const FormatArg* args, size_t count) {
    std::wstring out;
    out.reserve(format.size() + 16 * count);
    size_t next = 0;
    auto take = [&]() -> const FormatArg* { return next < count ? &args[next++] : nullptr; };

    for (size_t i = 0; i < format.size(); ++i) {
        const wchar_t c = format[i];
        if (c != L'%') {
            out += c;
            continue;
        }
        const size_t start = i++;
        if (i < format.size() && format[i] == L'%') {
            out += L'%';
            continue;
        }
        std::string flags;
        while (i < format.size() && std::wcschr(L"-+ #0", format[i]) && format[i] != 0)
            flags += static_cast<char>(format[i++]);
        int width = 0;
        if (i < format.size() && format[i] == L'*') {
            const FormatArg* a = take();
            width = a ? static_cast<int>(a->i) : 0;
            if (width < 0) {
                flags += '-';
                width = -width;
            }
            ++i;
        } else {
            while (i < format.size() && format[i] >= L'0' && format[i] <= L'9' && width < 100000)
                width = width * 10 + (format[i++] - L'0');
        }
        int precision = -1;
        if (i < format.size() && format[i] == L'.') {
            ++i;
            precision = 0;
            if (i < format.size() && format[i] == L'*') {
                const FormatArg* a = take();
                precision = a ? static_cast<int>(a->i) : 0;
                if (precision < 0)
                    precision = -1;
                ++i;
            } else {
                while (i < format.size() && format[i] >= L'0' && format[i] <= L'9' && precision < 100000)
                    precision = precision * 10 + (format[i++] - L'0');
            }
        }
        // Length modifiers carry no meaning here: every argument arrives with its own type.
        while (i < format.size() && std::wcschr(L"hlLqjzt", format[i]) && format[i] != 0)
            ++i;
        if (format.substr(i, 3) == L"I64" || format.substr(i, 3) == L"I32")
            i += 3;
        if (i >= format.size()) {
            out.append(format.substr(start));
            break;
        }
        const wchar_t conv = format[i];
        switch (conv) {
        case L'd':
        case L'i': {
            const FormatArg* a = take();
            long long v = !a ? 0 : a->kind == FormatArg::Double ? static_cast<long long>(a->d) : a->i;
            if (a)
                out += Widen(PrintNumber(NumberSpec(flags, width, precision, "ll", 'd'), v));
            break;
        }
        case L'u':
        case L'x':
        case L'X':
        case L'o': {
            const FormatArg* a = take();
            unsigned long long v =
                !a ? 0 : a->kind == FormatArg::Double ? static_cast<unsigned long long>(a->d) : a->u;
            if (a) {
                // %x of a 32-bit negative value prints 8 digits, as the C function would.
                if (a->kind == FormatArg::Int && a->i < 0 && a->i >= INT32_MIN)
                    v &= 0xFFFFFFFFull;
                out += Widen(PrintNumber(NumberSpec(flags, width, precision, "ll", static_cast<char>(conv)), v));
            }
            break;
        }
        case L'f':
        case L'F':
        case L'e':
        case L'E':
        case L'g':
        case L'G':
        case L'a':
        case L'A': {
            const FormatArg* a = take();
            if (a) {
                double v = a->kind == FormatArg::Double ? a->d
                           : a->kind == FormatArg::UInt ? static_cast<double>(a->u)
                                                        : static_cast<double>(a->i);
                out += Widen(PrintNumber(NumberSpec(flags, width, precision, "", static_cast<char>(conv)), v));
            }
            break;
        }
        case L'c':
        case L'C': {
            const FormatArg* a = take();
            if (a) {
                std::wstring ch;
                if (a->kind == FormatArg::WStr || a->kind == FormatArg::Str)
                    ch = a->kind == FormatArg::WStr ? std::wstring(a->ws.substr(0, 1))
                                                    : Widen(std::string(a->s.substr(0, 1)));
                else
                    ch = std::wstring(1, static_cast<wchar_t>(a->u & 0x1FFFFF));
                out += ApplyWidth(ch, flags, width, -1);
            }
            break;
        }
        case L's':
        case L'S': {
            const FormatArg* a = take();
            if (a) {
                std::wstring text;
                if (a->kind == FormatArg::WStr)
                    text = a->ws;
                else if (a->kind == FormatArg::Str)
                    text = AnsiToWide(a->s);
                else if (a->kind == FormatArg::Double)
                    text = Widen(PrintNumber("%g", a->d));
                else
                    text = Widen(std::to_string(a->i));
                out += ApplyWidth(std::move(text), flags, width, precision);
            }
            break;
        }
        case L'p': {
            const FormatArg* a = take();
            if (a)
                out += Widen(PrintNumber("%p", a->p));
            break;
        }
        default:
            out.append(format.substr(start, i - start + 1));
            break;
        }
    }
    return out;
}

} // namespace zrk::detail
