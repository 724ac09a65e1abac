#pragma once
/// Inspection-area files ("InspAreaIni/<name>.ini"): one inspection area written as a parameter-structure
/// script, and read back. No Qt here: tests and the editor's export and import commands call it directly.
///
/// The text (`GetAreaText`) is the nested script form, lines joined with CR LF and no line end after the
/// last:
///
///     []
///         Type=0
///         [OutLineAcme]
///             Type=0
///             Value=10,20,30,20,30,40
///         [END]
///         [InLineAcme]            (only when the area has holes)
///             Type=0
///             [Item1]
///                 Type=0
///                 Value=...
///             [END]
///         [END]
///         [Parameters]
///             Type=0
///             ...                 (the top-level nodes of the area's parameter text, whole)
///         [END]
///     [END]
///
/// The file is narrow text in the process's code page without a byte-order mark.

#include "formats/Limits.h"

#include <cstdint>
#include <string>

class CMaskArea;

/// The area's file text (see above). An area without vertices writes an empty "Value" (no line).
std::wstring GetAreaText(const CMaskArea& area);

/// Fills the area from a file text: parses it, takes the first top-level node and looks among its children
/// for "OutLineAcme" (its vertices are appended to the outer outline: split at ",", empty pieces dropped,
/// pairs of decimal integers, an odd last piece ignored, values beyond the 32-bit range clamped),
/// "InLineAcme" (one hole per child, in order) and "Parameters" (its children, written in nested form and
/// joined with CR LF, become the parameter text). False, the area unchanged, when there is no
/// "OutLineAcme" (an empty text, a binary file, a script of another kind).
bool AreaFromText(const std::wstring& text, CMaskArea& area);

/// Why a file text gives no area.
enum class AreaTextResult { Ok, NoOutline, TooManyVertices };
/// `AreaFromText`, telling also an outline or a hole of more than zrklimits::kMaxOutlineVertices vertices
/// (the area unchanged then too).
AreaTextResult AreaFromTextChecked(const std::wstring& text, CMaskArea& area);

/// Sets the value of every node named "定位核X" or "定位核Y" (anywhere in the tree) of a parameter text to
/// "0" and returns the text rewritten in nested form, top-level nodes joined with CR LF. An imported
/// area's kernel links name kernels of another template or phase.
std::wstring ResetKernelLinks(const std::wstring& parameters);

/// Why an export name is refused; `AreaNameOk` when it is a plain file name.
enum class AreaNameCheck { Ok, Empty, HasPath, TooLong };
/// The name the operator typed is joined to the export folder and given the extension ".ini": it must
/// be a plain file name. Refused: empty; holding "/" or "\" (a folder, also one typed as on Windows), a
/// NUL character, or being "." or ".."; longer than a file name can be once ".ini" is added (255 bytes
/// in the process's code page).
AreaNameCheck CheckAreaFileName(const std::wstring& name);
/// The untranslated message for a refused name (empty for `Ok`).
std::wstring AreaNameMessage(AreaNameCheck check);

/// The outcome of writing or reading an area file.
enum class AreaFileResult { Ok, BadName, NoFolder, WriteFailed, NotFound, TooLarge, ReadFailed };

/// Writes the text into folder + name + ".ini", narrow text in the process's code page. The folder is
/// created when missing. The bytes go to a temporary file in the same folder, which is flushed to the disk
/// and then renamed over the target: a failed write (a full disk) leaves a previous file whole and no
/// partial file behind. `error` receives the system's reason on failure.
AreaFileResult WriteAreaFile(const std::wstring& folder, const std::wstring& name, const std::wstring& text,
                             std::wstring* error = nullptr);

/// The largest area file read (bytes): far above any real outline (a 10 MB outline reads), small enough
/// that a wrong file chosen by mistake is refused instead of filling the memory.
inline constexpr uint64_t kMaxAreaFileBytes = zrklimits::kMaxAreaFileBytes;

/// Reads an area file into wide text: UTF-16 little-endian when it starts with the mark FF FE, otherwise
/// narrow text in the process's code page (a UTF-8 mark is skipped under code page 65001). The text ends
/// at the first NUL character, as a zero-terminated buffer would. Invalid bytes read as U+FFFD.
AreaFileResult ReadAreaFile(const std::wstring& path, std::wstring& text);
