#pragma once

#include <string>

namespace TestSupport {

// A program run natively on Wine's Unix side, in a folder of its own under /tmp, serving a
// loopback port chosen for it. It cannot outlive the test by more than a minute (timeout(1)
// wraps it); it is stopped by its pid when destroyed, and its folder removed.
class UnixServer {
public:
    explicit UnixServer(const std::string& hint);
    ~UnixServer();
    UnixServer(const UnixServer&) = delete;
    UnixServer& operator=(const UnixServer&) = delete;

    // Runs setup (may be empty), then program, from a /bin/sh in the folder, and waits up to
    // 5 s for the port to accept.
    bool Start(const std::string& setup, const std::string& program);
    bool Running() const noexcept { return m_running; }
    int Port() const noexcept { return m_port; }
    const std::wstring& Dir() const noexcept { return m_dir; } // Z:\tmp\...
    const std::string& UnixDir() const noexcept { return m_unixDir; }

private:
    std::wstring m_dir;
    std::string m_unixDir;
    int m_port = 0;
    bool m_running = false;
};

// A port on 127.0.0.1 that nothing listens on (taken from the system, then let go).
int UnusedLoopbackPort();

} // namespace TestSupport
