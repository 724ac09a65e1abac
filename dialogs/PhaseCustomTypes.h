#pragma once
/// The custom parameter types that the phase dialog keeps for the inspection type "缺陷检测": for a side
/// type S and a phase type P, a high type "S-P-高" and a low type "S-P-低", made from the custom script
/// "自定义.ini" and carrying the defect names "P浅" and "P深". No widget here: the dialog calls these, and
/// tests call them directly.

#include <string>

class CCustomParaType;
class CItemList;

namespace phasecustom {

/// The custom script file the types are made from, in "PlugIns/Custom/".
inline constexpr const wchar_t* kScriptFile = L"自定义.ini";
/// A custom type's mask grey value is a byte: the 257th type would repeat a value.
inline constexpr int kMaxCustomTypes = 256;

/// Reads "<exe folder>PlugIns/Custom/<file>" with the script reader; its lines joined with CR LF. False,
/// `text` untouched, when the file is missing or cannot be read.
bool ReadCustomScript(const std::wstring& file, std::wstring& text);

/// Makes sure a `CCustomParaType` named `name` exists in `types`. When it does, nothing changes. Otherwise
/// appends one (the list gives it the largest identifier + 1) with that name, mask grey value = the number
/// of types before it, reference colour 0x3264 (red 100, green 50, blue 0), script name `scriptFile` and
/// script text `scriptText`. False, nothing added, when the list already holds `kMaxCustomTypes` types.
bool EnsureCustomParaType(CItemList& types, const std::wstring& name, const std::wstring& scriptFile,
                          const std::wstring& scriptText);

/// The identifier of the first custom type named `name`; -1 when there is none.
int FindCustomParaTypeID(const CItemList& types, const std::wstring& name);

/// Sets the value of the script node "其他" -> "1" -> "缺陷名称" of the type's script text to `defect`,
/// when that path exists, and writes the script's top-level nodes back in the nested form, every line
/// followed by CR LF (the form the custom-type editor stores). Returns whether the node was found.
bool SetCustomDefectName(CCustomParaType& type, const std::wstring& defect);

} // namespace phasecustom
