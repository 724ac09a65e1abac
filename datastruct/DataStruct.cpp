#include "datastruct/DataStruct.h"

#include "datastruct/Area.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/SysPara.h"

namespace {

struct CClassEntry {
    const wchar_t* name;
    CIDItem* (*create)();
};

template <class T> CIDItem* Create() { return new T; }

// The registration table: constant data, filled at compile time (no code runs at load).
constexpr CClassEntry kClasses[] = {
    {L"CSysPara", &Create<CSysPara>},
    {L"CModelInfo", &Create<CModelInfo>},
    {L"CInspType", &Create<CInspType>},
    {L"CSide", &Create<CSide>},
    {L"CPhase", &Create<CPhase>},
    {L"CArea", &Create<CArea>},
    {L"CKernel", &Create<CKernel>},
    {L"CNote", &Create<CNote>},
    {L"CCustomMaskArea", &Create<CCustomMaskArea>},
    {L"CRefImage", &Create<CRefImage>},
    {L"CCameraRefImage", &Create<CCameraRefImage>},
    {L"CParaAnalytic", &Create<CParaAnalytic>},
};

} // namespace

extern "C" CIDItem* CreateDllInstance(std::wstring className, std::wstring /*extra*/) {
    for (const CClassEntry& entry : kClasses)
        if (className == entry.name)
            return entry.create();
    return nullptr;
}

std::vector<std::wstring> GetDataStructClassNames() {
    std::vector<std::wstring> names;
    for (const CClassEntry& entry : kClasses)
        names.emplace_back(entry.name);
    return names;
}
