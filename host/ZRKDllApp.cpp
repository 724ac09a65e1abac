#include "host/ZRKDllApp.h"

#include "dialogs/QtPrompter.h"
#include "formats/IniFile.h"
#include "formats/Utility.h"
#include "host/AppProfile.h"
#include "formats/LanguagePack.h"
#include "support/Prompter.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cwctype>
#include <memory>

std::wstring ReadConfiguredLanguage(const std::wstring& exeFolder) {
    std::wstring path = exeFolder + L"Home/Config/system.ini";
    std::wstring value;
    // Read without creating the host's file: a missing configuration only means the default.
    if (IsExistingFile(path)) {
        CIniFile ini;
        if (ini.Load(path))
            ini.GetValue(L"BasicPara", L"Language", value);
    }
    size_t first = value.find_first_not_of(L" \t\r\n");
    size_t last = value.find_last_not_of(L" \t\r\n");
    value = first == std::wstring::npos ? std::wstring() : value.substr(first, last - first + 1);
    if (value.size() > 259)
        value.resize(259);  // the value buffer holds 260 characters with its terminator
    return value.empty() ? std::wstring(L"chinese") : value;
}

int LocaleForLanguage(const std::wstring& language) {
    std::wstring lower = language;
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    return lower == L"chinese" ? ZRK_LOCALE_CHINESE : ZRK_LOCALE_ENGLISH;
}

namespace {
std::wstring& LanguageOverride() {
    static std::wstring language;
    return language;
}
} // namespace

void SetLanguageOverride(const std::wstring& language) { LanguageOverride() = language; }

bool InstallQtTranslations(const std::wstring& language) {
    static QTranslator* installed = nullptr;
    if (!QCoreApplication::instance())
        return false;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    // The interface languages whose packs Qt has its own texts for; English is Qt's own language.
    if (LocaleForLanguage(language) != ZRK_LOCALE_CHINESE)
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return false;  // without Qt's translations installed its texts stay English
    installed = translator.release();
    return true;
}

CZRKDllApp::CZRKDllApp() {
    m_strLanguage = LanguageOverride().empty() ? ReadConfiguredLanguage(GetExeFolder()) : LanguageOverride();
    m_nLocaleID = LocaleForLanguage(m_strLanguage);
    QLocale::setDefault(m_nLocaleID == ZRK_LOCALE_CHINESE ? QLocale(QLocale::Chinese, QLocale::Taiwan)
                                                          : QLocale(QLocale::English, QLocale::UnitedStates));
    GetLanguagePack()->LoadLanguage(m_strLanguage);
    GetLanguagePack()->SetSection(L"ZRKDll.dll");
}

bool CZRKDllApp::InitInstance() {
    SetProfileRegistryKey(L"Veltranox");
    static CQtPrompter qtPrompter;
    IPrompter* current = SetPrompter(nullptr);
    SetPrompter(current ? current : &qtPrompter);
    InstallQtTranslations(m_strLanguage);
    return true;
}

CZRKDllApp& CZRKDllApp::Get() {
    static CZRKDllApp* app = [] {
        auto* created = new CZRKDllApp;  // lives as long as the module
        created->InitInstance();
        return created;
    }();
    return *app;
}
