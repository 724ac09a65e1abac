#pragma once
/// The module's own configuration, read once from GetExeFolder() + "config.ini".

#include <cstdint>
#include <string>

class CSysConfig {
public:
    /// Reads section "General" of `exeFolder` + "config.ini": "bIfMouseTimeDelay" (default 1; 1 makes the
    /// press delay the double-click interval, any other value makes it 0) and "bEnableCatalogueEditors"
    /// (default 0; 1 enables the side-type, mask-coefficient-type and reference-image editors of the
    /// toolbar, which otherwise start disabled and stay so; a non-number reads as 0).
    explicit CSysConfig(const std::wstring& exeFolder);
    virtual ~CSysConfig() = default;

    /// The process-wide configuration, read from the deployment folder on the first call; never destroyed.
    static CSysConfig& Get();

    /// Milliseconds a pressed shape waits before a drag starts.
    int32_t m_nPressDelay = 0;
    /// Whether the toolbar's catalogue editors that start disabled are enabled at start.
    bool m_bEnableCatalogueEditors = false;
};

/// The desktop's double-click interval in milliseconds (500 without a GUI application).
int GetDoubleClickTime();
