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
    if (ini.Load(exeFolder + L"config.ini"))
        delay = ini.GetInt(L"General", L"bIfMouseTimeDelay", 1);
    m_nPressDelay = delay == 1 ? GetDoubleClickTime() : 0;
}

CSysConfig& CSysConfig::Get() {
    static CSysConfig* config = new CSysConfig(GetExeFolder());  // stays until the process ends
    return *config;
}
