#include "host/AppProfile.h"

#include <QSettings>
#include <QString>

namespace {

std::wstring& RegistryKey() {
    static std::wstring key;
    return key;
}

QString Q(const std::wstring& text) { return QString::fromStdWString(text); }

// The profile as the design fixes it; before start-up set the key, the company is still "Veltranox".
QSettings OpenProfile() {
    const std::wstring& company = RegistryKey().empty() ? std::wstring(L"Veltranox") : RegistryKey();
    return QSettings(QSettings::IniFormat, QSettings::UserScope, Q(company), QStringLiteral("ZRKDll"));
}

QString KeyPath(const std::wstring& section, const std::wstring& key) { return Q(section) + '/' + Q(key); }

} // namespace

const std::wstring& GetProfileRegistryKey() { return RegistryKey(); }
void SetProfileRegistryKey(const std::wstring& company) { RegistryKey() = company; }

int GetProfileInt(const std::wstring& section, const std::wstring& key, int defaultValue) {
    QSettings settings = OpenProfile();
    QVariant value = settings.value(KeyPath(section, key));
    if (!value.isValid())
        return defaultValue;
    bool ok = false;
    int result = value.toString().trimmed().toInt(&ok);
    return ok ? result : defaultValue;
}

std::wstring GetProfileString(const std::wstring& section, const std::wstring& key,
                              const std::wstring& defaultValue) {
    QSettings settings = OpenProfile();
    QVariant value = settings.value(KeyPath(section, key));
    return value.isValid() ? value.toString().toStdWString() : defaultValue;
}

bool WriteProfileInt(const std::wstring& section, const std::wstring& key, int value) {
    QSettings settings = OpenProfile();
    settings.setValue(KeyPath(section, key), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool WriteProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    QSettings settings = OpenProfile();
    settings.setValue(KeyPath(section, key), Q(value));
    settings.sync();
    return settings.status() == QSettings::NoError;
}
