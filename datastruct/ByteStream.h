#pragma once
/// The compact byte encoding of a stored model (private to the data library).
///
/// Integers are LEB128 varints (signed ones zigzag-encoded first), doubles their 8 IEEE bytes in little-endian
/// order, wide strings their length and then each character as a varint (lossless for any wchar_t value),
/// vertex lists their count and then the zigzag deltas from the previous vertex. The reader checks every
/// length against what is left and throws `CByteStreamError` on a short or malformed stream; it never reads
/// outside its buffer.

#include "support/Geometry.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

/// A stored stream that cannot be decoded: truncated, corrupted, or of another format.
class CByteStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CByteWriter {
public:
    void PutU8(uint8_t v) { m_buf.push_back(static_cast<char>(v)); }
    void PutBool(bool v) { PutU8(v ? 1 : 0); }
    void PutVarU(uint64_t v);
    void PutVarI(int64_t v) { PutVarU((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
    void PutF64(double v);
    void PutStr(std::wstring_view s);
    void PutRect(const CRect& r);
    void PutPoints(const std::vector<CPoint>& points);
    void PutRaw(std::string_view bytes) { m_buf.append(bytes); }

    const std::string& Bytes() const { return m_buf; }
    std::string& Bytes() { return m_buf; }

private:
    std::string m_buf;
};

class CByteReader {
public:
    explicit CByteReader(std::string_view bytes) : m_p(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    uint8_t GetU8();
    bool GetBool();
    uint64_t GetVarU();
    int64_t GetVarI() {
        const uint64_t u = GetVarU();
        return static_cast<int64_t>((u >> 1) ^ (~(u & 1) + 1));
    }
    /// A signed varint that must fit 32 bits.
    int32_t GetI32();
    /// A count of elements of at least `minBytesEach` encoded bytes each; refused when the rest is too short.
    size_t GetCount(size_t minBytesEach);
    double GetF64();
    std::wstring GetStr();
    CRect GetRect();
    void GetPoints(std::vector<CPoint>& points);
    std::string_view GetRaw(size_t count);

    size_t Remaining() const { return static_cast<size_t>(m_end - m_p); }
    bool AtEnd() const { return m_p == m_end; }

private:
    [[noreturn]] static void Fail(const char* what);

    const char* m_p;
    const char* m_end;
};

/// CRC-32 (IEEE 802.3, reflected, as zlib computes it) of the bytes.
uint32_t Crc32(std::string_view bytes);
