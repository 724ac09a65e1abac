#include "editor/EditJournal.h"

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

void CEditJournal::Reset() {
    m_steps.clear();
    m_nPosition = 0;
    m_strState.clear();
    m_bHasState = false;
    m_bMergeOpen = false;
    m_nStepBytes = 0;
}

void CEditJournal::Start(std::string bytes) {
    Reset();
    m_strState = std::move(bytes);
    m_bHasState = true;
}

void CEditJournal::Rebase(const std::string& bytes) {
    if (m_nPosition > 0) {
        Step& previous = m_steps[m_nPosition - 1];
        const std::string start = previous.backward.Apply(m_strState);
        m_nStepBytes -= previous.Bytes();
        previous.forward = CByteDelta::Make(start, bytes);
        previous.backward = CByteDelta::Make(bytes, start);
        m_nStepBytes += previous.Bytes();
    }
    if (m_nPosition < m_steps.size()) {
        Step& next = m_steps[m_nPosition];
        const std::string end = next.forward.Apply(m_strState);
        m_nStepBytes -= next.Bytes();
        next.forward = CByteDelta::Make(bytes, end);
        next.backward = CByteDelta::Make(end, bytes);
        m_nStepBytes += next.Bytes();
    }
    m_strState = bytes;
}

bool CEditJournal::Record(const std::wstring& label, const std::string& before, const std::string& after,
                          const std::string& mergeKey) {
    if (!m_bHasState) {
        m_strState = before;
        m_bHasState = true;
    } else if (before != m_strState) {
        Rebase(before);
    }
    if (before == after)
        return false;
    // A new step: the steps undone before it are gone.
    while (m_steps.size() > m_nPosition) {
        m_nStepBytes -= m_steps.back().Bytes();
        m_steps.pop_back();
    }
    if (m_bMergeOpen && !mergeKey.empty() && m_nPosition > 0 && m_steps[m_nPosition - 1].strMergeKey == mergeKey) {
        Step& previous = m_steps[m_nPosition - 1];
        const std::string start = previous.backward.Apply(m_strState);
        m_nStepBytes -= previous.Bytes();
        m_strState = after;
        if (start == after) {  // the nudges went back where they started
            m_steps.pop_back();
            --m_nPosition;
            m_bMergeOpen = false;
            return true;
        }
        previous.forward = CByteDelta::Make(start, after);
        previous.backward = CByteDelta::Make(after, start);
        m_nStepBytes += previous.Bytes();
        Trim();
        return true;
    }
    Step step{label, mergeKey, CByteDelta::Make(before, after), CByteDelta::Make(after, before)};
    m_nStepBytes += step.Bytes();
    m_steps.push_back(std::move(step));
    m_nPosition = m_steps.size();
    m_strState = after;
    m_bMergeOpen = true;
    Trim();
    return true;
}

void CEditJournal::Trim() {
    // The newest step always stays, however large: it is the one the operator most wants back.
    while (m_steps.size() > 1 && (m_steps.size() > m_limits.nMaxSteps || m_nStepBytes > m_limits.nMaxBytes)) {
        m_nStepBytes -= m_steps.front().Bytes();
        m_steps.erase(m_steps.begin());
        if (m_nPosition > 0)
            --m_nPosition;
    }
}

std::wstring CEditJournal::GetUndoLabel() const {
    return CanUndo() ? m_steps[m_nPosition - 1].strLabel : std::wstring();
}

std::wstring CEditJournal::GetRedoLabel() const {
    return CanRedo() ? m_steps[m_nPosition].strLabel : std::wstring();
}

bool CEditJournal::Undo(std::string& bytes) {
    if (!CanUndo())
        return false;
    m_strState = m_steps[m_nPosition - 1].backward.Apply(m_strState);
    --m_nPosition;
    m_bMergeOpen = false;
    bytes = m_strState;
    return true;
}

bool CEditJournal::Redo(std::string& bytes) {
    if (!CanRedo())
        return false;
    m_strState = m_steps[m_nPosition].forward.Apply(m_strState);
    ++m_nPosition;
    m_bMergeOpen = false;
    bytes = m_strState;
    return true;
}

size_t CEditJournal::GetByteSize() const {
    return m_strState.capacity() + m_nStepBytes + m_steps.capacity() * sizeof(Step);
}
