#include "host/DynamicLibrary.h"

#include "formats/CodePage.h"

#include <dlfcn.h>
#include <utility>

CDynamicLibrary::CDynamicLibrary(CDynamicLibrary&& other) noexcept
    : m_hModule(std::exchange(other.m_hModule, nullptr)), m_strError(std::move(other.m_strError)) {}

CDynamicLibrary& CDynamicLibrary::operator=(CDynamicLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        m_hModule = std::exchange(other.m_hModule, nullptr);
        m_strError = std::move(other.m_strError);
    }
    return *this;
}

bool CDynamicLibrary::Load(const std::wstring& path) {
    Free();
    m_strError.clear();
    if (path.empty()) {
        m_strError = "empty library path";
        return false;
    }
    m_hModule = dlopen(WideToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_hModule) {
        const char* error = dlerror();
        m_strError = error ? error : "dlopen failed";
        return false;
    }
    return true;
}

void CDynamicLibrary::Free() {
    if (m_hModule) {
        dlclose(m_hModule);
        m_hModule = nullptr;
    }
}

void* CDynamicLibrary::Symbol(const char* name) const {
    if (!m_hModule || !name)
        return nullptr;
    return dlsym(m_hModule, name);
}
