#include "host/SysConfig.h"

#include "formats/IniFile.h"
#include "formats/Utility.h"

#include <QGuiApplication>
#include <QStyleHints>

int GetDoubleClickTime() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QGuiApplication::styleHints()->mouseDoubleClickInterval();
    return 500;
}

CSysConfig::CSysConfig(const std::wstring& exeFolder) {
    CIniFile ini;
    int delay = 1;
    int editors = 0;
    if (ini.Load(exeFolder + L"config.ini")) {
        delay = ini.GetInt(L"General", L"bIfMouseTimeDelay", 1);
        editors = ini.GetInt(L"General", L"bEnableCatalogueEditors", 0);
    }
    m_nPressDelay = delay == 1 ? GetDoubleClickTime() : 0;
    m_bEnableCatalogueEditors = editors == 1;
}

CSysConfig& CSysConfig::Get() {
    static CSysConfig* config = new CSysConfig(GetExeFolder());  // stays until the process ends
    return *config;
}
