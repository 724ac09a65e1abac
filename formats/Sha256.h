#pragma once
/// SHA-256 (FIPS 180-4): the digest that names an image by its content in the template store.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CSha256 {
public:
    CSha256() { Reset(); }
    void Reset();
    /// Adds bytes; may be called any number of times before `Finish`.
    void Update(const void* data, size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    /// The digest of everything added; the object starts afresh afterwards.
    std::array<uint8_t, 32> Finish();
    /// The digest as 64 lower-case hexadecimal digits; the object starts afresh afterwards.
    std::string FinishHex();

private:
    void Block(const uint8_t* block);

    uint32_t m_state[8];
    uint8_t m_buffer[64];
    size_t m_nBuffered = 0;
    uint64_t m_nLength = 0; // bytes added
};

/// The SHA-256 of the bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
