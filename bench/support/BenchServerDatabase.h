// A database of its own on a PostgreSQL server for one benchmark run: made from the admin's
// connection string, with the team database's schema, and dropped at the end.
#pragma once

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "server/ServerSchema.h"

class CBenchServerDatabase {
public:
    CBenchServerDatabase(const std::string& admin, const std::string& tag)
        : m_admin(admin), m_name("quillon_bench_" + std::to_string(getpid()) + "_" + tag) {
        if (!Admin("CREATE DATABASE " + m_name)) return;
        m_made = true;
        std::string message;
        if (InitServer(Conninfo(), message))
            m_ready = true;
        else
            std::fprintf(stderr, "%s\n", message.c_str());
    }
    ~CBenchServerDatabase() {
        if (m_made) Admin("DROP DATABASE " + m_name);
    }
    CBenchServerDatabase(const CBenchServerDatabase&) = delete;
    CBenchServerDatabase& operator=(const CBenchServerDatabase&) = delete;

    bool Ready() const { return m_ready; }
    // The admin's host, port and user, this database.
    std::string Conninfo() const {
        std::string out;
        PQconninfoOption* options = PQconninfoParse(m_admin.c_str(), nullptr);
        for (PQconninfoOption* o = options; o && o->keyword; ++o)
            if (o->val && std::string(o->keyword) != "dbname")
                out += std::string(o->keyword) + "='" + o->val + "' ";
        PQconninfoFree(options);
        return out + "dbname=" + m_name;
    }

private:
    bool Admin(const std::string& sql) const {
        PGconn* conn = PQconnectdb(m_admin.c_str());
        PGresult* r = PQexec(conn, sql.c_str());
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!ok) std::fprintf(stderr, "%s", PQerrorMessage(conn));
        PQclear(r);
        PQfinish(conn);
        return ok;
    }

    std::string m_admin, m_name;
    bool m_made = false, m_ready = false;
};
