#pragma once
/// Conversions between wide text and the byte forms the system reads and writes: narrow text in a
/// Windows code page (through iconv, UTF-8 by our own codec) and UTF-16 little-endian.
///
/// Decoding never fails: an invalid byte sequence, an odd trailing byte or a lone surrogate becomes
/// U+FFFD and the rest is decoded. Encoding into a narrow code page other than UTF-8 writes a base
/// character followed by a combining mark as their precomposed character when the page holds it, and
/// `unconvertible` for each character the code page cannot hold.

#include <string>
#include <string_view>

/// The process's narrow ("ANSI") code page: 65001 unless key "AnsiCodePage" of section "General" in the
/// deployment's "config.ini" names another one that this machine can convert. Read once, on first use.
int GetAnsiCodePage();
/// Overrides the process's code page (tests, or a host that knows better). 0 or -1 re-reads config.ini
/// on the next `GetAnsiCodePage`.
void SetAnsiCodePage(int codePage);

/// The iconv name for a Windows code-page number ("GBK" for 936, "CP1252" for 1252, ...).
std::string CodePageToIconvName(int codePage);
/// Whether text in the code page can be converted here.
bool IsCodePageSupported(int codePage);

/// Narrow bytes in `codePage` (-1: the process's code page) to wide text.
std::wstring DecodeText(std::string_view bytes, int codePage);
/// Wide text to narrow bytes in `codePage` (-1: the process's code page).
std::string EncodeText(std::wstring_view text, int codePage, char unconvertible = '#');

std::wstring Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(std::wstring_view text);
/// Little-endian UTF-16 bytes (no mark expected) to wide text; surrogate pairs are joined.
std::wstring Utf16LeToWide(std::string_view bytes);
/// Wide text to little-endian UTF-16 bytes; characters above U+FFFF become surrogate pairs.
std::string WideToUtf16Le(std::wstring_view text);

/// Process code page shortcuts.
inline std::wstring AnsiToWide(std::string_view bytes) { return DecodeText(bytes, -1); }
inline std::string WideToAnsiString(std::wstring_view text) { return EncodeText(text, -1); }
