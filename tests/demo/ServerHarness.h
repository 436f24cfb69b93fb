#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "utils/UniqueResource.h"

namespace DemoTest {

struct HttpReply {
    bool received = false;
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;

    std::string Header(const std::string& name) const;
};

// One request over a fresh loopback connection ("Connection: close"), read to the end;
// every socket wait is bounded by 5 s.
HttpReply HttpRequest(int port, const std::string& method, const std::string& path, const std::string& range = "");

// vlm_package_server.exe started by a test: its output goes to a file, its standard input
// is a pipe the test holds. The destructor asks it to stop and, failing that, kills it.
class ServerProcess {
public:
    explicit ServerProcess(const std::wstring& arguments);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Waits up to timeoutMs for the port file; 0 when the server died or never listened.
    int WaitForPort(DWORD timeoutMs);
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void CloseInput() { m_input.reset(); }
    std::string Output() const;
    const std::wstring& PortFile() const noexcept { return m_portFile; }

private:
    std::wstring m_folder;
    std::wstring m_portFile;
    std::wstring m_outputFile;
    Utils::UniqueHandle m_process;
    Utils::UniqueHandle m_input;
    int m_port = 0;
};

} // namespace DemoTest
