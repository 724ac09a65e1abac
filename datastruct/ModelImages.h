#pragma once
/// A model's camera images and the template store: what a save brings into the store, what a load takes
/// from it, and where the camera images are then read from.
///
/// A camera path the store maps to an image is read from the store: its bytes are kept as a file in the
/// image cache (`<data folder>/Cache/Images/<hash>.<ext>`, written whole or not at all) and
/// `CCameraRefImage::GetFullPath` names that file, so every reader of camera files works on it unchanged. A
/// path the store does not map is read from its file, as before.

#include "datastruct/StoreImage.h"

#include <map>
#include <set>
#include <string>
#include <vector>

class CModelInfo;
class CTemplateStore;

/// The model's camera paths (each once), each with its file hashed; a path whose file cannot be read (or is
/// larger than the store keeps) has an empty hash.
std::vector<CStoreImageRef> GatherModelImages(const CModelInfo& model);
/// The same, leaving out the paths in `skip` (neither listed nor read).
std::vector<CStoreImageRef> GatherModelImagesExcept(const CModelInfo& model, const std::set<std::wstring>& skip);

/// After the model was loaded from (or saved to) the open store: when `migrate`, the camera paths the
/// store does not map yet whose files exist are added to it in one transaction (the files stay in place;
/// a store that cannot be written is left as it is); then the stored images of the model are put into the
/// image cache and the camera reads are pointed at them. False (the reads left on the files) when the
/// store's mappings could not be read.
bool UseStoreImages(CTemplateStore& store, const CModelInfo& model, bool migrate);

/// The folder of the image cache: `GetDataFolder()` + "Cache/Images/".
std::wstring StoreImageCacheFolder();

/// Points the camera reads of these paths (as the model keeps them) at these files; replaces what was set.
void SetStoreImageFiles(const std::map<std::wstring, std::wstring>& files);
/// Reads every camera from its own file again.
void ClearStoreImageFiles();
/// The file a camera of path `name` (as the model keeps it; `file` is its own file) is read from.
std::wstring ResolveStoreImageFile(const std::wstring& name, const std::wstring& file);
