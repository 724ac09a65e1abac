#pragma once
// A PostgreSQL server of the tests' own: a fresh cluster in a temporary folder, listening on a free port of
// the loopback address only, with password authentication (user "zrk"). When the tests run as root the
// server runs as the unprivileged user "nobody" (the server refuses root). It is stopped and its folder
// removed when the object dies.
//
// When the server's programs are missing (looked for in $ZRK_PG_BIN, then /usr/lib/postgresql/<n>/bin),
// `Start` fails with the reason, and the tests that need the server are skipped with it, except in
// continuous integration (environment variable CI set), where such a test fails: a green run never hides
// the server store's tests.

#include <gtest/gtest.h>

#include <string>

class CPgTestServer {
public:
    static constexpr const char* kUser = "zrk";
    static constexpr const char* kPassword = "zrk-test-pw";

    CPgTestServer() = default;
    ~CPgTestServer();
    CPgTestServer(const CPgTestServer&) = delete;
    CPgTestServer& operator=(const CPgTestServer&) = delete;

    /// Before the first `Start`: more of the server's own options, e.g. "-c max_connections=150".
    void AddServerOptions(const std::string& options) { m_strOptions += " " + options; }
    /// Before the first `Start`: the server offers TLS (ssl=on) with this certificate and key (PEM text).
    void SetTls(const std::string& certificatePem, const std::string& keyPem) {
        m_strTlsCert = certificatePem;
        m_strTlsKey = keyPem;
    }

    /// Makes the cluster (first call) and starts the server; false with `Reason()` when it cannot. The first
    /// start takes another free port when the one chosen was taken meanwhile; a restart keeps its port.
    bool Start();
    /// Stops the server at once (as a crash or a pulled cable would); the cluster stays for `Start`.
    void Stop();
    bool IsRunning() const { return m_bRunning; }
    const std::string& Reason() const { return m_strReason; }
    int Port() const { return m_nPort; }

    /// A new, empty database; its `postgresql://` address (with the password unless `password` is given).
    std::string CreateDatabase(const std::string& name);
    std::string Address(const std::string& database, const std::string& password = kPassword) const;

private:
    bool Run(const std::string& command);

    std::string m_strOptions;
    std::string m_strTlsCert, m_strTlsKey;
    std::string m_strBin;
    std::string m_strFolder;
    std::string m_strReason;
    int m_nPort = 0;
    bool m_bRunning = false;
    bool m_bAsNobody = false;
};

/// The one server of a test program, started on first use and stopped at the program's end; null (with
/// `reason`) when it cannot run.
CPgTestServer* SharedPgTestServer(std::string& reason);

/// Whether a test that needs the server must fail rather than skip without it (continuous integration).
bool PgTestServerRequired();

/// In a test's body or `SetUp`: skips it for the reason the server cannot run, or fails it in continuous
/// integration.
#define ZRK_SKIP_WITHOUT_SERVER(reason)                                                                \
    do {                                                                                               \
        if (PgTestServerRequired())                                                                    \
            GTEST_FAIL() << "the tests' PostgreSQL server cannot run, and CI runs every test: " << (reason); \
        GTEST_SKIP() << (reason);                                                                      \
    } while (0)
