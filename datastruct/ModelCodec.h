#pragma once
/// The stored form of a model (private to the data library): a mark "ZRKM", the format number, then the
/// model's fields and lists in declaration order, each list as its item count and, per item, a one-byte
/// kind code and the item's fields. Items keep their identifiers. The model's own identifier is not in
/// the data: it is the store's key. Transient shape state (selection, highlight, grabbed handle, drag mode,
/// anchor, snapshot) is not stored; the lock flag and the drawing offsets are.
///
/// Camera image paths under the deployment folder are stored relative to it and read back absolute.

#include <string>
#include <string_view>

class CModelInfo;
class CIDItem;

/// The bytes of the model. Throws std::invalid_argument when a list holds an item of a class that
/// cannot be stored (the save then fails and nothing is written).
std::string EncodeModel(const CModelInfo& model);
/// Fills a reset model from the bytes. Throws CByteStreamError when they are not a whole stored model.
void DecodeModel(std::string_view data, CModelInfo& model);

/// One item, as it is stored inside a list (its kind code first); for tests and tools.
std::string EncodeItem(const CIDItem& item);
/// A new item from `EncodeItem`'s bytes, owned by the caller. Throws CByteStreamError.
CIDItem* DecodeItem(std::string_view data);
