#pragma once
/// The module's application object: chooses the interface language when the module starts and sets the
/// company key of the application profile at initialisation. It lives as long as the module; the first
/// exported call creates it (the module runs no code at load time).

#include <string>

/// Locale identifiers the start-up chooses between.
inline constexpr int ZRK_LOCALE_CHINESE = 0x404;
inline constexpr int ZRK_LOCALE_ENGLISH = 0x409;

class CZRKDllApp {
public:
    /// Module load: reads "Language" of "BasicPara" in GetExeFolder() + "Home/Config/system.ini" (default
    /// "chinese", at most 259 characters, surrounding blanks removed), picks locale 0x404 when its lower
    /// case equals "chinese" and 0x409 otherwise (and sets the matching QLocale default), then hands the
    /// name as read to the language pack and selects the section "ZRKDll.dll".
    CZRKDllApp();
    virtual ~CZRKDllApp() = default;
    CZRKDllApp(const CZRKDllApp&) = delete;
    CZRKDllApp& operator=(const CZRKDllApp&) = delete;

    /// Initialisation: sets the profile's company key "Veltranox", installs the Qt prompter when no
    /// other prompter is in force and Qt's own translation for the language. True.
    virtual bool InitInstance();

    /// The locale identifier chosen at start (0x404 or 0x409).
    int GetLocaleID() const { return m_nLocaleID; }
    /// The language name as read from the configuration, before lower-casing.
    const std::wstring& GetLanguageName() const { return m_strLanguage; }

    /// The module's application object, created and initialised by the first call.
    static CZRKDllApp& Get();

private:
    int m_nLocaleID = ZRK_LOCALE_CHINESE;
    std::wstring m_strLanguage;
};

/// A language name that replaces the configured one for this run (the host's command line); empty keeps the
/// configuration. Takes effect when the module starts, so it is set before the module's first call.
void SetLanguageOverride(const std::wstring& language);

/// Reads the language name as the start-up does, from the configuration of the deployment in
/// `exeFolder` (with trailing "/"); "chinese" when the file or key is missing.
std::wstring ReadConfiguredLanguage(const std::wstring& exeFolder);
/// 0x404 for a name whose lower case is "chinese", 0x409 otherwise.
int LocaleForLanguage(const std::wstring& language);
/// Qt's own texts (message-box buttons, file-dialog labels) in the language of the pack in use: installs
/// Qt's translation for a Chinese pack (replacing one installed before) and none for any other. True when
/// one is installed; false without an application object or without Qt's translation files.
bool InstallQtTranslations(const std::wstring& language);
