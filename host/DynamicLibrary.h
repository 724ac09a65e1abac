#pragma once
/// A loaded shared library, unloaded when the object dies (dlopen, dlsym, dlclose).
///
/// The object may be empty (nothing loaded); `Symbol` then answers null. Moving hands the library over;
/// copying is not allowed, so every handle is closed exactly once.

#include <string>

class CDynamicLibrary {
public:
    CDynamicLibrary() = default;
    /// Loads the library at `path` (UTF-8 file name made from the wide text); empty on failure.
    explicit CDynamicLibrary(const std::wstring& path) { Load(path); }
    ~CDynamicLibrary() { Free(); }
    CDynamicLibrary(CDynamicLibrary&& other) noexcept;
    CDynamicLibrary& operator=(CDynamicLibrary&& other) noexcept;
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;

    /// Frees what was loaded before, then loads `path` with the symbols bound at once; false when the
    /// file is missing or cannot be loaded (`GetError` tells why).
    bool Load(const std::wstring& path);
    /// Unloads; nothing happens when empty.
    void Free();
    bool IsLoaded() const { return m_hModule != nullptr; }
    void* GetHandle() const { return m_hModule; }
    /// The address of the exported symbol `name`; null when empty or the symbol is missing.
    void* Symbol(const char* name) const;
    template <class Fn> Fn SymbolAs(const char* name) const { return reinterpret_cast<Fn>(Symbol(name)); }
    /// The loader's message of the last failed `Load`; empty after a success.
    const std::string& GetError() const { return m_strError; }

private:
    void* m_hModule = nullptr;
    std::string m_strError;
};
