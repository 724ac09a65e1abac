#pragma once
/// Free helpers shared by the whole system: folders and paths, numbers as text, fields of texts, and
/// small rectangle computations. Folders are returned with a trailing "/".

#include "support/Geometry.h"

#include <memory>
#include <string>

/// The folder of the running program, with a trailing "/": the folder named by the environment variable
/// ZRK_EXE_FOLDER when it is set and names a folder (tests run against a temporary deployment), else the
/// folder of /proc/self/exe.
std::wstring GetExeFolder();
/// The path itself when it is a folder, otherwise its text up to and including the last "/" (empty when
/// it has none); "/" appended when the result does not end with one. So "b.txt" gives "/".
std::wstring GetFolderOfPath(const std::wstring& path);
/// Whether anything, file or folder, matches the path; "*" and "?" in its last parts are wildcards
/// ("[" and "\\" are not). A path ending in "/" names no entry and finds nothing, as a directory search.
bool PathExists(const std::wstring& path);
/// Whether the first entry matching the path (in name order) exists and is not a folder.
bool IsExistingFile(const std::wstring& path);

std::wstring IntToStr(int value);
/// Six decimals, as "%f".
std::wstring DoubleToStr(double value);
/// The N-th field (from 1) of the text cut at the separator; the last field runs to the end. N below 1,
/// or beyond the number of fields, gives the empty text.
std::wstring GetField(const std::wstring& text, wchar_t separator, int n);
/// The text in the process's code page, zero-terminated, in a new array the caller deletes with
/// delete[]; null when the conversion yields nothing.
char* WideToAnsi(const std::wstring& text);

/// Each edge outside the bounds (or beyond the opposite bound) replaced by the bound's edge.
CRect ClampRect(const CRect& rect, const CRect& bounds);
CPoint ClampPoint(int x, int y, int minX, int minY, int maxX, int maxY);
/// Every edge of `inner` on or inside `outer`.
bool RectInside(const CRect& outer, const CRect& inner);
/// The normalised rectangle spanned by the two points, widened by the margin on every side.
CRect RectAroundPoints(CPoint a, CPoint b, int margin);
/// With `offset` the rectangle moved by (x, y); otherwise moved so its top-left corner is (x, y).
CRect PlaceRect(const CRect& rect, int x, int y, bool offset);
