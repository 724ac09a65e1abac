#pragma once
/// Small helpers the kernel, mask, threshold-mask and note dialogs share.

#include <functional>
#include <string>

class CInspType;
class QString;

/// The path of a parameter script of an inspection type: the deployment's "PlugIns/" folder, the type's
/// name as sub-folder, then the file. A null type or one with an empty name reads from "PlugIns/" itself.
std::wstring GetTypeScriptPath(const CInspType* type, const std::wstring& file);

/// The decimal number at the start of the text (blanks, an optional sign, digits, a point, an exponent),
/// read the same way in every process locale; 0 when the text does not start with one. `finite` is
/// false when the text spells an infinity or NaN, or a number too large for a double.
double ReadDecimal(const std::wstring& text, bool* finite = nullptr);

/// The translated text as a QString.
QString TrQ(const wchar_t* text);

/// The first tag after `tag` that `taken` does not refuse: a trailing number counts on ("区域9" gives
/// "区域10", "A07" gives "A08"), other tags get "2", "3", ... appended, an empty tag counts from "1". `tag`
/// itself when it is free.
std::wstring NextFreeTag(const std::wstring& tag, const std::function<bool(const std::wstring&)>& taken);
