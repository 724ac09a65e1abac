#include "formats/CodePage.h"

#include "formats/IniFile.h"
#include "formats/Utility.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <iterator>
#include <map>
#include <mutex>

namespace {

constexpr wchar_t kReplacement = 0xFFFD;
constexpr int kUtf8 = 65001;

int g_ansiCodePage = 0; // 0: not read yet

bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// One converter per direction and code page, opened on first use and kept; iconv_t is not
// re-entrant, so every use holds the lock.
class IconvCache {
public:
    ~IconvCache() {
        for (auto& [key, cd] : m_converters)
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
    }
    // toWide: code page -> UTF-32LE; otherwise UTF-32LE -> code page.
    iconv_t Get(int codePage, bool toWide) {
        auto key = std::make_pair(codePage, toWide);
        auto it = m_converters.find(key);
        if (it != m_converters.end())
            return it->second;
        const std::string name = CodePageToIconvName(codePage);
        iconv_t cd = toWide ? iconv_open("UTF-32LE", name.c_str()) : iconv_open(name.c_str(), "UTF-32LE");
        m_converters.emplace(key, cd);
        return cd;
    }
    std::mutex m_lock;

private:
    std::map<std::pair<int, bool>, iconv_t> m_converters;
};

IconvCache& Cache() {
    static IconvCache cache;
    return cache;
}

int ResolveCodePage(int codePage) { return codePage == -1 ? GetAnsiCodePage() : codePage; }

struct Composition {
    uint32_t base;
    uint32_t mark;
    uint32_t composed;
};

constexpr Composition kCompositions[] = {
#include "formats/CompositionTable.inc"
};

// The precomposed character of a base character and a combining mark; 0 when there is none.
uint32_t Compose(uint32_t base, uint32_t mark) {
    if (mark < 0x0300)
        return 0; // every combining mark lies above
    const Composition* end = std::end(kCompositions);
    const Composition* it = std::lower_bound(std::begin(kCompositions), end, Composition{base, mark, 0},
                                             [](const Composition& a, const Composition& b) {
                                                 return a.base != b.base ? a.base < b.base : a.mark < b.mark;
                                             });
    return it != end && it->base == base && it->mark == mark ? it->composed : 0;
}

// Whether the converter (UTF-32LE to a code page) holds the character; leaves it in its initial state.
bool Encodable(iconv_t cd, uint32_t c) {
    char* in = reinterpret_cast<char*>(&c);
    size_t inLeft = sizeof c;
    char buffer[16];
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return rc != static_cast<size_t>(-1) && inLeft == 0;
}

// The text as the code page is written from: a base character and a following combining mark become
// their precomposed character when the code page holds it; otherwise both stay separate, so that the
// mark alone is unconvertible.
std::u32string ComposeFor(iconv_t cd, std::wstring_view text) {
    std::u32string source;
    source.reserve(text.size());
    for (wchar_t wc : text) {
        const uint32_t c = static_cast<uint32_t>(wc);
        if (!source.empty()) {
            const uint32_t composed = Compose(source.back(), c);
            if (composed && Encodable(cd, composed)) {
                source.back() = composed;
                continue;
            }
        }
        source.push_back(c);
    }
    return source;
}

} // namespace

std::string CodePageToIconvName(int codePage) {
    switch (codePage) {
    case 65001: return "UTF-8";
    case 936: return "GBK";
    case 54936: return "GB18030";
    case 950: return "BIG5";
    case 932: return "CP932";
    case 949: return "CP949";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 20127: return "ASCII";
    case 20936: return "GB2312";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28605: return "ISO-8859-15";
    case 20866: return "KOI8-R";
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    default: return "CP" + std::to_string(codePage);
    }
}

bool IsCodePageSupported(int codePage) {
    if (codePage == kUtf8)
        return true;
    if (codePage <= 0)
        return false;
    std::lock_guard guard(Cache().m_lock);
    return Cache().Get(codePage, true) != reinterpret_cast<iconv_t>(-1) &&
           Cache().Get(codePage, false) != reinterpret_cast<iconv_t>(-1);
}

int GetAnsiCodePage() {
    if (g_ansiCodePage > 0)
        return g_ansiCodePage;
    g_ansiCodePage = kUtf8; // also what reading config.ini below itself uses
    const std::wstring path = GetExeFolder() + L"config.ini";
    if (IsExistingFile(path)) {
        CIniFile ini;
        ini.m_file.m_nFileCodePage = kUtf8;
        if (ini.Load(path)) {
            int page = ini.GetInt(L"General", L"AnsiCodePage", kUtf8);
            if (page > 0 && IsCodePageSupported(page))
                g_ansiCodePage = page;
        }
    }
    return g_ansiCodePage;
}

void SetAnsiCodePage(int codePage) { g_ansiCodePage = codePage > 0 ? codePage : 0; }

std::wstring Utf8ToWide(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        size_t len = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
            min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
            min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
            min = 0x10000;
        }
        if (len == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3F);
        if (k < len || cp < min || cp > 0x10FFFF || IsSurrogate(cp)) {
            out += kReplacement; // the lead byte and the continuation bytes seen are one bad sequence
            i += k;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (IsSurrogate(c) || c > 0x10FFFF)
            c = kReplacement;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Utf16LeToWide(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size() / 2 + 1);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t units = bytes.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        const uint32_t u = p[2 * i] | (p[2 * i + 1] << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const uint32_t v = p[2 * i + 2] | (p[2 * i + 3] << 8);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++i;
                continue;
            }
        }
        out += IsSurrogate(u) ? kReplacement : static_cast<wchar_t>(u);
    }
    if (bytes.size() % 2 != 0)
        out += kReplacement;
    return out;
}

std::string WideToUtf16Le(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    auto put = [&out](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF)
            c = kReplacement;
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c); // a lone surrogate in the text is written as it stands, as Windows does
        }
    }
    return out;
}

std::wstring DecodeText(std::string_view bytes, int codePage) {
    codePage = ResolveCodePage(codePage);
    if (codePage == kUtf8)
        return Utf8ToWide(bytes);
    if (codePage == 1200)
        return Utf16LeToWide(bytes);
    std::wstring out;
    if (bytes.empty())
        return out;
    std::lock_guard guard(Cache().m_lock);
    iconv_t cd = Cache().Get(codePage, true);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return Utf8ToWide(bytes); // unknown code page: read as UTF-8 rather than lose the text
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    uint32_t buffer[1024];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer);
        size_t outLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        const size_t produced = (sizeof buffer - outLeft) / 4;
        for (size_t k = 0; k < produced; ++k)
            out += static_cast<wchar_t>(buffer[k]);
        if (rc != static_cast<size_t>(-1))
            break;
        if (err == E2BIG)
            continue;
        // EILSEQ: one bad byte; EINVAL: an incomplete sequence at the end.
        out += kReplacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::string EncodeText(std::wstring_view text, int codePage, char unconvertible) {
    codePage = ResolveCodePage(codePage);
    if (codePage == kUtf8)
        return WideToUtf8(text);
    if (codePage == 1200)
        return WideToUtf16Le(text);
    std::string out;
    if (text.empty())
        return out;
    std::lock_guard guard(Cache().m_lock);
    iconv_t cd = Cache().Get(codePage, false);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return WideToUtf8(text);
    std::u32string source = ComposeFor(cd, text);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(source.data());
    size_t inLeft = source.size() * 4;
    out.reserve(text.size() * 2);
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        out.append(buffer, sizeof buffer - outLeft);
        if (rc != static_cast<size_t>(-1))
            break;
        if (err == E2BIG)
            continue;
        out += unconvertible;
        in += 4;
        inLeft = inLeft >= 4 ? inLeft - 4 : 0;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state of stateful encodings.
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    return out;
}
