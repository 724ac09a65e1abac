#pragma once
// REFACTOR: the language packs arrive with formats/LanguagePack.h; until then texts pass unchanged.
// Replace every include of this header by formats/LanguagePack.h once it is merged.
#if __has_include("formats/LanguagePack.h")
#include "formats/LanguagePack.h"
#define ZRK_HAVE_LANGUAGE_PACK 1
#else
#include <string>
inline std::wstring Translate(const std::wstring& text, int = 0) { return text; }
#define ZRK_HAVE_LANGUAGE_PACK 0
#endif
