#pragma once
// A PostgreSQL server of the tests' own: a fresh cluster in a temporary folder, listening on a free port of
// the loopback address only, with password authentication (user "zrk"). When the tests run as root the
// server runs as the unprivileged user "nobody" (the server refuses root). It is stopped and its folder
// removed when the object dies.
//
// When the server's programs are missing (looked for in $ZRK_PG_BIN, then /usr/lib/postgresql/<n>/bin),
// `Start` fails with the reason, and the tests that need the server are skipped with it.

#include <string>

class CPgTestServer {
public:
    static constexpr const char* kUser = "zrk";
    static constexpr const char* kPassword = "zrk-test-pw";

    CPgTestServer() = default;
    ~CPgTestServer();
    CPgTestServer(const CPgTestServer&) = delete;
    CPgTestServer& operator=(const CPgTestServer&) = delete;

    /// Makes the cluster (first call) and starts the server; false with `Reason()` when it cannot.
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
