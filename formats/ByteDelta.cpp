#include "formats/ByteDelta.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace {

// Content-defined pieces: a boundary where the rolling gear hash has its top bits clear, so that an
// insertion shifts only the pieces it touches and the rest of both strings cut at the same places.
constexpr size_t kMinPiece = 64;
constexpr size_t kMaxPiece = 4096;
constexpr uint64_t kBoundaryMask = 0x1FFull << 55;  // about one boundary in 512 bytes
constexpr size_t kLiteralOnly = 256;                // middles shorter than this are kept literally

constexpr std::array<uint64_t, 256> MakeGearTable() {
    std::array<uint64_t, 256> table{};
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (auto& v : table) {  // splitmix64: fixed, well-mixed values
        x += 0x9E3779B97F4A7C15ull;
        uint64_t z = x;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        v = z ^ (z >> 31);
    }
    return table;
}
constexpr std::array<uint64_t, 256> kGear = MakeGearTable();

uint64_t PieceHash(std::string_view bytes) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001B3ull;
    }
    return h;
}

// The lengths of the pieces of `bytes`, in order.
std::vector<uint32_t> CutPieces(std::string_view bytes) {
    std::vector<uint32_t> pieces;
    size_t start = 0;
    uint64_t h = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        h = (h << 1) + kGear[static_cast<unsigned char>(bytes[i])];
        const size_t length = i + 1 - start;
        if ((length >= kMinPiece && (h & kBoundaryMask) == 0) || length >= kMaxPiece) {
            pieces.push_back(static_cast<uint32_t>(length));
            start = i + 1;
            h = 0;
        }
    }
    if (start < bytes.size())
        pieces.push_back(static_cast<uint32_t>(bytes.size() - start));
    return pieces;
}

} // namespace

void CByteDelta::AddCopy(uint64_t from, uint64_t length) {
    if (length == 0)
        return;
    if (!m_ops.empty() && m_ops.back().bCopy && m_ops.back().nFrom + m_ops.back().nLength == from) {
        m_ops.back().nLength += length;
        return;
    }
    m_ops.push_back({from, length, true});
}

void CByteDelta::AddLiteral(std::string_view bytes) {
    if (bytes.empty())
        return;
    if (!m_ops.empty() && !m_ops.back().bCopy) {
        m_ops.back().nLength += bytes.size();
    } else {
        m_ops.push_back({m_literals.size(), bytes.size(), false});
    }
    m_literals.append(bytes);
}

CByteDelta CByteDelta::Make(std::string_view from, std::string_view to) {
    CByteDelta delta;
    delta.m_nSourceSize = from.size();
    delta.m_nTargetSize = to.size();
    const size_t shorter = std::min(from.size(), to.size());
    size_t prefix = 0;
    while (prefix < shorter && from[prefix] == to[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < shorter - prefix && from[from.size() - 1 - suffix] == to[to.size() - 1 - suffix])
        ++suffix;
    delta.AddCopy(0, prefix);
    const std::string_view fromMid = from.substr(prefix, from.size() - prefix - suffix);
    const std::string_view toMid = to.substr(prefix, to.size() - prefix - suffix);
    if (fromMid.size() < kLiteralOnly || toMid.size() < kLiteralOnly) {
        delta.AddLiteral(toMid);
    } else {
        // Pieces of the source by content; each piece of the target found there is copied.
        std::unordered_map<uint64_t, uint64_t> known;  // hash -> source offset
        const std::vector<uint32_t> sourcePieces = CutPieces(fromMid);
        known.reserve(sourcePieces.size());
        size_t at = 0;
        for (uint32_t length : sourcePieces) {
            known.emplace(PieceHash(fromMid.substr(at, length)) ^ length, at);
            at += length;
        }
        at = 0;
        for (uint32_t length : CutPieces(toMid)) {
            const std::string_view piece = toMid.substr(at, length);
            auto it = known.find(PieceHash(piece) ^ length);
            if (it != known.end() && it->second + length <= fromMid.size() &&
                std::memcmp(fromMid.data() + it->second, piece.data(), length) == 0)
                delta.AddCopy(prefix + it->second, length);
            else
                delta.AddLiteral(piece);
            at += length;
        }
    }
    delta.AddCopy(from.size() - suffix, suffix);
    return delta;
}

std::string CByteDelta::Apply(std::string_view from) const {
    if (from.size() != m_nSourceSize)
        throw std::invalid_argument("CByteDelta::Apply: the bytes are not the ones the difference was made from");
    std::string out;
    out.reserve(m_nTargetSize);
    for (const Op& op : m_ops)
        out.append(op.bCopy ? from.substr(op.nFrom, op.nLength)
                            : std::string_view(m_literals).substr(op.nFrom, op.nLength));
    return out;
}

namespace {

void PutVarint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

bool GetVarint(std::string_view bytes, size_t& at, uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (at >= bytes.size())
            return false;
        const auto c = static_cast<unsigned char>(bytes[at++]);
        v |= static_cast<uint64_t>(c & 0x7F) << shift;
        if (!(c & 0x80))
            return true;
    }
    return false;
}

} // namespace

std::string CByteDelta::Encode() const {
    std::string out;
    out.reserve(m_literals.size() + m_ops.size() * 6 + 16);
    PutVarint(out, m_nSourceSize);
    PutVarint(out, m_nTargetSize);
    PutVarint(out, m_ops.size());
    for (const Op& op : m_ops) {
        // The low bit tells a copy from a literal; a literal's offset follows from the ones before it.
        PutVarint(out, (op.nLength << 1) | (op.bCopy ? 1 : 0));
        if (op.bCopy)
            PutVarint(out, op.nFrom);
    }
    out.append(m_literals);
    return out;
}

bool CByteDelta::Decode(std::string_view bytes, CByteDelta& delta) {
    delta = CByteDelta();
    CByteDelta d;
    size_t at = 0;
    uint64_t source = 0, target = 0, count = 0;
    if (!GetVarint(bytes, at, source) || !GetVarint(bytes, at, target) || !GetVarint(bytes, at, count) ||
        count > bytes.size())
        return false;
    d.m_nSourceSize = source;
    d.m_nTargetSize = target;
    d.m_ops.reserve(count);
    uint64_t literal = 0, produced = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t word = 0, from = 0;
        if (!GetVarint(bytes, at, word))
            return false;
        const bool copy = word & 1;
        const uint64_t length = word >> 1;
        if (copy && (!GetVarint(bytes, at, from) || from > source || length > source - from))
            return false;
        if (length > target - produced)
            return false;
        d.m_ops.push_back({copy ? from : literal, length, copy});
        if (!copy)
            literal += length;
        produced += length;
    }
    if (produced != target || bytes.size() - at != literal)
        return false;
    d.m_literals.assign(bytes.substr(at));
    delta = std::move(d);
    return true;
}
