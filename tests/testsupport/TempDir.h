#pragma once
// A temporary folder for one test, removed with everything in it when the object dies.

#include <filesystem>
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    /// The folder with a trailing "/", as wide text.
    std::wstring Folder() const;
    /// A wide path of a file inside the folder.
    std::wstring File(const std::string& name) const;

    void WriteBytes(const std::string& name, const std::string& bytes) const;
    std::string ReadBytes(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

/// Sets an environment variable for the lifetime of the object and restores the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};
