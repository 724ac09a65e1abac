#pragma once
/// One entry found by a folder search: the search record of a file (name, attributes, times, sizes).

#include "model/IDItem.h"

#include <cstdint>
#include <string>

/// Attribute bits as the search record keeps them.
inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;

/// The search record. Times are seconds since 1970-01-01 UTC (0 when unknown); the file size is split
/// into its high and low 32 bits as the record has always carried it.
struct ZrkFindData {
    uint32_t dwFileAttributes = 0;
    int64_t ftCreationTime = 0;
    int64_t ftLastAccessTime = 0;
    int64_t ftLastWriteTime = 0;
    uint32_t nFileSizeHigh = 0;
    uint32_t nFileSizeLow = 0;
    std::wstring cFileName;          ///< name without folder
    std::wstring cAlternateFileName; ///< always empty here

    uint64_t GetFileSize() const { return (uint64_t(nFileSizeHigh) << 32) | nFileSizeLow; }
};

class CFindFileData : public CIDItem {
public:
    /// The file name.
    std::wstring GetName() const override { return m_data.cFileName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CFindFileData; }
    std::wstring GetTypeName() const override { return L"CFindFileData"; }

    ZrkFindData m_data;
};
