#pragma once
/// The data library's factory: template objects created by class name.
///
/// Keys: "CSysPara", "CModelInfo", "CInspType", "CSide", "CPhase", "CArea", "CKernel", "CNote",
/// "CCustomMaskArea", "CRefImage", "CCameraRefImage", "CParaAnalytic". The object's `GetTypeName` equals
/// its key. The caller owns the object (an item list that receives it deletes it). An unknown key gives
/// null. The second string is ignored (callers pass an empty one).
///
/// The table is a constant array: no code runs when the library is loaded, and the library keeps no
/// state tied to one resolution of the entry, so it may be resolved any number of times.

#include "model/IDItem.h"

#include <string>
#include <vector>

extern "C" CIDItem* CreateDllInstance(std::wstring className, std::wstring extra);

/// The type of the factory entry, as `dlsym` hands it out.
using PFN_CreateDllInstance = CIDItem* (*)(std::wstring, std::wstring);

/// Every key the factory knows, in table order.
std::vector<std::wstring> GetDataStructClassNames();
