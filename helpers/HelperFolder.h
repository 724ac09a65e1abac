#pragma once
// The deployment folder as the helper libraries see it: $ZRK_EXE_FOLDER when it names a folder, else the
// folder of the running program; with a trailing "/".

#include <string>

std::string GetHelperDeployFolder();
