#pragma once
/// Where the system writes: the template store, exported inspection areas and drafts (kept in the store;
/// those of a server store that cannot be reached in "Home/LocalDrafts.db").
/// By default the deployment folder itself (`GetExeFolder()`), as on a station. An installed deployment may
/// be read-only for the operator: the host then chooses a folder of the user's own (`GetUserDataFolder`),
/// laid out like the deployment ("Home/Templates.db", "InspAreaIni/"), with `SetDataFolder`.

#include <string>

/// The folder written to, with a trailing "/": the one set by `SetDataFolder`, else `GetExeFolder()`.
std::wstring GetDataFolder();
/// Sets the folder written to (a trailing "/" is added when missing); empty returns to the deployment.
void SetDataFolder(const std::wstring& folder);
/// "$XDG_DATA_HOME/zrk/" when that variable holds an absolute path, else "$HOME/.local/share/zrk/"; empty
/// when neither gives an absolute path.
std::wstring GetUserDataFolder();
/// True when files can be created in the folder and the existing file (if any) written: the process's
/// own rights, as the kernel would check them.
bool IsWritableFolder(const std::wstring& folder, const std::wstring& file = L"");
