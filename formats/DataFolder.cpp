#include "formats/DataFolder.h"

#include "formats/CodePage.h"
#include "formats/Utility.h"

#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace {
std::mutex g_mutex;
std::wstring g_folder;

std::wstring WithSlash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'/')
        folder += L'/';
    return folder;
}
} // namespace

std::wstring GetDataFolder() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_folder.empty())
            return g_folder;
    }
    return GetExeFolder();
}

void SetDataFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_folder = WithSlash(folder);
}

std::wstring GetUserDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        return WithSlash(Utf8ToWide(xdg)) + L"zrk/";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return WithSlash(Utf8ToWide(home)) + L".local/share/zrk/";
    return std::wstring();
}

bool IsWritableFolder(const std::wstring& folder, const std::wstring& file) {
    const std::string dir = WideToUtf8(folder);
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return false;
    if (file.empty())
        return true;
    const std::string path = WideToUtf8(WithSlash(folder) + file);
    return ::access(path.c_str(), F_OK) != 0 || ::access(path.c_str(), W_OK) == 0;
}
