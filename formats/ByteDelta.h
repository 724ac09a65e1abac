#pragma once
/// A difference between two byte strings, made by content (runs shared by both are copied, the rest kept
/// literally), so that what it holds grows with what changed, not with the size of the strings. The edit
/// journal keeps one per step; the template store keeps one per saved revision.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// A difference between two byte strings: the target as runs copied from the source and literal bytes.
class CByteDelta {
public:
    /// The difference that turns `from` into `to`. Runs shared by both (a common beginning and end, and
    /// content-defined pieces of the middle that occur in both) are copied, the rest is kept literally.
    static CByteDelta Make(std::string_view from, std::string_view to);
    /// The target bytes. Throws std::invalid_argument when `from` is not as long as the source it was made
    /// from (a delta applied to the wrong bytes).
    std::string Apply(std::string_view from) const;
    /// The memory the difference holds, in bytes.
    size_t GetByteSize() const { return m_ops.size() * sizeof(Op) + m_literals.size() + sizeof(*this); }
    size_t GetSourceSize() const { return m_nSourceSize; }
    size_t GetTargetSize() const { return m_nTargetSize; }
    /// The difference as bytes to store: the sizes, then each run (a copy's source offset and length, or a
    /// literal's length) and the literal bytes, integers as unsigned LEB128.
    std::string Encode() const;
    /// The difference `Encode` made; false (and `delta` left empty) when the bytes are not such a
    /// difference (truncated, runs outside the sizes they name).
    static bool Decode(std::string_view bytes, CByteDelta& delta);

private:
    struct Op {
        uint64_t nFrom;   ///< source offset of a copy; literal offset otherwise
        uint64_t nLength;
        bool bCopy;
    };
    void AddCopy(uint64_t from, uint64_t length);
    void AddLiteral(std::string_view bytes);

    std::vector<Op> m_ops;
    std::string m_literals;
    size_t m_nSourceSize = 0;
    size_t m_nTargetSize = 0;
};
