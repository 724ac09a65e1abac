// zrk-host --store with a server address: the server's store becomes the one every later opening uses, and a
// server that cannot be reached or refuses the password is told at start, quickly, without the password.

#include "HostOptions.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/Utility.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(HostServerStore, AServerAddressOpensTheServersStoreAndBadOnesAreToldAtStart) {
    std::string reason;
    CPgTestServer* server = SharedPgTestServer(reason);
    if (!server)
        ZRK_SKIP_WITHOUT_SERVER(reason);
    const std::string address = server->CreateDatabase("host_" + std::to_string(getpid()));
    ASSERT_FALSE(address.empty());
    struct Restore {
        ~Restore() { SetTemplateStoreAddress(L""); }
    } restore;

    std::wstring error;
    ASSERT_TRUE(UseStoreAt(address, error)) << WideToUtf8(error);
    EXPECT_EQ(GetTemplateStorePath(), Utf8ToWide(address));
    // The data library now works on the server: a model saved through it is in the server's database.
    CModelInfo model;
    model.m_nID = 3;
    model.m_strName = L"服务器上的模板";
    ASSERT_TRUE(model.Save()) << WideToUtf8(model.GetLastError());
    CTemplateStore direct;
    ASSERT_TRUE(direct.Open(Utf8ToWide(address)));
    std::vector<CModelCatalogEntry> models;
    ASSERT_TRUE(direct.ListModels(models));
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(models[0].m_strName, L"服务器上的模板");

    // Refused: the address in use stays the one before.
    const auto start = std::chrono::steady_clock::now();
    error.clear();
    EXPECT_FALSE(UseStoreAt(server->Address("host_" + std::to_string(getpid()), "not-the-password"), error));
    EXPECT_NE(error.find(L"cannot be opened"), std::wstring::npos) << WideToUtf8(error);
    EXPECT_EQ(error.find(L"not-the-password"), std::wstring::npos);
    error.clear();
    const int closedPort = server->Port() == 1 ? 2 : 1;
    EXPECT_FALSE(UseStoreAt("postgresql://zrk:pw@127.0.0.1:" + std::to_string(closedPort) + "/db", error));
    EXPECT_FALSE(error.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(GetTemplateStorePath(), Utf8ToWide(address));
}

TEST(HostServerStore, TheDeploymentsConfigNamesTheStoreUnlessOneIsGiven) {
    TempDir dir;
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    const std::wstring folder = GetExeFolder();
    EXPECT_EQ(GetTemplateStorePath(), folder + L"Home/Templates.db") << "no config.ini";
    dir.WriteBytes("config.ini", "[General]\r\nbIfMouseTimeDelay=1\r\n");
    EXPECT_EQ(GetTemplateStorePath(), folder + L"Home/Templates.db") << "no [Store] section";
    dir.WriteBytes("config.ini", "[Store]\r\nAddress = postgresql://zrk@store-server:5432/templates \r\n");
    EXPECT_EQ(GetTemplateStorePath(), L"postgresql://zrk@store-server:5432/templates");
    dir.WriteBytes("config.ini", "[Store]\r\nAddress=Shared/Templates.db\r\n");
    EXPECT_EQ(GetTemplateStorePath(), folder + L"Shared/Templates.db") << "relative to the deployment";
    dir.WriteBytes("config.ini", "[Store]\r\nAddress=/srv/zrk/Templates.db\r\n");
    EXPECT_EQ(GetTemplateStorePath(), L"/srv/zrk/Templates.db");
    // --store (or any explicit address) wins over the configuration.
    SetTemplateStoreAddress(L"/tmp/given.db");
    EXPECT_EQ(GetTemplateStorePath(), L"/tmp/given.db");
    SetTemplateStoreAddress(L"");
}
