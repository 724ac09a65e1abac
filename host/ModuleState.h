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

/// The module's language section for the length of a call that reaches the module through one of its own
/// windows (a click, a key, a menu) rather than an exported entry point: the texts it shows are looked up
/// where the module keeps them, and the section the caller had is given back on every way out. Inside an
/// exported call (a `CModuleStateGuard` active) it does nothing.
class CModuleSectionGuard {
public:
    CModuleSectionGuard();
    ~CModuleSectionGuard();
    CModuleSectionGuard(const CModuleSectionGuard&) = delete;
    CModuleSectionGuard& operator=(const CModuleSectionGuard&) = delete;

private:
    std::wstring m_strCallerSection;
    bool m_bSwitched = false;
};
