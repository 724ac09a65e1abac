#pragma once
/// The model's reference-image collection: the list of its reference images (`CRefImage`).

#include "model/ItemList.h"

class CRefImage;

class CRefImageSet {
public:
    /// The image with that identifier, or null.
    CRefImage* FindRefImage(int id) const;
    bool Copy(const CRefImageSet& source) { return m_refImages.Copy(source.m_refImages); }

    CItemList m_refImages; ///< `CRefImage` items
};
