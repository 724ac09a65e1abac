#pragma once
/// Makes the module's own state current for the length of an exported call and gives the caller's back
/// on every way out, exceptions included. The module's state: its application object (created, with the
/// language and the profile key, by the first call) and its resources, that is the language-pack
/// section "ZRKDll.dll" that every text of the module is looked up in. Guards nest; only the outermost
/// one switches and restores.

#include <string>

class CModuleStateGuard {
public:
    CModuleStateGuard();
    ~CModuleStateGuard();
    CModuleStateGuard(const CModuleStateGuard&) = delete;
    CModuleStateGuard& operator=(const CModuleStateGuard&) = delete;

    /// How many guards are active now (0 outside every exported call).
    static int GetDepth();

private:
    std::wstring m_strCallerSection;
    bool m_bOuter = false;
};
