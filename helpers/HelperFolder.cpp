#include "HelperFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

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
