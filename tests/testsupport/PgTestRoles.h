#pragma once
// The server store's roles (scripts/pg-roles.sql) on the tests' own server: the script applied to a database
// as the server's superuser, and logins of the stations made members of its roles.

#include "testsupport/PgTestServer.h"

#include <string>

/// The password of every login `MakeTestLogin` makes.
inline constexpr const char* kTestLoginPassword = "login-pw";

/// Runs `sql` (statements separated by ';') in `database` as the server's superuser; the server's error, empty
/// when every statement ran.
std::string RunAsSuperuser(const CPgTestServer& server, const std::string& database, const std::string& sql);
/// Applies scripts/pg-roles.sql to the database; the server's error, empty when it ran whole.
std::string ApplyStoreRoles(const CPgTestServer& server, const std::string& database);
/// Makes the login (password `kTestLoginPassword`) when the server has none of that name, and makes it a
/// member of `role` when one is given (the roles exist once the script ran); the error, empty on success.
std::string MakeTestLogin(const CPgTestServer& server, const std::string& login, const std::string& role = "");
/// The database's `postgresql://` address for the login.
std::string LoginAddress(const CPgTestServer& server, const std::string& login, const std::string& database);
