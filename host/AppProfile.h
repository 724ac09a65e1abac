#pragma once
/// The module's application profile: an INI file kept by QSettings under company "Veltranox", application
/// "ZRKDll" (~/.config/Veltranox/ZRKDll.ini, or under $XDG_CONFIG_HOME), read and written per section
/// ("ZRKDll" for everything this module keeps). Keys are case-sensitive.

#include <string>

/// The company key the start-up sets; empty before `SetProfileRegistryKey`.
const std::wstring& GetProfileRegistryKey();
void SetProfileRegistryKey(const std::wstring& company);

/// The integer of `key` in `section`; `defaultValue` when the key is missing or not a number.
int GetProfileInt(const std::wstring& section, const std::wstring& key, int defaultValue);
/// The text of `key` in `section`; `defaultValue` when missing.
std::wstring GetProfileString(const std::wstring& section, const std::wstring& key,
                              const std::wstring& defaultValue = L"");
/// Write and flush at once; false when the profile file cannot be written.
bool WriteProfileInt(const std::wstring& section, const std::wstring& key, int value);
bool WriteProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
