// The first exported call of a process: a program of its own, so that nothing has started the module's
// application object before the test does.

#include "formats/LanguagePack.h"
#include "host/ModuleState.h"
#include "host/ZRKDllApp.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

TEST(FirstExportedCall, KeepsTheCallersSectionWhileTheModuleStartsUp) {
    TempDir dir;
    dir.WriteBytes("Language/english.lpk", "[Host]\r\n模板=Template\r\n[ZRKDll.dll]\r\n模板=Model\r\n[END]\r\n");
    dir.WriteBytes("Home/Config/system.ini", "[BasicPara]\r\nLanguage=english\r\n");
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    GetLanguagePack()->SetSection(L"Host");
    {
        CModuleStateGuard guard;  // starts the application object, which makes the module's section current
        EXPECT_EQ(GetLanguagePack()->GetSection(), L"ZRKDll.dll");
        EXPECT_EQ(Translate(L"模板", 0), L"Model");
    }
    EXPECT_EQ(GetLanguagePack()->GetSection(), L"Host");
    EXPECT_EQ(Translate(L"模板", 0), L"Template");
    EXPECT_EQ(CModuleStateGuard::GetDepth(), 0);
}
