#pragma once
/// The module's own configuration, read once from GetExeFolder() + "config.ini".

#include <cstdint>
#include <string>

class CSysConfig {
public:
    /// Reads "bIfMouseTimeDelay" of section "General" (default 1) from `exeFolder` + "config.ini"; 1 makes
    /// the press delay the double-click interval, any other value makes it 0.
    explicit CSysConfig(const std::wstring& exeFolder);
    virtual ~CSysConfig() = default;

    /// The process-wide configuration, read from the deployment folder on the first call; never destroyed.
    static CSysConfig& Get();

    /// Milliseconds a pressed shape waits before a drag starts.
    int32_t m_nPressDelay = 0;
};

/// The desktop's double-click interval in milliseconds (500 without a GUI application).
int GetDoubleClickTime();
