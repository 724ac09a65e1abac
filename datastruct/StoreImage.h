#pragma once
/// Camera images kept in the template store, content-addressed: one copy of each distinct image (named by
/// the SHA-256 of its bytes, `store_image`) shared by every model that uses it, and for each model which
/// stored image each of its camera paths means (`model_image`).

#include <cstdint>
#include <string>

/// The largest image file kept in the store (a larger one stays a file on the station only).
inline constexpr int64_t kMaxStoredImageBytes = 256ll << 20;

/// One camera path of a model, as a save or a first load brings it into the store.
struct CStoreImageRef {
    std::wstring m_strPath;  ///< the path as the model keeps it (relative to the deployment folder inside it)
    std::wstring m_strFile;  ///< the file read for it
    std::string m_strHash;   ///< SHA-256 of the file's bytes in hexadecimal; empty when the file was not read
    int64_t m_nSize = 0;     ///< the file's size in bytes
};

/// Which stored image a model's camera path means.
struct CStoredImage {
    std::wstring m_strPath;
    std::string m_strHash;
    int64_t m_nSize = 0;
};

/// Reads the file of `image` again; true when it still holds the bytes of `m_strHash` (false when the file
/// is gone, too large, or changed since it was hashed).
bool ReadStoreImageBytes(const CStoreImageRef& image, std::string& bytes);
/// Whether the text is a SHA-256 in lower-case hexadecimal (64 digits): the only names the image cache
/// makes files of.
bool IsStoreImageHash(const std::string& hash);
