// A database of its own on the throwaway PostgreSQL cluster (scripts/team-server.sh, found
// through QUILLON_TEST_PG), dropped at the end. Without the cluster the test fails.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <cstdlib>
#include <memory>
#include <string>

#include "server/PgConnection.h"
#include "server/ServerSchema.h"

class CTestServerDatabase {
public:
    // withSchema: the team database's tables are made, as --init-server makes them.
    explicit CTestServerDatabase(bool withSchema = true) {
        const char* admin = std::getenv("QUILLON_TEST_PG");
        if (!admin || !*admin) {
            ADD_FAILURE() << "QUILLON_TEST_PG is not set: start the test cluster with "
                             "eval \"$(scripts/team-server.sh start)\"";
            return;
        }
        std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
            PQconninfoParse(admin, nullptr), &PQconninfoFree);
        for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o) {
            const std::string k = o->keyword;
            if (o->val && (k == "host" || k == "port" || k == "user")) m_server[k] = o->val;
        }
        static std::atomic<int> counter{0};
        m_name = "quillon_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        CPgConnection conn = Connect("postgres", std::string());
        if (!conn.IsUp()) return;
        if (!Check(conn.Exec(("CREATE DATABASE " + Quoted(conn, m_name)).c_str()))) return;
        m_made = true;
        if (withSchema) {
            CPgConnection db = Connect(m_name, m_server["user"]);
            std::string error;
            CreateOrUpgradeServerSchema(db, error);
            if (!error.empty()) ADD_FAILURE() << error;
        }
    }
    ~CTestServerDatabase() {
        if (!m_made) return;
        CPgConnection conn = Connect("postgres", std::string());
        Check(conn.Exec(
            ("DROP DATABASE IF EXISTS " + Quoted(conn, m_name) + " WITH (FORCE)").c_str()));
    }
    CTestServerDatabase(const CTestServerDatabase&) = delete;
    CTestServerDatabase& operator=(const CTestServerDatabase&) = delete;

    bool Made() const { return m_made; }
    const std::string& Name() const { return m_name; }
    // A keyword connection string for this database; user empty: the administrator.
    std::string Conninfo(const std::string& user = std::string(),
                         const std::string& password = std::string()) const {
        return Info(m_name, user, password);
    }
    // The administrator on this database, for setting the scene.
    CPgConnection Admin() const { return Connect(m_name, std::string()); }
    // A login role that is a member of group (quillon_reader, quillon_writer, quillon_admin).
    void Role(const std::string& name, const std::string& group) const {
        CPgConnection conn = Admin();
        const std::string role = Quoted(conn, name);
        Check(conn.RunScript("DO $$ BEGIN CREATE ROLE " + role +
                             " LOGIN; EXCEPTION WHEN duplicate_object OR unique_violation THEN "
                             "NULL; END $$; GRANT " +
                             group + " TO " + role));
    }
    static bool Check(const CPgResult& r) {
        if (r.Ok()) return true;
        ADD_FAILURE() << r.Message();
        return false;
    }

private:
    std::string Info(const std::string& db, const std::string& user,
                     const std::string& password = std::string()) const {
        std::string s = "dbname='" + db + "'";
        for (const auto& [k, v] : m_server)
            if (k != "user") s += " " + k + "='" + v + "'";
        const auto admin = m_server.find("user");
        const std::string who = !user.empty() ? user : admin == m_server.end() ? "" : admin->second;
        if (!who.empty()) s += " user='" + who + "'";
        if (!password.empty()) s += " password='" + password + "'";
        return s;
    }
    CPgConnection Connect(const std::string& db, const std::string& user) const {
        CPgConnection conn;
        std::string error;
        if (!ConnectWaiting(Info(db, user), 15000, conn, error)) ADD_FAILURE() << error;
        return conn;
    }
    static std::string Quoted(const CPgConnection& conn, const std::string& name) {
        char* q = PQescapeIdentifier(conn.Handle(), name.c_str(), name.size());
        std::string out = q ? q : "";
        PQfreemem(q);
        return out;
    }

    std::map<std::string, std::string> m_server;
    std::string m_name;
    bool m_made = false;
};
