#pragma once
// zrk-assist's command line: the assisted set-up's analyses run on image files, one JSON object printed
// per run (README.md, "zrk-assist").

#include <string>
#include <vector>

/// Exit codes.
inline constexpr int kAssistOk = 0;
inline constexpr int kAssistUsage = 2;      ///< wrong options, grid syntax or image count
inline constexpr int kAssistBadImage = 3;   ///< an image missing, unreadable, unsupported or too large
inline constexpr int kAssistMismatch = 4;   ///< the camera images differ in size or are too small
inline constexpr int kAssistFailure = 5;    ///< the analysis failed unexpectedly

/// Runs the command (argv[0] excluded): the JSON goes to `out`, messages to `err`. Returns the exit code.
int RunAssist(const std::vector<std::string>& args, std::string& out, std::string& err);

/// The text of --help.
std::string AssistUsage();
