// The factory: every key, the five item operations, and the library reached through dlopen as the
// editor reaches it.

#include "datastruct/DataStruct.h"
#include "datastruct/Kernel.h"
#include "datastruct/SysPara.h"
#include "model/ItemList.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>

namespace {

TEST(Factory, EveryKeyMakesItsClassWhoseTypeNameIsTheKey) {
    const std::vector<std::wstring> keys = GetDataStructClassNames();
    for (const wchar_t* required : {L"CSysPara", L"CInspType", L"CSide", L"CPhase", L"CKernel", L"CNote", L"CRefImage",
                                    L"CCameraRefImage", L"CParaAnalytic", L"CModelInfo", L"CArea", L"CCustomMaskArea"})
        EXPECT_NE(std::find(keys.begin(), keys.end(), required), keys.end());
    for (const std::wstring& key : keys) {
        SCOPED_TRACE(std::string(key.begin(), key.end()));
        std::unique_ptr<CIDItem> item(CreateDllInstance(key, L""));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->GetTypeName(), key);
        EXPECT_EQ(item->m_nID, -1);
        std::unique_ptr<CIDItem> fresh(item->NewInstance());
        EXPECT_EQ(typeid(*fresh), typeid(*item));
        item->m_nID = 17;
        EXPECT_TRUE(fresh->CopyFrom(item.get()));
        EXPECT_EQ(fresh->m_nID, 17);
        // A list takes it and deletes it through the virtual destructor (ASan checks the rest).
        CItemList list;
        list.Add(item.release());
        EXPECT_EQ(list.GetAt(0)->m_nID, 17);
    }
}

TEST(Factory, UnknownKeyGivesNullAndTheSecondStringIsIgnored) {
    EXPECT_EQ(CreateDllInstance(L"CPolygon", L""), nullptr);
    EXPECT_EQ(CreateDllInstance(L"csyspara", L""), nullptr);
    EXPECT_EQ(CreateDllInstance(L"", L""), nullptr);
    std::unique_ptr<CIDItem> item(CreateDllInstance(L"CKernel", L"anything"));
    EXPECT_NE(dynamic_cast<CKernel*>(item.get()), nullptr);
}

TEST(Factory, CopyFromAnotherClassCopiesNothing) {
    std::unique_ptr<CIDItem> side(CreateDllInstance(L"CSide", L""));
    std::unique_ptr<CIDItem> phase(CreateDllInstance(L"CPhase", L""));
    phase->m_nID = 4;
    EXPECT_FALSE(side->CopyFrom(phase.get()));
    EXPECT_EQ(side->m_nID, -1);
    EXPECT_FALSE(side->CopyFrom(nullptr));
}

TEST(Factory, DlopenedLibraryIsTheLinkedOneAndItsObjectsCastAcrossTheBoundary) {
    // The editor links the library and dlopen()s the same file: one copy, one set of type information.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&CreateDllInstance), &info), 0);
    void* handle = dlopen(info.dli_fname, RTLD_NOW);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto entry = reinterpret_cast<PFN_CreateDllInstance>(dlsym(handle, "CreateDllInstance"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry, &CreateDllInstance);
    for (int resolution = 0; resolution < 2; ++resolution) { // resolved twice, as the editor does
        std::unique_ptr<CIDItem> item(entry(L"CSysPara", L""));
        auto* sys = dynamic_cast<CSysPara*>(item.get());
        ASSERT_NE(sys, nullptr);
        sys->SelectModel(3);
        EXPECT_NE(sys->GetModel(), nullptr);
    }
    dlclose(handle);
}

} // namespace
