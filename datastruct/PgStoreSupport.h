#pragma once
/// What the server store's files share: results held and read in binary form, bound parameters, the
/// transaction guard and the lock that makes stations create the store's tables once (the store's own files
/// only).

#include "datastruct/PgTemplateStore.h"
#include "formats/CodePage.h"

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>

namespace pgstore {

/// The advisory lock that makes two stations opening an empty database create its tables once ("ZRKT").
inline constexpr const char* kSchemaLockKey = "1515342676";

/// The advisory lock every writer of the image tables takes ("ZRKI"), so that an image is never removed as
/// unused while another station maps a path to it.
inline constexpr const char* kImageLockKey = "1515342665";

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;

inline ResultPtr Hold(PGresult* r) {
    return ResultPtr(r, &PQclear);
}

inline int64_t ReadBigEndian(const char* p, int length) {
    uint64_t v = 0;
    for (int i = 0; i < length; ++i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    if (length == 4)
        return static_cast<int32_t>(static_cast<uint32_t>(v));
    if (length == 2)
        return static_cast<int16_t>(static_cast<uint16_t>(v));
    return static_cast<int64_t>(v);
}

/// Integer columns are read in binary form (8, 4 or 2 bytes, or a boolean's 1).
inline int64_t GetInt(const PGresult* r, int row, int col) {
    if (PQgetisnull(r, row, col))
        return 0;
    return ReadBigEndian(PQgetvalue(r, row, col), PQgetlength(r, row, col));
}

inline std::string GetBytes(const PGresult* r, int row, int col) {
    if (PQgetisnull(r, row, col))
        return std::string();
    return std::string(PQgetvalue(r, row, col), static_cast<size_t>(PQgetlength(r, row, col)));
}

inline std::wstring GetText(const PGresult* r, int row, int col) {
    return Utf8ToWide(GetBytes(r, row, col));
}

inline CPgTemplateStore::Param TextParam(const std::wstring& text) {
    return {WideToUtf8(text), false};
}
inline CPgTemplateStore::Param IntParam(int64_t v) {
    return {std::to_string(v), false};
}
inline CPgTemplateStore::Param BlobParam(const std::string& bytes) {
    return {bytes, true};
}

} // namespace pgstore

/// Rolls back an open transaction unless it was committed.
class CPgTransaction {
public:
    CPgTransaction(CPgTemplateStore& store, const std::wstring& what) : m_store(store) {
        m_open = store.RunCommand("BEGIN", {}, what);
    }
    ~CPgTransaction() {
        if (m_open && m_store.m_conn && PQstatus(m_store.m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_store.m_conn, "ROLLBACK"));
    }
    CPgTransaction(const CPgTransaction&) = delete;
    CPgTransaction& operator=(const CPgTransaction&) = delete;
    bool Began() const { return m_open; }
    bool Commit(const std::wstring& what) {
        if (!m_open)
            return false;
        m_open = false;  // a failed COMMIT ends the transaction as well
        return m_store.RunCommand("COMMIT", {}, what);
    }

private:
    CPgTemplateStore& m_store;
    bool m_open = false;
};
