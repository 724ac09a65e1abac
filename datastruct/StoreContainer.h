#pragma once
/// The export file of zrk-store (`zrk-store export`, read by `zrk-store import`): one or more whole models of a
/// template store — catalogue row, data, camera images and every revision — in a container of its own that
/// any backend can read back. The file is written to a temporary name beside its place, synced and renamed
/// into place, so it is there whole or not at all.
///
/// Layout, version 1 (integers little-endian):
///
///     magic     8 bytes   89 5A 52 4B 0D 0A 1A 0A   ("\x89ZRK\r\n\x1a\n": a transfer that changes line ends
///                                                   or drops the eighth bit is seen at once)
///     version   u32       the format version (1); a reader refuses a newer one before reading further
///     sections  ...       each: type u32, length u64, then `length` bytes of payload
///     trailer   48 bytes  SHA-256 of every byte before the trailer (32 bytes), the file's whole length
///                         (u64), and the end mark "ZRKX-END"
///
/// The last section is `kEnd`, whose payload is the number of sections before it (u64). A file without the
/// end mark is cut short (truncated); one whose length or checksum does not match is damaged. A section type
/// with the high bit set (`kOptional`) may be skipped by a reader that does not know it; any other unknown
/// type is damage. The payload of each section is described with `StoreContainerSection`; texts are UTF-8
/// with a u32 length, byte strings a u64 length.

#include "formats/Sha256.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

/// The section types of format version 1.
namespace StoreContainerSection {
/// First and once: the store the file was exported from and by whom. Text source (the store as shown, a
/// server's address without password), text program (name and version), text written at ("YYYY-MM-DD
/// HH:MM:SS", UTC), text station, u32 number of models.
inline constexpr uint32_t kHeader = 1;
/// A model begins. i32 identifier in the source; texts name, title, saved at (UTC, or empty), saved by;
/// u8 has data; u32 CRC-32 of the data as stored; bytes data; u64 number of revisions; i64 newest revision's
/// number (0: none); text head mark (`ModelHeadMark`, StoreTransfer.h); u32 number of camera paths, then per
/// path: text path, text image hash (SHA-256, hexadecimal), u64 size.
inline constexpr uint32_t kModel = 2;
/// An image the model maps, once per file: text hash, bytes (the file's bytes, whose SHA-256 is the hash).
inline constexpr uint32_t kImage = 3;
/// One revision of the model, in the order of their numbers, as the source stored it: i64 number; texts
/// saved at, station, user, role, summary; u8 full copy; i64 size; texts data hash, previous hash, hash
/// (linked to the source's identifier); bytes body (the whole bytes, or the difference from the revision
/// before).
inline constexpr uint32_t kRevision = 4;
/// The model ends: i32 identifier in the source, u64 number of revisions written.
inline constexpr uint32_t kModelEnd = 5;
/// Last: u64 number of sections before it.
inline constexpr uint32_t kEnd = 0x7FFFFFFF;
/// A section a reader may skip when it does not know its type.
inline constexpr uint32_t kOptional = 0x80000000u;
} // namespace StoreContainerSection

/// The format version this program writes and the newest it reads.
inline constexpr uint32_t kStoreContainerVersion = 1;

/// The payload of a section being written.
class CContainerPayload {
public:
    void PutU8(uint8_t v) { m_bytes.push_back(static_cast<char>(v)); }
    void PutU32(uint32_t v);
    void PutU64(uint64_t v);
    void PutI32(int32_t v) { PutU32(static_cast<uint32_t>(v)); }
    void PutI64(int64_t v) { PutU64(static_cast<uint64_t>(v)); }
    /// A wide text, as UTF-8.
    void PutText(std::wstring_view text);
    /// Bytes taken as text (hashes).
    void PutAscii(std::string_view text);
    void PutBytes(std::string_view bytes);
    /// Bytes already encoded as fields (a payload read back, written again as it is).
    void PutRaw(std::string_view bytes) { m_bytes.append(bytes); }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

/// The payload of a section being read; every getter checks what is left, and after the first failure
/// `Ok()` is false and getters give zero or empty.
class CContainerFields {
public:
    explicit CContainerFields(std::string_view payload) : m_rest(payload) {}
    uint8_t GetU8();
    uint32_t GetU32();
    uint64_t GetU64();
    int32_t GetI32() { return static_cast<int32_t>(GetU32()); }
    int64_t GetI64() { return static_cast<int64_t>(GetU64()); }
    std::wstring GetText();
    std::string GetAscii();
    std::string GetBytes();
    bool Ok() const { return m_bOk; }
    /// Every byte read, none short.
    bool Done() const { return m_bOk && m_rest.empty(); }

private:
    bool Take(size_t count, std::string_view& out);
    std::string_view m_rest;
    bool m_bOk = true;
};

/// Writes a container to a temporary file beside `path`; `Finish` syncs it and renames it into place. An
/// object destroyed before `Finish` succeeded removes its temporary file: nothing is left at `path`.
class CContainerWriter {
public:
    CContainerWriter() = default;
    ~CContainerWriter();
    CContainerWriter(const CContainerWriter&) = delete;
    CContainerWriter& operator=(const CContainerWriter&) = delete;

    /// Creates the temporary file and writes the magic and version. False with `GetError()`.
    bool Open(const std::wstring& path);
    bool Write(uint32_t type, const CContainerPayload& payload);
    /// The end section and the trailer, then sync, rename into place and sync the folder.
    bool Finish();
    /// Removes the temporary file (nothing at `path` changes).
    void Abandon();
    const std::string& GetError() const { return m_strError; }
    uint64_t GetSize() const { return m_nSize; }

private:
    bool Put(const void* data, size_t size);
    bool Fail(const std::string& text);
    std::FILE* m_file = nullptr;
    std::string m_strPath;
    std::string m_strTemp;
    std::string m_strError;
    uint64_t m_nSize = 0;
    uint64_t m_nSections = 0;
    CSha256 m_hash;
};

/// Reads a container section by section, checking the checksum as it goes.
class CContainerReader {
public:
    enum class Fault {
        None,
        Unreadable,   ///< the file cannot be opened or read (missing, no permission, I/O error)
        NotContainer, ///< not an export file of this system
        Newer,        ///< written in a newer format version than this program reads
        Truncated,    ///< cut short: it ends before its end mark
        Damaged,      ///< its length, structure or checksum does not match
    };
    CContainerReader() = default;
    ~CContainerReader();
    CContainerReader(const CContainerReader&) = delete;
    CContainerReader& operator=(const CContainerReader&) = delete;

    /// Opens the file, checks the magic, the version, the end mark and the length. False with the fault.
    bool Open(const std::wstring& path);
    /// The next section (sections of an unknown optional type are skipped). False at the end section — then
    /// `AtEnd()` is true and the checksum has been checked — or on a fault.
    bool Next(uint32_t& type, std::string& payload);
    bool AtEnd() const { return m_bAtEnd; }
    /// Records a fault found in a section's content (a reader of the payload); returns false.
    bool Fail(Fault fault, const std::string& text);
    Fault GetFault() const { return m_nFault; }
    const std::string& GetError() const { return m_strError; }
    uint32_t GetVersion() const { return m_nVersion; }
    uint64_t GetFileSize() const { return m_nFileSize; }
    /// Bytes read so far (for progress).
    uint64_t GetPosition() const { return m_nPosition; }

private:
    bool Read(void* data, size_t size);
    std::FILE* m_file = nullptr;
    std::string m_strPath;
    Fault m_nFault = Fault::None;
    std::string m_strError;
    uint32_t m_nVersion = 0;
    uint64_t m_nFileSize = 0;
    uint64_t m_nPosition = 0;
    uint64_t m_nBodyEnd = 0; // where the trailer starts
    uint64_t m_nSections = 0;
    bool m_bAtEnd = false;
    CSha256 m_hash;
};
