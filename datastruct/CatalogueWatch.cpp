#include "datastruct/CatalogueWatch.h"

#include "datastruct/PgTemplateStore.h"
#include "formats/CodePage.h"

#include <libpq-fe.h>

CCatalogueWatch::~CCatalogueWatch() {
    Stop();
}

void CCatalogueWatch::Stop() {
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
    m_bServer = false;
}

bool CCatalogueWatch::Start(const std::wstring& address) {
    Stop();
    m_strError.clear();
    m_strAddress = address;
    m_bServer = IsServerStoreAddress(address);
    return !m_bServer || Connect();
}

bool CCatalogueWatch::Connect() {
    if (m_conn)
        PQfinish(m_conn);
    const std::string utf8 = WideToUtf8(m_strAddress);
    // As the store's own connection: connecting never hangs, a vanished server is noticed.
    const char* keys[] = {"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"5", "1", "10", "3", "3", "20000", "zrk-catalogue-watch", utf8.c_str(), nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    const auto fail = [this](const std::wstring& what) {
        std::string detail = m_conn ? PQerrorMessage(m_conn) : "";
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' '))
            detail.pop_back();
        m_strError = what + L": " + CPgTemplateStore::ShownAddress(m_strAddress) + L" (" + Utf8ToWide(detail) + L")";
        if (m_conn)
            PQfinish(m_conn);
        m_conn = nullptr;
        return false;
    };
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return fail(L"无法连接模板库服务器");
    PGresult* r = PQexec(m_conn, (std::string("LISTEN ") + kChannel).c_str());
    const bool listening = r && PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!listening)
        return fail(L"模板目录的变化无法收听");
    m_strError.clear();
    return true;
}

int CCatalogueWatch::Socket() const {
    return m_conn && PQstatus(m_conn) == CONNECTION_OK ? PQsocket(m_conn) : -1;
}

bool CCatalogueWatch::TakeNotifications() {
    if (!m_bServer)
        return false;
    bool changed = false;
    // Twice: a server going away sends its last message, then closes; the close is seen on the second read.
    for (int read = 0; read < 2 && m_conn && PQstatus(m_conn) == CONNECTION_OK; ++read) {
        if (!PQconsumeInput(m_conn))
            break;
        while (PGnotify* note = PQnotifies(m_conn)) {
            changed = true;
            PQfreemem(note);
        }
    }
    // Lost: whatever was sent meanwhile is lost with it, so a re-established watch reports a change.
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return Connect();
    return changed;
}

bool CCatalogueWatch::CatalogueDiffers(const std::vector<CModelCatalogEntry>& shown,
                                       const std::vector<CModelCatalogEntry>& stored) {
    if (shown.size() != stored.size())
        return true;
    for (size_t i = 0; i < shown.size(); ++i)
        if (shown[i].m_nID != stored[i].m_nID || shown[i].m_strName != stored[i].m_strName ||
            shown[i].m_strTitle != stored[i].m_strTitle)
            return true;
    return false;
}
