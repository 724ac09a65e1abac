#include "datastruct/ByteStream.h"

#include <array>
#include <cstring>
#include <limits>

void CByteWriter::PutVarU(uint64_t v) {
    while (v >= 0x80) {
        m_buf.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    m_buf.push_back(static_cast<char>(v));
}

void CByteWriter::PutF64(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i)
        m_buf.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

void CByteWriter::PutStr(std::wstring_view s) {
    PutVarU(s.size());
    for (wchar_t c : s)
        PutVarU(static_cast<uint32_t>(c));
}

void CByteWriter::PutRect(const CRect& r) {
    PutVarI(r.left);
    PutVarI(r.top);
    PutVarI(r.right);
    PutVarI(r.bottom);
}

void CByteWriter::PutPoints(const std::vector<CPoint>& points) {
    PutVarU(points.size());
    int64_t x = 0, y = 0;
    for (const CPoint& p : points) {
        PutVarI(p.x - x);
        PutVarI(p.y - y);
        x = p.x;
        y = p.y;
    }
}

void CByteReader::Fail(const char* what) { throw CByteStreamError(what); }

uint8_t CByteReader::GetU8() {
    if (m_p == m_end)
        Fail("unexpected end of the stored data");
    return static_cast<uint8_t>(*m_p++);
}

bool CByteReader::GetBool() {
    const uint8_t v = GetU8();
    if (v > 1)
        Fail("invalid flag value in the stored data");
    return v == 1;
}

uint64_t CByteReader::GetVarU() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const uint8_t b = GetU8();
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return v;
    }
    Fail("overlong number in the stored data");
}

int32_t CByteReader::GetI32() {
    const int64_t v = GetVarI();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        Fail("number out of range in the stored data");
    return static_cast<int32_t>(v);
}

size_t CByteReader::GetCount(size_t minBytesEach) {
    const uint64_t n = GetVarU();
    if (minBytesEach > 0 && n > Remaining() / minBytesEach)
        Fail("element count larger than the stored data");
    return static_cast<size_t>(n);
}

double CByteReader::GetF64() {
    const std::string_view raw = GetRaw(8);
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(static_cast<uint8_t>(raw[i])) << (8 * i);
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::wstring CByteReader::GetStr() {
    const size_t n = GetCount(1);
    std::wstring s;
    s.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const uint64_t c = GetVarU();
        if (c > std::numeric_limits<uint32_t>::max())
            Fail("invalid character in the stored data");
        s[i] = static_cast<wchar_t>(c);
    }
    return s;
}

CRect CByteReader::GetRect() {
    CRect r;
    r.left = GetI32();
    r.top = GetI32();
    r.right = GetI32();
    r.bottom = GetI32();
    return r;
}

void CByteReader::GetPoints(std::vector<CPoint>& points) {
    const size_t n = GetCount(2);
    points.resize(n);
    int64_t x = 0, y = 0;
    for (size_t i = 0; i < n; ++i) {
        const int64_t dx = GetVarI(), dy = GetVarI();
        // A delta between two 32-bit coordinates fits 33 bits; a larger one is damage (and would overflow).
        constexpr int64_t kMaxDelta = int64_t(1) << 33;
        if (dx < -kMaxDelta || dx > kMaxDelta || dy < -kMaxDelta || dy > kMaxDelta)
            Fail("vertex out of range in the stored data");
        x += dx;
        y += dy;
        if (x < std::numeric_limits<int32_t>::min() || x > std::numeric_limits<int32_t>::max() ||
            y < std::numeric_limits<int32_t>::min() || y > std::numeric_limits<int32_t>::max())
            Fail("vertex out of range in the stored data");
        points[i] = CPoint(static_cast<int32_t>(x), static_cast<int32_t>(y));
    }
}

std::string_view CByteReader::GetRaw(size_t count) {
    if (count > Remaining())
        Fail("unexpected end of the stored data");
    std::string_view v(m_p, count);
    m_p += count;
    return v;
}

uint32_t Crc32(std::string_view bytes) {
    static constexpr std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : bytes)
        crc = table[(crc ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}
