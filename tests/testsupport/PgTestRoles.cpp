#include "testsupport/PgTestRoles.h"

#include <libpq-fe.h>

#include <fstream>
#include <sstream>

std::string RunAsSuperuser(const CPgTestServer& server, const std::string& database, const std::string& sql) {
    PGconn* conn = PQconnectdb(server.Address(database).c_str());
    std::string error;
    if (PQstatus(conn) != CONNECTION_OK) {
        error = PQerrorMessage(conn);
    } else {
        // With several statements the result is the last one's, or the first error's.
        PGresult* r = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            error = PQresultErrorMessage(r);
            if (error.empty())
                error = "failed";
        }
        PQclear(r);
    }
    PQfinish(conn);
    return error;
}

std::string ApplyStoreRoles(const CPgTestServer& server, const std::string& database) {
    std::ifstream in(ZRK_ROLES_SQL);
    if (!in)
        return "cannot read " ZRK_ROLES_SQL;
    std::stringstream script;
    script << in.rdbuf();
    return RunAsSuperuser(server, database, script.str());
}

std::string MakeTestLogin(const CPgTestServer& server, const std::string& login, const std::string& role) {
    std::string sql = "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '" + login +
                      "') THEN CREATE ROLE " + login + " LOGIN PASSWORD '" + kTestLoginPassword + "'; END IF; END $$";
    if (!role.empty())
        sql += "; GRANT " + role + " TO " + login;
    return RunAsSuperuser(server, "postgres", sql);
}

std::string LoginAddress(const CPgTestServer& server, const std::string& login, const std::string& database) {
    return "postgresql://" + login + ":" + kTestLoginPassword + "@127.0.0.1:" + std::to_string(server.Port()) + "/" +
           database;
}
