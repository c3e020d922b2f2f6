// A PostgreSQL cluster of a test's own (scripts/team-server.sh in a scratch folder), for
// tests that stop the server: the shared one stays up for the other tests.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/ScratchDir.h"

class PrivateCluster {
public:
    PrivateCluster() : m_dir("kqpg") {
        EXPECT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);  // the server's user goes through it
        m_folder = m_dir / "cluster";
        m_env = "QUILLON_PG_DIR='" + m_folder + "' ";
        m_started = Script("start >/dev/null");
        std::string socket;
        for (char ch : m_folder) socket += ch == '/' ? std::string("%2F") : std::string(1, ch);
        // The cluster's administrator is postgres when root made it, the caller otherwise.
        m_conninfo = "postgresql://" + std::string(::getuid() == 0 ? "postgres@" : "") + socket +
                     "/postgres";
    }
    ~PrivateCluster() { Script("stop"); }
    bool Started() const { return m_started; }
    const std::string& Conninfo() const { return m_conninfo; }
    std::string Scratch(const std::string& name) const { return m_dir / name; }
    // As a crash would: the server's immediate shutdown.
    void Crash() {
        std::ifstream pidFile(m_folder + "/data/postmaster.pid");
        pid_t postmaster = 0;
        ASSERT_TRUE(pidFile >> postmaster);
        ASSERT_EQ(::kill(postmaster, SIGQUIT), 0);
        for (int i = 0; i < 100 && ::kill(postmaster, 0) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    bool Restart() { return Script("start >/dev/null"); }

private:
    bool Script(const std::string& args) {
        const std::string script = std::string(QUILLON_SOURCE_DIR) + "/scripts/team-server.sh";
        return std::system((m_env + script + " " + args).c_str()) == 0;
    }
    CScratchDir m_dir;
    std::string m_folder, m_env, m_conninfo;
    bool m_started = false;
};
