#pragma once
/// printf-style formatting into wide strings, taking the system's format strings as they stand
/// ("%d %s", "%.2f;%s", "Item%d", "%s%s"). Unlike the C functions it is type-safe: each argument is
/// captured with its type, "%s" takes a wide or a narrow string, "%d" an integer (a floating-point
/// argument is truncated), "%f" a number, "%c" a character, "%x"/"%X"/"%o"/"%u" unsigned values,
/// "%%" a percent sign. Length modifiers (h, l, ll, I64, z) are accepted and ignored. An argument
/// missing for a conversion formats as nothing; surplus arguments are ignored. Never throws for a bad
/// format: an unknown conversion is copied as it stands.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace zrk::detail {

struct FormatArg {
    enum Kind { Int, UInt, Double, WStr, Str, Ptr } kind = Int;
    long long i = 0;
    unsigned long long u = 0;
    double d = 0;
    std::wstring_view ws;
    std::string_view s;
    const void* p = nullptr;
};

template <class T> FormatArg MakeFormatArg(const T& v) {
    FormatArg a;
    using U = std::decay_t<T>;
    if constexpr (std::is_array_v<T> && std::is_same_v<std::remove_cv_t<std::remove_extent_t<T>>, wchar_t>) {
        a.kind = FormatArg::WStr;
        a.ws = std::wstring_view(v);
    } else if constexpr (std::is_array_v<T> && std::is_same_v<std::remove_cv_t<std::remove_extent_t<T>>, char>) {
        a.kind = FormatArg::Str;
        a.s = std::string_view(v);
    } else if constexpr (std::is_same_v<U, std::wstring> || std::is_same_v<U, std::wstring_view>) {
        a.kind = FormatArg::WStr;
        a.ws = v;
    } else if constexpr (std::is_same_v<U, const wchar_t*> || std::is_same_v<U, wchar_t*>) {
        a.kind = FormatArg::WStr;
        a.ws = v ? std::wstring_view(v) : std::wstring_view(L"(null)");
    } else if constexpr (std::is_same_v<U, std::string> || std::is_same_v<U, std::string_view>) {
        a.kind = FormatArg::Str;
        a.s = v;
    } else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
        a.kind = FormatArg::Str;
        a.s = v ? std::string_view(v) : std::string_view("(null)");
    } else if constexpr (std::is_floating_point_v<U>) {
        a.kind = FormatArg::Double;
        a.d = static_cast<double>(v);
    } else if constexpr (std::is_same_v<U, bool>) {
        a.i = v ? 1 : 0;
        a.u = a.i;
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
        a.i = static_cast<long long>(v);
        a.u = static_cast<unsigned long long>(a.i);
    } else if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {
        a.kind = FormatArg::UInt;
        a.u = static_cast<unsigned long long>(v);
        a.i = static_cast<long long>(a.u);
    } else if constexpr (std::is_pointer_v<U>) {
        a.kind = FormatArg::Ptr;
        a.p = static_cast<const void*>(v);
    } else {
        static_assert(std::is_arithmetic_v<U>, "Format: unsupported argument type");
    }
    return a;
}

std::wstring FormatArgs(std::wstring_view format, const FormatArg* args, size_t count);

} // namespace zrk::detail

/// Formats like CString::Format; see the file comment for the accepted conversions.
template <class... Args> std::wstring Format(std::wstring_view format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return zrk::detail::FormatArgs(format, nullptr, 0);
    } else {
        const zrk::detail::FormatArg list[] = {zrk::detail::MakeFormatArg(args)...};
        return zrk::detail::FormatArgs(format, list, sizeof...(Args));
    }
}
