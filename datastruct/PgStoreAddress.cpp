// The addresses of server stores: libpq's connection URIs and lists of `key=value` parameters, and the
// passwords they may carry, which no message, log or argument list shows.

#include "datastruct/PgTemplateStore.h"

#include "formats/CodePage.h"

#include <libpq-fe.h>

namespace {

template <class Char>
bool IsSpace(Char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

template <class Char>
bool Equals(std::basic_string_view<Char> text, const char* ascii) {
    size_t i = 0;
    for (; ascii[i]; ++i)
        if (i >= text.size() || text[i] != static_cast<Char>(ascii[i]))
            return false;
    return i == text.size();
}

template <class Char>
bool IsUri(std::basic_string_view<Char> address, size_t& start) {
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        const std::string_view s(scheme);
        if (address.size() >= s.size() && Equals(address.substr(0, s.size()), scheme)) {
            start = s.size();
            return true;
        }
    }
    return false;
}

// A URI as libpq reads it: the user information is what comes before an '@' met before any '/'; the
// parameters follow the first '?' and are separated by '&'.
template <class Char>
void FindInUri(std::basic_string_view<Char> a, size_t start, std::vector<CPgTemplateStore::PasswordSpan>& out) {
    size_t p = start;
    while (p < a.size() && a[p] != '@' && a[p] != '/')
        ++p;
    if (p < a.size() && a[p] == '@') {
        for (size_t c = start; c < p; ++c)
            if (a[c] == ':') {
                if (c + 1 < p)
                    out.push_back({c + 1, p, true});
                break;
            }
    }
    const size_t query = a.find(static_cast<Char>('?'), p < a.size() ? p : start);
    if (query == std::basic_string_view<Char>::npos)
        return;
    size_t item = query + 1;
    while (item <= a.size()) {
        size_t end = a.find(static_cast<Char>('&'), item);
        if (end == std::basic_string_view<Char>::npos)
            end = a.size();
        const size_t eq = a.find(static_cast<Char>('='), item);
        if (eq != std::basic_string_view<Char>::npos && eq < end && Equals(a.substr(item, eq - item), "password") &&
            eq + 1 < end)
            out.push_back({eq + 1, end, false});
        item = end + 1;
    }
}

// `key = value` pairs separated by white space; a value may be quoted with '...' and hold \-escapes.
template <class Char>
void FindInParameters(std::basic_string_view<Char> a, std::vector<CPgTemplateStore::PasswordSpan>& out) {
    size_t p = 0;
    while (p < a.size()) {
        while (p < a.size() && IsSpace(a[p]))
            ++p;
        const size_t key = p;
        while (p < a.size() && a[p] != '=' && !IsSpace(a[p]))
            ++p;
        const std::basic_string_view<Char> name = a.substr(key, p - key);
        while (p < a.size() && IsSpace(a[p]))
            ++p;
        if (p >= a.size() || a[p] != '=')
            return;  // not a list of parameters: libpq refuses it
        ++p;
        while (p < a.size() && IsSpace(a[p]))
            ++p;
        const size_t value = p;
        if (p < a.size() && a[p] == '\'') {
            for (++p; p < a.size() && a[p] != '\''; ++p)
                if (a[p] == '\\' && p + 1 < a.size())
                    ++p;
            if (p < a.size())
                ++p;
        } else {
            for (; p < a.size() && !IsSpace(a[p]); ++p)
                if (a[p] == '\\' && p + 1 < a.size())
                    ++p;
        }
        if (Equals(name, "password") && p > value)
            out.push_back({value, p, false});
    }
}

template <class Char>
std::vector<CPgTemplateStore::PasswordSpan> Find(std::basic_string_view<Char> address) {
    std::vector<CPgTemplateStore::PasswordSpan> spans;
    size_t start = 0;
    if (IsUri(address, start))
        FindInUri(address, start, spans);
    else
        FindInParameters(address, spans);
    return spans;
}

} // namespace

std::vector<CPgTemplateStore::PasswordSpan> CPgTemplateStore::FindPasswords(std::string_view address) {
    return Find(address);
}

std::vector<CPgTemplateStore::PasswordSpan> CPgTemplateStore::FindPasswords(std::wstring_view address) {
    return Find(address);
}

std::wstring CPgTemplateStore::ShownAddress(const std::wstring& address) {
    std::wstring shown;
    size_t from = 0;
    for (const PasswordSpan& span : FindPasswords(std::wstring_view(address))) {
        if (span.userInfo) {
            shown.append(address, from, span.first - 1 - from);  // without the ':' before it
        } else {
            shown.append(address, from, span.first - from);
            shown += L"***";
        }
        from = span.last;
    }
    shown.append(address, from, std::wstring::npos);
    return shown;
}

bool CPgTemplateStore::IsParameterAddress(const std::wstring& address) {
    // A keyword first, then '=': a path such as "Home/Templates.db" never is one.
    size_t p = 0;
    while (p < address.size() && IsSpace(address[p]))
        ++p;
    const size_t key = p;
    while (p < address.size() && ((address[p] >= L'a' && address[p] <= L'z') || address[p] == L'_'))
        ++p;
    while (p < address.size() && IsSpace(address[p]))
        ++p;
    if (p == key || p >= address.size() || address[p] != L'=')
        return false;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(WideToUtf8(address).c_str(), &error);
    if (error)
        PQfreemem(error);
    if (!options)
        return false;
    PQconninfoFree(options);
    return true;
}

std::wstring ShownStoreAddress(const std::wstring& address) {
    return IsServerStoreAddress(address) ? CPgTemplateStore::ShownAddress(address) : address;
}

int HideAddressPasswords(int argc, char** argv) {
    int hidden = 0;
    for (int i = 1; i < argc; ++i) {
        if (!argv[i] || !IsServerStoreAddress(Utf8ToWide(argv[i])))
            continue;
        for (const CPgTemplateStore::PasswordSpan& span : CPgTemplateStore::FindPasswords(std::string_view(argv[i]))) {
            for (size_t c = span.first; c < span.last; ++c)
                argv[i][c] = '*';
            ++hidden;
        }
    }
    return hidden;
}
