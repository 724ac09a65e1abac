#pragma once
/// The stored form of a model (private to the data library): a mark "ZRKM", the format number, then the
/// model's fields and lists in declaration order, each list as its item count and, per item, a one-byte
/// kind code and the item's fields. Items keep their identifiers. The model's own identifier is not in
/// the data: it is the store's key. Transient shape state (selection, highlight, grabbed handle, drag mode,
/// anchor, snapshot) is not stored; the lock flag and the drawing offsets are.
///
/// Camera image paths under the deployment folder are stored relative to it and read back absolute.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CModelInfo;
class CIDItem;
class CItemList;

/// The bytes of the model. Throws std::invalid_argument when a list holds an item of a class that
/// cannot be stored (the save then fails and nothing is written).
std::string EncodeModel(const CModelInfo& model);
/// Fills a reset model from the bytes. Throws CByteStreamError when they are not a whole stored model.
void DecodeModel(std::string_view data, CModelInfo& model);

/// One item, as it is stored inside a list (its kind code first); for tests and tools.
std::string EncodeItem(const CIDItem& item);
/// A new item from `EncodeItem`'s bytes, owned by the caller. Throws CByteStreamError.
CIDItem* DecodeItem(std::string_view data);

/// An item's (or the model's) stored form with its lists left out: each list written as an empty one, a
/// count of 0 (one byte), at the offsets `listAt`, in the order the codec writes the lists. Putting each
/// list's stored form (its count, then its items as `EncodeItem` writes them) in place of its count of 0
/// gives exactly what `EncodeItem` (`EncodeModel`) writes. `DecodeItem` reads an item's shell as an item
/// whose lists are empty. The edit journal keeps a template in such pieces, one per item.
struct CItemShell {
    std::string bytes;
    std::vector<uint32_t> listAt;
};
/// Throws std::invalid_argument as `EncodeItem` does.
void EncodeItemShell(const CIDItem& item, CItemShell& shell);
void EncodeModelShell(const CModelInfo& model, CItemShell& shell);
/// The stored lists of an item (of the model), in the order the codec writes them; none for an item of a
/// class that cannot be stored.
void GetItemLists(CIDItem& item, std::vector<CItemList*>& lists);
void GetModelLists(CModelInfo& model, std::vector<CItemList*>& lists);
