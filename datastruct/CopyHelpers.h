#pragma once
// Private helper of the data library's classes.

#include "model/IDItem.h"

/// The source of a `CopyFrom` must be of the class being copied into; anything else copies nothing.
template <class T> const T* CopySourceAs(const CIDItem* source) { return dynamic_cast<const T*>(source); }
