#include "datastruct/ModelImages.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/ImageHashMemo.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/RefImage.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "formats/Sha256.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::mutex g_filesMutex;
std::map<std::wstring, std::wstring> g_files;
std::atomic<bool> g_anyFiles{false};

fs::path FsPath(const std::wstring& path) {
    return fs::u8path(WideToUtf8(path));
}

// Reads the whole file (at most `limit` bytes, plus one to tell a file that grew); false when it cannot.
bool ReadWholeFile(const std::wstring& file, std::string& bytes, int64_t limit) {
    bytes.clear();
    std::ifstream in(FsPath(file), std::ios::binary);
    if (!in)
        return false;
    char buffer[1 << 16];
    while (in) {
        in.read(buffer, sizeof buffer);
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
        if (static_cast<int64_t>(bytes.size()) > limit)
            return false;
    }
    return in.eof();
}

// The cache file's extension: the path's own (letters and digits, lower case), else "img". The readers
// tell the format by the file's first bytes, so the extension only helps a person looking at the cache.
std::wstring CacheExtension(const std::wstring& path) {
    const std::string ext = FsPath(path).extension().string();
    std::wstring out;
    for (size_t i = 1; i < ext.size() && out.size() < 8; ++i) {
        const unsigned char c = static_cast<unsigned char>(ext[i]);
        if (!std::isalnum(c))
            return L"img";
        out += static_cast<wchar_t>(std::tolower(c));
    }
    return out.empty() ? L"img" : out;
}

// Writes the file whole or not at all: a temporary file beside it, renamed over it.
bool WriteCacheFile(const std::wstring& file, const std::string& bytes) {
    static std::atomic<unsigned> counter{0};
    const fs::path target = FsPath(file);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    fs::path temp = target;
    temp += ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

// The cache file holds the image when it has its size and its hash (a file damaged or cut short by a crash
// of another program is written again). The station's memory of hashes spares reading a file unchanged
// since it was last checked.
bool CacheFileHolds(CImageHashMemo& memo, const std::wstring& file, const CStoredImage& image) {
    int64_t size = -1;
    return memo.Hash(file, image.m_nSize, &size) == image.m_strHash && size == image.m_nSize;
}

} // namespace

bool IsStoreImageHash(const std::string& hash) {
    if (hash.size() != 64)
        return false;
    for (char c : hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool ReadStoreImageBytes(const CStoreImageRef& image, std::string& bytes) {
    if (!IsStoreImageHash(image.m_strHash) || !ReadWholeFile(image.m_strFile, bytes, kMaxStoredImageBytes) ||
        Sha256Hex(bytes) != image.m_strHash) {
        bytes.clear();
        return false;
    }
    return true;
}

std::vector<CStoreImageRef> GatherModelImages(const CModelInfo& model) {
    return GatherModelImagesExcept(model, {});
}

std::vector<CStoreImageRef> GatherModelImagesExcept(const CModelInfo& model, const std::set<std::wstring>& skip) {
    std::vector<CStoreImageRef> images;
    std::set<std::wstring> seen = skip;
    CImageHashMemo memo;  // a file unchanged since this station last hashed it is not read again
    const CItemList& refImages = model.m_refImageSet.m_refImages;
    for (int i = 0; i < refImages.GetSize(); ++i) {
        const auto* ref = refImages.GetAtAs<CRefImage>(i);
        if (!ref)
            continue;
        for (int j = 0; j < ref->m_cameras.GetSize(); ++j) {
            const auto* camera = ref->m_cameras.GetAtAs<CCameraRefImage>(j);
            if (!camera || camera->m_strName.empty())
                continue;
            CStoreImageRef image;
            image.m_strPath = CCameraRefImage::ToStoredPath(camera->m_strName);
            if (!seen.insert(image.m_strPath).second)
                continue;
            image.m_strFile = camera->GetFilePath();
            image.m_strHash = memo.Hash(image.m_strFile, kMaxStoredImageBytes, &image.m_nSize);
            images.push_back(std::move(image));
        }
    }
    return images;
}

std::wstring StoreImageCacheFolder() {
    return GetDataFolder() + L"Cache/Images/";
}

bool UseStoreImages(CTemplateStore& store, const CModelInfo& model, bool migrate) {
    std::vector<CStoredImage> mapped;
    if (!store.LoadModelImages(model.m_nID, mapped)) {
        ClearStoreImageFiles();
        return false;
    }
    if (migrate) {
        std::set<std::wstring> known;
        for (const CStoredImage& image : mapped)
            known.insert(image.m_strPath);
        // Only the paths without a mapping are hashed: a load of a model whose images are stored reads no file.
        std::vector<CStoreImageRef> missing;
        for (CStoreImageRef& image : GatherModelImagesExcept(model, known))
            if (IsStoreImageHash(image.m_strHash))
                missing.push_back(std::move(image));
        // A store that cannot be written keeps reading the files.
        if (!missing.empty() && store.AddMissingModelImages(model.m_nID, missing) &&
            !store.LoadModelImages(model.m_nID, mapped)) {
            ClearStoreImageFiles();
            return false;
        }
    }
    std::map<std::wstring, std::wstring> files;
    const std::wstring folder = StoreImageCacheFolder();
    CImageHashMemo memo;
    for (const CStoredImage& image : mapped) {
        if (!IsStoreImageHash(image.m_strHash))
            continue;
        const std::wstring file = folder + Utf8ToWide(image.m_strHash) + L"." + CacheExtension(image.m_strPath);
        if (!CacheFileHolds(memo, file, image)) {
            std::string bytes;
            bool found = false;
            // Bytes that do not match their name are not shown: the path is read from its file.
            if (!store.LoadImageBytes(image.m_strHash, bytes, found) || !found ||
                Sha256Hex(bytes) != image.m_strHash || !WriteCacheFile(file, bytes))
                continue;
            memo.Remember(file, image.m_strHash);
        }
        files[image.m_strPath] = file;
    }
    SetStoreImageFiles(files);
    return true;
}

void SetStoreImageFiles(const std::map<std::wstring, std::wstring>& files) {
    std::lock_guard<std::mutex> lock(g_filesMutex);
    g_files = files;
    g_anyFiles = !g_files.empty();
}

void ClearStoreImageFiles() {
    SetStoreImageFiles({});
}

std::wstring ResolveStoreImageFile(const std::wstring& name, const std::wstring& file) {
    if (!g_anyFiles || name.empty())
        return file;
    const std::wstring stored = CCameraRefImage::ToStoredPath(name);
    std::lock_guard<std::mutex> lock(g_filesMutex);
    const auto found = g_files.find(stored);
    return found == g_files.end() ? file : found->second;
}
