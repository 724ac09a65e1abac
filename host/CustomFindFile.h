#pragma once
/// The files of a folder that match a search pattern, as a list of `CFindFileData` items.

#include "model/ItemList.h"

#include <string>

class CFindFileData;

class CCustomFindFile : public CItemList {
public:
    /// Appends one `CFindFileData` for each entry matching `pattern` that is not a folder, sorted by
    /// name, each with `Add` (so it gets the next identifier). The pattern is a folder path, "/", then a
    /// file-name pattern where "*" matches any run of characters and "?" one character (case-sensitive);
    /// a pattern without "/" searches the current folder. A missing folder adds nothing. Returns the
    /// number of entries added.
    int Fill(const std::wstring& pattern);

    CFindFileData* GetFileAt(int position) const;
};

/// True when `name` matches the wildcard `pattern` ("*" any run, "?" one character).
bool MatchWildcard(const std::wstring& pattern, const std::wstring& name);
