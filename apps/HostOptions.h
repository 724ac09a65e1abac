#pragma once
// zrk-host's command line and the places it works in: the template store's address and the folder written
// to when the deployment cannot be written (an installed package run by an operator).

#include <string>
#include <vector>

struct HostOptions {
    bool help = false;
    bool version = false;
    std::string language;    ///< --language NAME: replaces system.ini's Language for this run
    std::string store;       ///< --store ADDRESS: another template store
    std::string screenshot;  ///< --screenshot FILE
    std::string open;        ///< --open WHAT (with --screenshot): one dialog instead of the editor
    std::string model;       ///< --model ID: open this model instead of the profile's last one
    /// --exit-after-paint: for measuring the start; quits once the editor has painted a side, after
    /// printing on standard error how long each stage of the start took.
    bool exitAfterPaint = false;
};

/// Reads the arguments (argv[0] excluded). False with a message naming the fault for an unknown option, a
/// missing value, an option given twice, or --open without --screenshot.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options, std::string& error);

/// The usage text of --help. Options start in column 2 and their descriptions in column
/// `kHelpDescriptionColumn`, where the list of dialog names under --open starts too.
std::string HostUsage();
inline constexpr int kHelpDescriptionColumn = 23;

/// Makes "the template store" the one at this address for the rest of the run. A `postgresql://` address
/// names a store on a server, which must answer now (its tables are made on first use). Any other address
/// is a path of an SQLite store file: it may name a file not yet there in an existing folder (a new, empty store is made),
/// never a missing folder, a folder, a file that is no template store, or one that cannot be written. False
/// with the reason, and nothing created, when refused.
bool UseStoreAt(const std::string& address, std::wstring& error);

/// When the deployment's store (or its folder) cannot be written by this user, chooses the user's data
/// folder (`GetUserDataFolder`) for the store and exported areas, and seeds it on first use with a copy of
/// the deployment's store (the sample). True when the system has somewhere to write; false with the reason.
bool PrepareDataFolder(std::wstring& error);
