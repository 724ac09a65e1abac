#include "testsupport/PgTestServer.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string FindServerPrograms() {
    if (const char* env = std::getenv("ZRK_PG_BIN"); env && *env)
        return fs::exists(fs::path(env) / "initdb") ? env : "";
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
        if (fs::exists(entry.path() / "bin" / "initdb") && fs::exists(entry.path() / "bin" / "pg_ctl"))
            found.push_back(entry.path() / "bin");
    if (found.empty())
        return "";
    std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
        return std::atoi(a.parent_path().filename().c_str()) < std::atoi(b.parent_path().filename().c_str());
    });
    return found.back().string();
}

// A port nobody listens on now: the system's choice for a socket bound to port 0.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

} // namespace

CPgTestServer::~CPgTestServer() {
    Stop();
    if (!m_strFolder.empty()) {
        std::error_code ec;
        fs::remove_all(m_strFolder, ec);
    }
}

bool CPgTestServer::Run(const std::string& command) {
    // From "/": the unprivileged user may not be allowed into the current folder.
    const std::string prefix = m_bAsNobody ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string line = "cd / && " + prefix + command + " >>'" + m_strFolder + "/commands.log' 2>&1";
    return std::system(line.c_str()) == 0;
}

bool CPgTestServer::Start() {
    if (m_bRunning)
        return true;
    if (m_strFolder.empty()) {
        m_strBin = FindServerPrograms();
        if (m_strBin.empty()) {
            m_strReason = "the PostgreSQL server programs (initdb, pg_ctl) are not installed "
                          "(scripts/setup.sh --deps installs them)";
            return false;
        }
        m_bAsNobody = geteuid() == 0;
        char folder[] = "/tmp/zrk-pg-XXXXXX";
        if (!mkdtemp(folder)) {
            m_strReason = "no temporary folder for the server";
            return false;
        }
        m_strFolder = folder;
        std::ofstream(m_strFolder + "/pw") << kPassword << "\n";
        if (!m_strTlsCert.empty()) {
            // The server refuses a key that others may read; it is the server user's (chown below).
            std::ofstream(m_strFolder + "/server.crt") << m_strTlsCert;
            std::ofstream(m_strFolder + "/server.key") << m_strTlsKey;
            fs::permissions(m_strFolder + "/server.key", fs::perms::owner_read | fs::perms::owner_write);
            m_strOptions += " -c ssl=on -c ssl_cert_file='" + m_strFolder + "/server.crt' -c ssl_key_file='" +
                            m_strFolder + "/server.key'";
        }
        if (m_bAsNobody && std::system(("chown -R 65534:65534 '" + m_strFolder + "'").c_str()) != 0) {
            m_strReason = "the server's folder cannot be given to the user nobody";
            return false;
        }
        if (!Run("'" + m_strBin + "/initdb' -D '" + m_strFolder + "/data' -U " + kUser +
                 " --auth=scram-sha-256 --pwfile='" + m_strFolder + "/pw' -E UTF8 --locale=C -N")) {
            m_strReason = "initdb failed (see " + m_strFolder + "/commands.log)";
            return false;
        }
    }
    // A port found free may be taken by another program before the server binds it: the first start tries
    // again on another; a restart keeps its port (addresses handed out stay valid) and only waits a little.
    const bool fixedPort = m_nPort != 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!fixedPort)
            m_nPort = FreePort();
        else if (attempt > 0)
            usleep(200 * 1000);
        // Loopback only, the socket in our folder, no fsync: the data of a test server need not survive a
        // power cut.
        if (Run("'" + m_strBin + "/pg_ctl' -D '" + m_strFolder + "/data' -l '" + m_strFolder + "/server.log' -w -t 60 " +
                "-o \"-h 127.0.0.1 -p " + std::to_string(m_nPort) + " -k '" + m_strFolder + "' -F" + m_strOptions +
                "\" start")) {
            m_bRunning = true;
            return true;
        }
    }
    if (!fixedPort)
        m_nPort = 0;
    m_strReason = "the server did not start (see " + m_strFolder + "/server.log)";
    return false;
}

void CPgTestServer::Stop() {
    if (!m_bRunning)
        return;
    Run("'" + m_strBin + "/pg_ctl' -D '" + m_strFolder + "/data' -m immediate -w stop");
    m_bRunning = false;
}

std::string CPgTestServer::Address(const std::string& database, const std::string& password) const {
    return std::string("postgresql://") + kUser + ":" + password + "@127.0.0.1:" + std::to_string(m_nPort) + "/" +
           database;
}

std::string CPgTestServer::CreateDatabase(const std::string& name) {
    PGconn* conn = PQconnectdb(Address("postgres").c_str());
    std::string address;
    if (PQstatus(conn) == CONNECTION_OK) {
        PGresult* r = PQexec(conn, ("CREATE DATABASE \"" + name + "\"").c_str());
        if (PQresultStatus(r) == PGRES_COMMAND_OK)
            address = Address(name);
        PQclear(r);
    }
    PQfinish(conn);
    return address;
}

bool PgTestServerRequired() {
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "0" && std::string(ci) != "false";
}

CPgTestServer* SharedPgTestServer(std::string& reason) {
    static std::unique_ptr<CPgTestServer> server;
    static bool tried = false;
    static std::string why;
    if (!tried) {
        tried = true;
        server = std::make_unique<CPgTestServer>();
        if (!server->Start()) {
            why = server->Reason();
            server.reset();
        }
    }
    reason = why;
    return server.get();
}
