// Camera images in the server store: the `store_image` and `model_image` tables (see StoreImage.h).
// Every transaction that maps paths to images or removes unused images first takes one advisory lock, so
// stations take turns there: an image is never removed as unused while another station maps a path to it.

#include "datastruct/PgStoreSupport.h"

#include "formats/CodePage.h"

#include <libpq-fe.h>

#include <map>
#include <memory>
#include <set>

using namespace pgstore;

namespace {

const char* const kImageSchema = R"sql(
CREATE TABLE IF NOT EXISTS store_image(
    hash  TEXT PRIMARY KEY,
    bytes BYTEA NOT NULL,
    size  BIGINT NOT NULL
);
CREATE TABLE IF NOT EXISTS model_image(
    model_id INTEGER NOT NULL,
    path     TEXT NOT NULL,
    hash     TEXT NOT NULL,
    PRIMARY KEY(model_id, path)
);
CREATE INDEX IF NOT EXISTS model_image_hash ON model_image(hash);
)sql";

// The lock the image writers take (`kImageLockKey`); the schema's creation takes the store's own (`kSchemaLockKey`).
const std::string kImageLock = std::string("SELECT pg_advisory_xact_lock(") + kImageLockKey + ")";

} // namespace

void CPgTemplateStore::EnsureImageTables() {
    m_bImageTables = false;
    const auto present = [this] {
        auto r = Hold(Run("SELECT ((to_regclass('store_image') IS NOT NULL) AND "
                          "(to_regclass('model_image') IS NOT NULL))::int::int8",
                          {}, L"模板库无法打开"));
        return r && PQntuples(r.get()) == 1 && GetInt(r.get(), 0, 0) == 1;
    };
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return;
    if (!present()) {
        // Two stations creating them at once: the second waits for the lock, then finds them. A user who may
        // not create tables goes on without stored images.
        if (RunCommand("BEGIN", {}, L"模板库无法打开")) {
            if (!RunCommand((std::string("SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ")").c_str(), {}, L"模板库无法打开") || !RunCommand(kImageSchema, {}, L"模板库无法打开") ||
                !RunCommand("COMMIT", {}, L"模板库无法打开"))
                PQclear(PQexec(m_conn, "ROLLBACK"));
        }
    }
    m_bImageTables = present();
    ClearError();
}

void CPgTemplateStore::SetPendingImages(int id, const std::vector<CStoreImageRef>& images) {
    m_bImagesPending = true;
    m_nPendingImagesID = id;
    m_pendingImages = images;
}

bool CPgTemplateStore::WritePendingImages(int id) {
    if (!m_bImageTables)
        return true;
    if (m_nCopyImagesFrom > 0)
        return RunCommand(kImageLock.c_str(), {}, L"模板无法创建") &&
               RunCommand("INSERT INTO model_image(model_id, path, hash) SELECT $1, path, hash FROM model_image "
                          "WHERE model_id = $2 ON CONFLICT DO NOTHING",
                          {IntParam(id), IntParam(m_nCopyImagesFrom)}, L"模板无法创建");
    if (!m_bImagesPending || (m_nPendingImagesID != 0 && m_nPendingImagesID != id))
        return true;
    m_bImagesPending = false;
    const std::vector<CStoreImageRef> images = std::move(m_pendingImages);
    m_pendingImages.clear();
    return WriteImageRows(id, images, true);
}

bool CPgTemplateStore::WriteImageRows(int id, const std::vector<CStoreImageRef>& images, bool replace) {
    const std::wstring what = L"模板图像无法保存";
    if (!RunCommand(kImageLock.c_str(), {}, what))
        return false;
    std::map<std::wstring, std::string> existing;
    {
        auto r = Hold(Run("SELECT path, hash FROM model_image WHERE model_id = $1", {IntParam(id)}, what));
        if (!r)
            return false;
        for (int row = 0; row < PQntuples(r.get()); ++row)
            existing[Utf8ToWide(GetBytes(r.get(), row, 0))] = GetBytes(r.get(), row, 1);
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
        auto r = Hold(Run("SELECT 1 FROM store_image WHERE hash = $1", {{image.m_strHash, false}}, what));
        if (!r)
            return false;
        if (PQntuples(r.get()) == 0) {
            std::string bytes;
            if (!ReadStoreImageBytes(image, bytes))
                continue;  // gone or changed since it was hashed: keep what the path has
            const auto size = static_cast<int64_t>(bytes.size());
            if (!RunCommand("INSERT INTO store_image(hash, bytes, size) VALUES($1, $2, $3) ON CONFLICT DO NOTHING",
                            {{image.m_strHash, false}, {std::move(bytes), true}, IntParam(size)}, what))
                return false;
        }
        if (!RunCommand(replace ? "INSERT INTO model_image(model_id, path, hash) VALUES($1, $2, $3) "
                                  "ON CONFLICT(model_id, path) DO UPDATE SET hash = EXCLUDED.hash"
                                : "INSERT INTO model_image(model_id, path, hash) VALUES($1, $2, $3) "
                                  "ON CONFLICT DO NOTHING",
                        {IntParam(id), TextParam(image.m_strPath), {image.m_strHash, false}}, what))
            return false;
        unmapped = unmapped || known != existing.end();
    }
    if (replace) {
        for (const auto& [path, hash] : existing) {
            if (current.count(path))
                continue;
            if (!RunCommand("DELETE FROM model_image WHERE model_id = $1 AND path = $2",
                            {IntParam(id), TextParam(path)}, what))
                return false;
            unmapped = true;
        }
    }
    return !unmapped || RemoveUnusedImages();
}

bool CPgTemplateStore::RemoveUnusedImages() {
    return RunCommand("DELETE FROM store_image WHERE NOT EXISTS "
                      "(SELECT 1 FROM model_image m WHERE m.hash = store_image.hash)",
                      {}, L"模板图像无法删除");
}

bool CPgTemplateStore::DeleteModelImages(int id) {
    if (!m_bImageTables)
        return true;
    const std::wstring what = L"模板无法删除";
    return RunCommand(kImageLock.c_str(), {}, what) &&
           RunCommand("DELETE FROM model_image WHERE model_id = $1", {IntParam(id)}, what) && RemoveUnusedImages();
}

bool CPgTemplateStore::LoadModelImages(int id, std::vector<CStoredImage>& out) {
    out.clear();
    if (!EnsureConnected())
        return false;
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    auto r = Hold(Run("SELECT m.path, m.hash, s.size::int8 FROM model_image m "
                      "JOIN store_image s ON s.hash = m.hash WHERE m.model_id = $1 ORDER BY m.path",
                      {IntParam(id)}, L"模板图像无法读取"));
    if (!r)
        return false;
    for (int row = 0; row < PQntuples(r.get()); ++row)
        out.push_back({Utf8ToWide(GetBytes(r.get(), row, 0)), GetBytes(r.get(), row, 1),
                       GetInt(r.get(), row, 2)});
    ClearError();
    return true;
}

bool CPgTemplateStore::LoadImageBytes(const std::string& hash, std::string& bytes, bool& found) {
    bytes.clear();
    found = false;
    if (!EnsureConnected())
        return false;
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    auto r = Hold(Run("SELECT bytes FROM store_image WHERE hash = $1", {{hash, false}}, L"模板图像无法读取"));
    if (!r)
        return false;
    if (PQntuples(r.get()) == 1) {
        bytes = GetBytes(r.get(), 0, 0);
        found = true;
    }
    ClearError();
    return true;
}

bool CPgTemplateStore::AddMissingModelImages(int id, const std::vector<CStoreImageRef>& images) {
    if (!EnsureConnected())
        return false;
    if (!m_bImageTables)
        return Fail(L"模板库不能保存图像: " + m_strShown, StoreFailure::ReadOnly);
    const std::wstring what = L"模板图像无法保存";
    if (!RunCommand("BEGIN", {}, what))
        return false;
    bool ok = false;
    {
        // A model deleted meanwhile gets no mappings.
        auto r = Hold(Run("SELECT 1 FROM model WHERE id = $1", {IntParam(id)}, what));
        ok = r && (PQntuples(r.get()) == 0 || WriteImageRows(id, images, false));
    }
    if (!ok || !RunCommand("COMMIT", {}, what)) {
        if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        return false;
    }
    ClearError();
    return true;
}

bool CPgTemplateStore::CountStoredImages(int64_t& images, int64_t& bytes) {
    images = bytes = 0;
    if (!EnsureConnected())
        return false;
    if (!m_bImageTables) {
        ClearError();
        return true;
    }
    auto r = Hold(Run("SELECT count(*)::int8, coalesce(sum(size), 0)::int8 FROM store_image", {},
                      L"模板图像无法读取"));
    if (!r)
        return false;
    images = GetInt(r.get(), 0, 0);
    bytes = GetInt(r.get(), 0, 1);
    ClearError();
    return true;
}
