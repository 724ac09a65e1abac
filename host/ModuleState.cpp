#include "host/ModuleState.h"

#include "formats/LanguagePack.h"
#include "host/ZRKDllApp.h"

namespace {
int g_nDepth = 0;  // user-interface thread only, like every exported call
}

CModuleStateGuard::CModuleStateGuard() {
    m_bOuter = g_nDepth == 0;
    // The caller's section is recorded before the application object starts: its start-up on the first
    // call sets the module's own section, which must not be mistaken for the caller's.
    if (m_bOuter)
        m_strCallerSection = GetLanguagePack()->GetSection();
    CZRKDllApp::Get();
    ++g_nDepth;
    if (m_bOuter)
        GetLanguagePack()->SetSection(L"ZRKDll.dll");
}

CModuleStateGuard::~CModuleStateGuard() {
    --g_nDepth;
    if (m_bOuter)
        GetLanguagePack()->SetSection(m_strCallerSection);
}

int CModuleStateGuard::GetDepth() { return g_nDepth; }

CModuleSectionGuard::CModuleSectionGuard() {
    CLanguagePack* pack = GetLanguagePack();
    if (g_nDepth > 0 || pack->GetSection() == L"ZRKDll.dll")
        return;
    m_strCallerSection = pack->SetSection(L"ZRKDll.dll");
    m_bSwitched = true;
}

CModuleSectionGuard::~CModuleSectionGuard() {
    if (m_bSwitched)
        GetLanguagePack()->SetSection(m_strCallerSection);
}
