#include "host/ModuleState.h"

#include "formats/LanguagePack.h"
#include "host/ZRKDllApp.h"

namespace {
int g_nDepth = 0;  // user-interface thread only, like every exported call
}

CModuleStateGuard::CModuleStateGuard() {
    CZRKDllApp::Get();
    m_bOuter = g_nDepth++ == 0;
    if (m_bOuter)
        m_strCallerSection = GetLanguagePack()->SetSection(L"ZRKDll.dll");
}

CModuleStateGuard::~CModuleStateGuard() {
    --g_nDepth;
    if (m_bOuter)
        GetLanguagePack()->SetSection(m_strCallerSection);
}

int CModuleStateGuard::GetDepth() { return g_nDepth; }
