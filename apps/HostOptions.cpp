#include "HostOptions.h"

#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "formats/Utility.h"

#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options, std::string& error) {
    const std::map<std::string, std::string HostOptions::*> valued = {
        {"--language", &HostOptions::language},
        {"--store", &HostOptions::store},
        {"--screenshot", &HostOptions::screenshot},
        {"--open", &HostOptions::open},
        {"--model", &HostOptions::model}};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--exit-after-paint") {
            options.exitAfterPaint = true;
        } else if (auto found = valued.find(arg); found != valued.end()) {
            if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1].rfind("--", 0) == 0) {
                error = arg + " needs a value";
                return false;
            }
            std::string& value = options.*(found->second);
            if (!value.empty()) {
                error = arg + " is given twice";
                return false;
            }
            value = args[++i];
        } else {
            error = "unknown argument: " + arg;
            return false;
        }
    }
    if (!options.open.empty() && options.screenshot.empty()) {
        error = "--open needs --screenshot FILE";
        return false;
    }
    if (!options.model.empty() &&
        (options.model.find_first_not_of("0123456789") != std::string::npos || options.model.size() > 9 ||
         std::stoi(options.model) < 1)) {
        error = "--model takes the number of a model in the template store";
        return false;
    }
    if (options.language.find_first_of("/\\") != std::string::npos || options.language == "." ||
        options.language == "..") {
        error = "--language takes the name of a pack in the Language folder, not a path";
        return false;
    }
    return true;
}

std::string HostUsage() {
    return "usage: zrk-host [OPTION]...\n"
           "Opens the template editor on the last model of the profile (the sample the first time).\n"
           "\n"
           "  --help               this text\n"
           "  --version            the program's version\n"
           "  --language NAME      the interface language for this run (Language/NAME.lpk), instead of\n"
           "                       Language in Home/Config/system.ini; e.g. english, chinese\n"
           "  --store PATH         use the template store in the file PATH (made empty when the file\n"
           "                       does not exist yet; its folder must exist), or the one on a server:\n"
           "                       postgresql://USER@HOST:PORT/DATABASE?sslmode=verify-full&... or\n"
           "                       libpq's parameters, e.g. 'service=NAME' (the password from libpq's\n"
           "                       password file; one given here is hidden from the process list)\n"
           "  --screenshot FILE    render the editor into the PNG file FILE and exit (no display needed)\n"
           "  --model ID           open the model numbered ID instead of the profile's last one\n"
           "  --exit-after-paint   for measuring the start: quit as soon as the editor has painted the\n"
           "                       side it opens on (the first side when none is remembered), printing\n"
           "                       on standard error the milliseconds each stage took\n"
           "  --open WHAT          with --screenshot: render this dialog of the editor instead:\n";
}

bool UseStoreAt(const std::string& address, std::wstring& error) {
    if (IsServerStoreAddress(Utf8ToWide(address))) {
        // A store on a server: reached (its tables made on first use) now, so a wrong address or password
        // is told at start, not at the first save. The shown address leaves any password out.
        CTemplateStore server;
        if (!server.Open(Utf8ToWide(address))) {
            error = L"the template store cannot be opened: " + server.GetLastError();
            return false;
        }
        server.Close();
        SetTemplateStoreAddress(Utf8ToWide(address));
        return true;
    }
    std::error_code ec;
    const fs::path path = fs::absolute(fs::u8path(address), ec);
    const std::wstring shown = Utf8ToWide(address);
    if (ec || address.empty()) {
        error = L"the store address is not a usable path: " + shown;
        return false;
    }
    const fs::path folder = path.parent_path();
    if (!fs::is_directory(folder, ec)) {
        error = L"the store's folder does not exist: " + Utf8ToWide(folder.string());
        return false;
    }
    if (fs::is_directory(path, ec)) {
        error = L"the store address names a folder, not a store file: " + shown;
        return false;
    }
    const bool exists = fs::exists(path, ec);
    if (!IsWritableFolder(Utf8ToWide(folder.string()), Utf8ToWide(path.filename().string()))) {
        error = L"the store cannot be written here (read-only file or folder): " + shown;
        return false;
    }
    if (exists) {
        // Opening a file that is no store must not touch it: look at its first bytes before SQLite does.
        std::ifstream in(path, std::ios::binary);
        char header[16] = {};
        in.read(header, sizeof header);
        const bool empty = in.gcount() == 0 && fs::file_size(path, ec) == 0;
        if (!empty && (in.gcount() != 16 || std::string(header, 16) != std::string("SQLite format 3\0", 16))) {
            error = L"the file is not a template store: " + shown;
            return false;
        }
    }
    CTemplateStore store;
    const std::wstring wide = Utf8ToWide(path.string());
    if (!store.Open(wide)) {
        error = L"the template store cannot be opened: " + shown + L" (" + store.GetLastError() + L")";
        store.Close();
        if (!exists)
            fs::remove(path, ec);  // nothing left behind by the refused attempt
        return false;
    }
    store.Close();
    SetTemplateStoreAddress(wide);
    return true;
}

bool PrepareDataFolder(std::wstring& error) {
    const std::wstring exe = GetExeFolder();
    if (IsWritableFolder(exe + L"Home", L"Templates.db"))
        return true;  // a station's deployment, or a build tree: it keeps its own files
    const std::wstring user = GetUserDataFolder();
    if (user.empty()) {
        error = L"the deployment cannot be written and there is no home folder for the user's data";
        return false;
    }
    std::error_code ec;
    const fs::path root = fs::u8path(WideToUtf8(user));
    fs::create_directories(root / "Home", ec);
    fs::create_directories(root / "InspAreaIni", ec);
    const fs::path store = root / "Home" / "Templates.db";
    const fs::path sample = fs::u8path(WideToUtf8(exe)) / "Home" / "Templates.db";
    if (!fs::exists(store, ec) && fs::exists(sample, ec)) {
        // Seed through a temporary name so that an interrupted copy never passes for a store.
        const fs::path partial = store.string() + ".part";
        bool copied = fs::copy_file(sample, partial, fs::copy_options::overwrite_existing, ec);
        if (copied)  // the installed file may be read-only: the user's copy is the user's to write
            fs::permissions(partial, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
        if (copied) {
            fs::rename(partial, store, ec);
            copied = !ec;
        }
        if (!copied) {
            error = L"the sample template could not be copied into " + user + L": " + Utf8ToWide(ec.message());
            fs::remove(partial, ec);
            return false;
        }
    }
    if (!IsWritableFolder(user + L"Home", L"Templates.db")) {
        error = L"the user's data folder cannot be written: " + user;
        return false;
    }
    SetDataFolder(user);
    return true;
}
