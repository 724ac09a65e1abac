// Camera images in the SQLite store: the `store_image` and `model_image` tables (see StoreImage.h).
// Every write here runs inside a `BEGIN IMMEDIATE` transaction, which makes writers of the file take turns:
// an image is never removed as unused while another program maps a path to it.

#include "datastruct/SqliteStatement.h"
#include "datastruct/SqliteTemplateStore.h"

#include "formats/CodePage.h"

#include <sqlite3.h>

#include <map>
#include <set>

namespace {

const char* const kImageSchema = R"sql(
CREATE TABLE IF NOT EXISTS store_image(
    hash  TEXT PRIMARY KEY,
    bytes BLOB NOT NULL,
    size  INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS model_image(
    model_id INTEGER NOT NULL,
    path     TEXT NOT NULL,
    hash     TEXT NOT NULL,
    PRIMARY KEY(model_id, path)
);
CREATE INDEX IF NOT EXISTS model_image_hash ON model_image(hash);
)sql";

} // namespace

void CSqliteTemplateStore::EnsureImageTables() {
    m_bImageTables = false;
    if (!m_db)
        return;
    // A store that cannot be written (read-only media) is read without stored images.
    Exec(kImageSchema);
    CSqliteStatement st(m_db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                             "name IN ('store_image', 'model_image')");
    m_bImageTables = st.Ok() && st.Step() == SQLITE_ROW && st.ColumnInt(0) == 2;
}

void CSqliteTemplateStore::SetPendingImages(int id, const std::vector<CStoreImageRef>& images) {
    m_bImagesPending = true;
    m_nPendingImagesID = id;
    m_pendingImages = images;
}

bool CSqliteTemplateStore::WritePendingImages(int id) {
    if (!m_bImageTables)
        return true;
    if (m_nCopyImagesFrom > 0) {
        CSqliteStatement st(m_db, "INSERT OR IGNORE INTO model_image(model_id, path, hash) "
                                 "SELECT ?1, path, hash FROM model_image WHERE model_id = ?2");
        if (!st.Ok())
            return false;
        st.BindInt(1, id);
        st.BindInt(2, m_nCopyImagesFrom);
        return st.Step() == SQLITE_DONE;
    }
    if (!m_bImagesPending || (m_nPendingImagesID != 0 && m_nPendingImagesID != id))
        return true;
    m_bImagesPending = false;
    const std::vector<CStoreImageRef> images = std::move(m_pendingImages);
    m_pendingImages.clear();
    return WriteImageRows(id, images, true);
}

bool CSqliteTemplateStore::WriteImageRows(int id, const std::vector<CStoreImageRef>& images, bool replace) {
    std::map<std::wstring, std::string> existing;
    {
        CSqliteStatement st(m_db, "SELECT path, hash FROM model_image WHERE model_id = ?");
        if (!st.Ok())
            return false;
        st.BindInt(1, id);
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW)
            existing[st.ColumnText(0)] = st.ColumnBytes(1);
        if (rc != SQLITE_DONE)
            return false;
    }
    std::set<std::wstring> current;
    bool unmapped = false;
    for (const CStoreImageRef& image : images) {
        current.insert(image.m_strPath);
        if (!IsStoreImageHash(image.m_strHash))
            continue;  // the file was not read here: the path keeps the image it has
        const auto known = existing.find(image.m_strPath);
        if (known != existing.end() && (!replace || known->second == image.m_strHash))
            continue;
        bool stored = false;
        {
            CSqliteStatement st(m_db, "SELECT 1 FROM store_image WHERE hash = ?");
            if (!st.Ok())
                return false;
            st.BindAscii(1, image.m_strHash);
            const int rc = st.Step();
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                return false;
            stored = rc == SQLITE_ROW;
        }
        if (!stored) {
            std::string bytes;
            if (!ReadStoreImageBytes(image, bytes))
                continue;  // gone or changed since it was hashed: keep what the path has
            CSqliteStatement st(m_db, "INSERT OR IGNORE INTO store_image(hash, bytes, size) VALUES(?, ?, ?)");
            if (!st.Ok())
                return false;
            st.BindAscii(1, image.m_strHash);
            sqlite3_bind_blob64(st.Get(), 2, bytes.data(), bytes.size(), SQLITE_STATIC);
            st.BindInt(3, static_cast<int64_t>(bytes.size()));
            if (st.Step() != SQLITE_DONE)
                return false;
        }
        CSqliteStatement st(m_db, replace ? "INSERT INTO model_image(model_id, path, hash) VALUES(?1, ?2, ?3) "
                                           "ON CONFLICT(model_id, path) DO UPDATE SET hash = excluded.hash"
                                         : "INSERT OR IGNORE INTO model_image(model_id, path, hash) VALUES(?1, ?2, ?3)");
        if (!st.Ok())
            return false;
        st.BindInt(1, id);
        st.BindText(2, image.m_strPath);
        st.BindAscii(3, image.m_strHash);
        if (st.Step() != SQLITE_DONE)
            return false;
        unmapped = unmapped || known != existing.end();
    }
    if (replace) {
        for (const auto& [path, hash] : existing) {
            if (current.count(path))
                continue;
            CSqliteStatement st(m_db, "DELETE FROM model_image WHERE model_id = ? AND path = ?");
            if (!st.Ok())
                return false;
            st.BindInt(1, id);
            st.BindText(2, path);
            if (st.Step() != SQLITE_DONE)
                return false;
            unmapped = true;
        }
    }
    return !unmapped || RemoveUnusedImages();
}

bool CSqliteTemplateStore::RemoveUnusedImages() {
    return Exec("DELETE FROM store_image WHERE NOT EXISTS "
                "(SELECT 1 FROM model_image m WHERE m.hash = store_image.hash)");
}

bool CSqliteTemplateStore::DeleteModelImages(int id) {
    if (!m_bImageTables)
        return true;
    CSqliteStatement st(m_db, "DELETE FROM model_image WHERE model_id = ?");
    if (!st.Ok())
        return false;
    st.BindInt(1, id);
    return st.Step() == SQLITE_DONE && RemoveUnusedImages();
}

bool CSqliteTemplateStore::LoadModelImages(int id, std::vector<CStoredImage>& out) {
    out.clear();
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    CSqliteStatement st(m_db, "SELECT m.path, m.hash, s.size FROM model_image m "
                             "JOIN store_image s ON s.hash = m.hash WHERE m.model_id = ? ORDER BY m.path");
    if (!st.Ok())
        return FailSql(L"模板图像无法读取");
    st.BindInt(1, id);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        out.push_back({st.ColumnText(0), st.ColumnBytes(1), st.ColumnInt(2)});
    if (rc != SQLITE_DONE)
        return FailSql(L"模板图像无法读取");
    ClearError();
    return true;
}

bool CSqliteTemplateStore::LoadImageBytes(const std::string& hash, std::string& bytes, bool& found) {
    bytes.clear();
    found = false;
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    CSqliteStatement st(m_db, "SELECT bytes FROM store_image WHERE hash = ?");
    if (!st.Ok())
        return FailSql(L"模板图像无法读取");
    st.BindAscii(1, hash);
    const int rc = st.Step();
    if (rc == SQLITE_ROW) {
        bytes = st.ColumnBytes(0);
        found = true;
    } else if (rc != SQLITE_DONE) {
        return FailSql(L"模板图像无法读取");
    }
    ClearError();
    return true;
}

bool CSqliteTemplateStore::AddMissingModelImages(int id, const std::vector<CStoreImageRef>& images) {
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bImageTables)
        return Fail(L"模板库不能保存图像: " + m_strPath, StoreFailure::ReadOnly);
    if (!Exec("BEGIN IMMEDIATE"))
        return FailSql(L"模板图像无法写入");
    bool ok = false;
    {
        // A model deleted meanwhile gets no mappings.
        CSqliteStatement st(m_db, "SELECT 1 FROM model WHERE id = ?");
        if (st.Ok()) {
            st.BindInt(1, id);
            const int rc = st.Step();
            ok = rc == SQLITE_DONE || (rc == SQLITE_ROW && WriteImageRows(id, images, false));
        }
    }
    if (!ok || !Exec("COMMIT")) {
        FailSql(L"模板图像无法写入");
        Exec("ROLLBACK");
        return false;
    }
    ClearError();
    return true;
}

bool CSqliteTemplateStore::CountStoredImages(int64_t& images, int64_t& bytes) {
    images = bytes = 0;
    if (!m_db)
        return Fail(L"模板库没有打开");
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    CSqliteStatement st(m_db, "SELECT count(*), coalesce(sum(size), 0) FROM store_image");
    if (!st.Ok() || st.Step() != SQLITE_ROW)
        return FailSql(L"模板图像无法读取");
    images = st.ColumnInt(0);
    bytes = st.ColumnInt(1);
    ClearError();
    return true;
}
