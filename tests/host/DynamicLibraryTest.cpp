#include "host/DynamicLibrary.h"

#include <gtest/gtest.h>

namespace {
const std::wstring kDeploy = L"" ZRK_DEPLOY_DIR;
}

TEST(DynamicLibrary, LoadsAndFindsAnExportedEntry) {
    CDynamicLibrary library(kDeploy + L"libNewWizardDLL.so");
    ASSERT_TRUE(library.IsLoaded()) << library.GetError();
    auto version = library.SymbolAs<int (*)()>("NewWizardGetVersion");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), 1);
    EXPECT_EQ(library.Symbol("NoSuchEntry"), nullptr);
}

TEST(DynamicLibrary, MissingFileLeavesItEmptyWithAReason) {
    CDynamicLibrary library;
    EXPECT_FALSE(library.Load(kDeploy + L"libNoSuchLibrary.so"));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(library.GetError().empty());
    EXPECT_EQ(library.Symbol("anything"), nullptr);
    EXPECT_FALSE(library.Load(L""));
}

TEST(DynamicLibrary, MoveHandsTheHandleOverOnce) {
    CDynamicLibrary first(kDeploy + L"libNewWizardDLL.so");
    void* handle = first.GetHandle();
    ASSERT_NE(handle, nullptr);
    CDynamicLibrary second(std::move(first));
    EXPECT_EQ(first.GetHandle(), nullptr);
    EXPECT_EQ(second.GetHandle(), handle);
    CDynamicLibrary third;
    third = std::move(second);
    EXPECT_EQ(third.GetHandle(), handle);
    third.Free();
    EXPECT_FALSE(third.IsLoaded());
}
