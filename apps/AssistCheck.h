#pragma once
// `zrk-assist check STORE MODEL`: the template check of a stored template, as JSON (README.md, "zrk-assist").

#include <string>
#include <vector>

/// Exit code of a check that found at least one error (warnings alone exit 0).
inline constexpr int kAssistCheckErrors = 1;

/// Runs the check (arguments after "check"); the JSON goes to `out`, messages to `err`. Returns the exit code.
int RunCheckCommand(const std::vector<std::string>& args, std::string& out, std::string& err);
