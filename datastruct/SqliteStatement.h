#pragma once
/// A prepared statement of the SQLite store, finalised when it goes out of scope, and its transaction guard
/// (the store's own files only).

#include "formats/CodePage.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

class CSqliteStatement {
public:
    CSqliteStatement(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~CSqliteStatement() { sqlite3_finalize(m_stmt); }
    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;

    bool Ok() const { return m_rc == SQLITE_OK && m_stmt; }
    sqlite3_stmt* operator*() const { return m_stmt; }
    sqlite3_stmt* Get() const { return m_stmt; }
    void BindText(int i, const std::wstring& text) {
        const std::string utf8 = WideToUtf8(text);
        sqlite3_bind_text(m_stmt, i, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    void BindAscii(int i, const std::string& text) {
        sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void BindInt(int i, int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    // The blob must outlive the statement's step.
    void BindBlob(int i, const std::string& bytes) {
        sqlite3_bind_blob64(m_stmt, i, bytes.data(), bytes.size(), SQLITE_STATIC);
    }
    int Step() { return sqlite3_step(m_stmt); }
    std::wstring ColumnText(int i) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
        return p ? Utf8ToWide(std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(m_stmt, i))))
                 : std::wstring();
    }
    std::string ColumnBytes(int i) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, i));
        const int size = sqlite3_column_bytes(m_stmt, i);
        return p && size > 0 ? std::string(p, static_cast<size_t>(size)) : std::string();
    }
    int64_t ColumnInt(int i) const { return sqlite3_column_int64(m_stmt, i); }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

/// Rolls back an open transaction unless it was committed.
class CSqliteTransaction {
public:
    explicit CSqliteTransaction(sqlite3* db) : m_db(db) {
        m_open = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~CSqliteTransaction() {
        if (m_open)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    CSqliteTransaction(const CSqliteTransaction&) = delete;
    CSqliteTransaction& operator=(const CSqliteTransaction&) = delete;

    bool Began() const { return m_open; }
    bool Commit() {
        if (!m_open)
            return false;
        if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
        m_open = false;
        return true;
    }

private:
    sqlite3* m_db;
    bool m_open = false;
};
