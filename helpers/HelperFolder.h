#pragma once
// The deployment folder as the helper libraries see it: $ZRK_EXE_FOLDER when it names a folder, else the
// folder of the running program; with a trailing "/".

#include <string>

std::string GetHelperDeployFolder();

/// Where the helper libraries write: the deployment folder when this user may write there, else the user's
/// data folder as the host chooses it ("$XDG_DATA_HOME/zrk/", or "$HOME/.local/share/zrk/"), made when
/// missing; the deployment folder when neither gives an absolute path.
std::string GetHelperWriteFolder();
