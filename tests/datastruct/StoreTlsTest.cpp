// Server store addresses: libpq's URIs and parameter lists, with the password never shown; connections that
// require TLS and verify the server against the configured certificate authority (a server of the test's
// own with certificates made by the openssl command); passwords kept in libpq's password file, reached
// through its service file.

#include "datastruct/CatalogueWatch.h"
#include "datastruct/PgTemplateStore.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(ServerAddresses, PasswordsAreLeftOutWhereverTheAddressHoldsThem) {
    EXPECT_EQ(CPgTemplateStore::ShownAddress(L"postgresql://u:secret@h/db?sslmode=verify-full&password=two&x=1"),
              L"postgresql://u@h/db?sslmode=verify-full&password=***&x=1");
    EXPECT_EQ(CPgTemplateStore::ShownAddress(L"postgresql://u:p%40ss@h1:5432,h2:5433/db"),
              L"postgresql://u@h1:5432,h2:5433/db");
    EXPECT_EQ(CPgTemplateStore::ShownAddress(L"postgres://h?password=p"), L"postgres://h?password=***");
    EXPECT_EQ(CPgTemplateStore::ShownAddress(L"postgresql://u:@h/db"), L"postgresql://u:@h/db");  // none given
    EXPECT_EQ(CPgTemplateStore::ShownAddress(L"host=h password=se\\ cret dbname=d"), L"host=h password=*** dbname=d");
    EXPECT_EQ(CPgTemplateStore::ShownAddress(L"host=h password='\\' a b' user=u"), L"host=h password=*** user=u");
    EXPECT_EQ(CPgTemplateStore::ShownAddress(L"service=zrk passfile=/etc/zrk/pgpass"), L"service=zrk passfile=/etc/zrk/pgpass");
    EXPECT_EQ(ShownStoreAddress(L"/srv/zrk/password=x.db"), L"/srv/zrk/password=x.db");  // a path stays as it is
    EXPECT_EQ(ShownStoreAddress(L"password=x host=h"), L"password=*** host=h");
}

TEST(ServerAddresses, LibpqParameterListsAreServerAddressesAndPathsAreNot) {
    EXPECT_TRUE(IsServerStoreAddress(L"service=zrk"));
    EXPECT_TRUE(IsServerStoreAddress(L"host=store-server dbname=zrk_templates sslmode=verify-full"));
    EXPECT_TRUE(IsServerStoreAddress(L"  dbname = 'zrk templates'"));
    EXPECT_FALSE(IsServerStoreAddress(L"Home/Templates.db"));
    EXPECT_FALSE(IsServerStoreAddress(L"colour=red.db"));      // no keyword of libpq's
    EXPECT_FALSE(IsServerStoreAddress(L"/srv/service=zrk.db"));
    EXPECT_FALSE(IsServerStoreAddress(L"service"));
    EXPECT_FALSE(IsServerStoreAddress(L"host=h dbname"));       // not a whole list
    EXPECT_FALSE(IsServerStoreAddress(L""));
}

TEST(ServerAddresses, PasswordsInTheArgumentsAreCoveredInPlace) {
    std::string args[] = {"zrk-host", "--store", "postgresql://u:secret@h/db?password=two", "--model", "2",
                          "host=h password='a b' user=u", "password=x.db"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    EXPECT_EQ(HideAddressPasswords(static_cast<int>(argv.size()), argv.data()), 4);
    EXPECT_STREQ(argv[2], "postgresql://u:******@h/db?password=***");
    EXPECT_STREQ(argv[5], "host=h password=***** user=u");
    EXPECT_STREQ(argv[6], "password=****");  // libpq would read it as an address
    EXPECT_STREQ(argv[3], "--model");
    EXPECT_STREQ(argv[0], "zrk-host");
}

namespace {

// The certificates of the TLS tests, made once per program with the openssl command: an authority, a server
// certificate it signs for 127.0.0.1, and another authority that signed nothing here.
struct CCertificates {
    TempDir dir;
    bool made = false;
    std::string reason;
    std::string Path(const char* name) const { return (dir.Path() / name).string(); }

    CCertificates() {
        const std::string log = " >>'" + Path("openssl.log") + "' 2>&1";
        const auto openssl = [&](const std::string& args) {
            return std::system(("cd '" + dir.Path().string() + "' && openssl " + args + log).c_str()) == 0;
        };
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        dir.WriteBytes("server.ext", "subjectAltName=IP:127.0.0.1\n");
        made = openssl("req -x509" + ec + " -keyout ca.key -out ca.crt -days 2 -subj '/CN=ZRK test authority'") &&
               openssl("req -x509" + ec + " -keyout other.key -out other.crt -days 2 -subj '/CN=Another authority'") &&
               openssl("req -new" + ec + " -keyout server.key -out server.csr -subj '/CN=127.0.0.1'") &&
               openssl("x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 "
                       "-extfile server.ext");
        if (!made)
            reason = "the openssl command could not make the test certificates (scripts/setup.sh --deps installs it; "
                     "see " + Path("openssl.log") + ")";
    }
};

class StoreTlsTest : public ::testing::Test {
protected:
    // One server with TLS for the program, made at the first test that needs it.
    static void SetUpTestSuite() {
        s_certificates = std::make_unique<CCertificates>();
        if (!s_certificates->made)
            return;
        s_server = std::make_unique<CPgTestServer>();
        s_server->SetTls(s_certificates->dir.ReadBytes("server.crt"), s_certificates->dir.ReadBytes("server.key"));
        if (!s_server->Start()) {
            s_reason = s_server->Reason();
            s_server.reset();
        }
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_certificates.reset();
    }
    void SetUp() override {
        if (!s_certificates->made)
            ZRK_SKIP_WITHOUT_SERVER(s_certificates->reason);
        if (!s_server)
            ZRK_SKIP_WITHOUT_SERVER(s_reason);
        static int counter = 0;
        m_database = "tls" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        ASSERT_FALSE(s_server->CreateDatabase(m_database).empty());
    }
    /// The database's address with libpq's TLS parameters; `host` 127.0.0.1 unless given.
    std::string Address(const std::string& sslmode, const std::string& authority, const std::string& host = "127.0.0.1") const {
        return "postgresql://" + std::string(CPgTestServer::kUser) + ":" + CPgTestServer::kPassword + "@" + host + ":" +
               std::to_string(s_server->Port()) + "/" + m_database + "?sslmode=" + sslmode +
               (authority.empty() ? "" : "&sslrootcert=" + s_certificates->Path(authority.c_str()));
    }
    static bool Mentions(const std::wstring& text, const std::string& part) {
        return text.find(Utf8ToWide(part)) != std::wstring::npos;
    }

    static std::unique_ptr<CCertificates> s_certificates;
    static std::unique_ptr<CPgTestServer> s_server;
    static std::string s_reason;
    std::string m_database;
};

std::unique_ptr<CCertificates> StoreTlsTest::s_certificates;
std::unique_ptr<CPgTestServer> StoreTlsTest::s_server;
std::string StoreTlsTest::s_reason;

} // namespace

TEST_F(StoreTlsTest, AVerifiedConnectionNeedsTheConfiguredAuthorityAndTheServersName) {
    CTemplateStore store;
    ASSERT_TRUE(store.Open(Utf8ToWide(Address("verify-full", "ca.crt")))) << WideToUtf8(store.GetLastError());
    EXPECT_EQ(store.CreateModel(L"加密", L"经 TLS 保存", "over tls"), 1) << WideToUtf8(store.GetLastError());
    store.Close();

    // Signed by another authority, or for another name: refused before any password is sent, said so.
    for (const std::string& address : {Address("verify-full", "other.crt"), Address("verify-ca", "other.crt"),
                                       Address("verify-full", "ca.crt", "localhost")}) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(store.Open(Utf8ToWide(address)));
        EXPECT_EQ(store.GetLastFailure(), StoreFailure::Refused) << WideToUtf8(store.GetLastError());
        EXPECT_TRUE(Mentions(store.GetLastError(), "证书")) << WideToUtf8(store.GetLastError());
        EXPECT_FALSE(Mentions(store.GetLastError(), CPgTestServer::kPassword)) << WideToUtf8(store.GetLastError());
    }
    // The authority's file missing: the same, naming the file.
    EXPECT_FALSE(store.Open(Utf8ToWide(Address("verify-full", "missing.crt"))));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Refused) << WideToUtf8(store.GetLastError());
    EXPECT_TRUE(Mentions(store.GetLastError(), "missing.crt")) << WideToUtf8(store.GetLastError());

    // A server that offers no TLS, where the address requires it.
    std::string reason;
    if (CPgTestServer* plain = SharedPgTestServer(reason)) {
        const std::string database = "plain" + std::to_string(getpid());
        ASSERT_FALSE(plain->CreateDatabase(database).empty());
        EXPECT_FALSE(store.Open(Utf8ToWide(plain->Address(database) + "?sslmode=require")));
        EXPECT_EQ(store.GetLastFailure(), StoreFailure::Refused) << WideToUtf8(store.GetLastError());
    }
}

TEST_F(StoreTlsTest, AServiceFileWithAPasswordFileKeepsThePasswordOutOfTheAddress) {
    TempDir dir;
    const std::string port = std::to_string(s_server->Port());
    dir.WriteBytes("pgpass", "127.0.0.1:" + port + ":" + m_database + ":" + CPgTestServer::kUser + ":" +
                                 CPgTestServer::kPassword + "\n");
    fs::permissions(dir.Path() / "pgpass", fs::perms::owner_read | fs::perms::owner_write);  // else libpq ignores it
    dir.WriteBytes("pg_service.conf", "[zrk_store]\nhost=127.0.0.1\nport=" + port + "\ndbname=" + m_database +
                                          "\nuser=" + CPgTestServer::kUser + "\npassfile=" + (dir.Path() / "pgpass").string() +
                                          "\nsslmode=verify-full\nsslrootcert=" + s_certificates->Path("ca.crt") + "\n");
    ScopedEnv serviceFile("PGSERVICEFILE", (dir.Path() / "pg_service.conf").string());

    const std::wstring service = L"service=zrk_store";
    ASSERT_TRUE(IsServerStoreAddress(service));
    CTemplateStore store;
    ASSERT_TRUE(store.Open(service)) << WideToUtf8(store.GetLastError());
    EXPECT_TRUE(store.IsOnServer());
    ASSERT_TRUE(store.SaveModelData(1, L"服务", L"经服务文件保存", "through the service file"))
        << WideToUtf8(store.GetLastError());
    std::vector<CModelRevision> revisions;
    ASSERT_TRUE(store.ListRevisions(1, revisions));
    ASSERT_EQ(revisions.size(), 1u);
    EXPECT_EQ(revisions[0].m_strRole, Utf8ToWide(CPgTestServer::kUser));
    CCatalogueWatch watch;
    EXPECT_TRUE(watch.Start(service)) << WideToUtf8(watch.GetLastError());
    store.Close();

    // The password file named in a URI instead.
    const std::wstring uri = Utf8ToWide("postgresql://" + std::string(CPgTestServer::kUser) + "@127.0.0.1:" + port + "/" +
                                        m_database + "?passfile=" + (dir.Path() / "pgpass").string() +
                                        "&sslmode=verify-full&sslrootcert=" + s_certificates->Path("ca.crt"));
    ASSERT_TRUE(store.Open(uri)) << WideToUtf8(store.GetLastError());
    std::string data;
    bool found = false;
    ASSERT_TRUE(store.LoadModelData(1, data, found));
    EXPECT_EQ(data, "through the service file");
    store.Close();

    // Without the password file the server's refusal is told as such (another address: the connection kept
    // from the first one would serve it without a login).
    dir.WriteBytes("pgpass", "");
    EXPECT_FALSE(store.Open(service + L" connect_timeout=5"));
    EXPECT_EQ(store.GetLastFailure(), StoreFailure::Refused) << WideToUtf8(store.GetLastError());
}
