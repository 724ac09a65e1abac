#include "HelperFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

std::string GetHelperDeployFolder() {
    std::error_code ec;
    if (const char* env = std::getenv("ZRK_EXE_FOLDER"); env && *env && std::filesystem::is_directory(env, ec)) {
        std::string folder = env;
        return folder.back() == '/' ? folder : folder + '/';
    }
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "./";
    return exe.parent_path().string() + '/';
}

std::string GetHelperWriteFolder() {
    const std::string deploy = GetHelperDeployFolder();
    if (::access(deploy.c_str(), W_OK | X_OK) == 0)
        return deploy;
    std::string user;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        user = std::string(xdg) + "/zrk/";
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        user = std::string(home) + "/.local/share/zrk/";
    if (user.empty())
        return deploy;
    std::error_code ec;
    std::filesystem::create_directories(user, ec);
    return user;
}
