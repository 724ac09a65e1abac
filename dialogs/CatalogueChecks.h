#pragma once
/// What the catalogue dialogs check and show, without any widget: the field checks their OK runs, and
/// the texts of one list row per catalogue entry. Messages come back translated, ready for a message box.

#include <string>
#include <vector>

class CSideType;
class CPhaseType;
class CMaskCoeffType;
class CCustomParaType;

/// The integer field check: leading and trailing blanks are allowed, then an optional sign and decimal
/// digits. True with `value` set when the text is such an integer from `minimum` to `maximum`; otherwise
/// false with `message` set ("请输入一个整数!" for a text that is no integer, "请输入 %d 到 %d 之间的整数!"
/// for one out of range) and `value` untouched.
bool CheckIntField(const std::wstring& text, int minimum, int maximum, int& value, std::wstring& message);
/// The length check of a text field: true when the text has at most `maximum` characters; otherwise
/// false with `message` set ("请输入不超过 %d 个字符!").
bool CheckMaxChars(const std::wstring& text, int maximum, std::wstring& message);
/// A phase-type name must be neither empty nor contain the ASCII blank (U+0020); other white space, the
/// ideographic blank included, is accepted.
bool IsValidPhaseTypeName(const std::wstring& name);

/// The texts of one list row: identifier ("%d"), name.
std::vector<std::wstring> SideTypeRow(const CSideType& type);
/// Identifier, name, "强制索引" (translated) when forced or empty, the reference colour as a decimal integer.
std::vector<std::wstring> PhaseTypeRow(const CPhaseType& type);
/// Identifier, name, coefficient ("%f"), remark.
std::vector<std::wstring> MaskCoeffTypeRow(const CMaskCoeffType& type);
/// Identifier, name.
std::vector<std::wstring> CustomParaTypeRow(const CCustomParaType& type);
