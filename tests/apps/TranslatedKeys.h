#pragma once
// The texts the program hands to the language pack, gathered from its sources: what a language pack must
// cover. The scan reads C++ as tokens (comments dropped) and collects:
//  - every wide literal passed to `Translate` or to a function that hands one of its parameters on to a
//    translating function (the `Tr`, `T`, `TrQ` helpers, a lambda such as `add(L"撤销", ...)`, a message
//    function taking its text as its first argument), found again and again until no new one appears;
//  - for an argument that is not a literal: the literals of the table it is taken from (an array or a
//    table of structures in the same file, also through a range-for variable), or the literals a function
//    it calls returns.
// Keys are kept when they hold a character beyond ASCII or are numeric (ASCII words such as "AAAA" show
// as they are in every language).

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

struct TranslatedKey {
    std::string file;  ///< the first source file it was found in, relative to the scanned root
    int line = 0;
};

/// Scans every .cpp and .h below the folders of `root` (tests, bench and build folders left out).
std::map<std::string, TranslatedKey> GatherTranslatedKeys(const std::filesystem::path& root,
                                                          const std::vector<std::string>& folders);

/// The same scan over texts given directly (name -> source text), for tests of the scan itself.
std::map<std::string, TranslatedKey> GatherTranslatedKeysFromTexts(const std::map<std::string, std::string>& files);
