#pragma once
// zrk-store's command line: the administrator's commands on a template store, an SQLite file or a server
// (README.md, "zrk-store"). The work itself is datastruct/StoreTransfer.h's; this part reads the arguments,
// opens the stores and words the results.

#include <functional>
#include <string>
#include <vector>

/// Exit statuses.
inline constexpr int kStoreOk = 0;
inline constexpr int kStoreRefused = 1;     ///< faults found (verify), or the command refused: a damaged, truncated
                                            ///< or newer file, a name taken, a history that does not check, a
                                            ///< model the store does not hold
inline constexpr int kStoreUsage = 2;       ///< wrong command, option or argument
inline constexpr int kStoreUnreachable = 3; ///< a store cannot be opened, reached, read or written
inline constexpr int kStoreFileError = 4;   ///< the file named (export, import, backup) cannot be read or written

/// Called with the progress line of a long command (copy, backup, verify, export, import) now and then, and
/// with an empty line when it ends; zrk-store shows it on standard error when that is a terminal.
using StoreProgressLine = std::function<void(const std::string& line)>;

/// Runs the command (argv[0] excluded): the report goes to `out`, messages to `err`. Returns the exit status.
int RunStore(const std::vector<std::string>& args, std::string& out, std::string& err,
             const StoreProgressLine& progress = {});

/// The text of --help: every command (`command` empty), or one command's.
std::string StoreUsage(const std::string& command = std::string());
