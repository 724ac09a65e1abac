#include "host/ModuleState.h"

#include "host/LanguageSeam.h"
#include "host/ZRKDllApp.h"

namespace {
int g_nDepth = 0;  // user-interface thread only, like every exported call
}

CModuleStateGuard::CModuleStateGuard() {
    CZRKDllApp::Get();
    m_bOuter = g_nDepth++ == 0;
#if ZRK_HAVE_LANGUAGE_PACK
    if (m_bOuter)
        m_strCallerSection = GetLanguagePack()->SetSection(L"ZRKDll.dll");
#endif
}

CModuleStateGuard::~CModuleStateGuard() {
    --g_nDepth;
#if ZRK_HAVE_LANGUAGE_PACK
    if (m_bOuter)
        GetLanguagePack()->SetSection(m_strCallerSection);
#endif
}

int CModuleStateGuard::GetDepth() { return g_nDepth; }
