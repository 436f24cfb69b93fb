#pragma once

#include <string>
#include <vector>

#include "support/UnixServer.h"

namespace TestSupport {

// A real tinyproxy (the Debian program) on 127.0.0.1 with its own config and log, started
// through Wine's Unix side.
class TinyProxy {
public:
    struct Options {
        std::string basicAuthUser; // with a password: every request must carry them
        std::string basicAuthPassword;
        bool refuseLoopback = false; // an Allow list without us: every request gets 403
    };

    explicit TinyProxy(const Options& options);
    TinyProxy()
        : TinyProxy(Options {})
    {
    }
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    bool Running() const noexcept { return m_server.Running(); }
    int Port() const noexcept { return m_server.Port(); }
    // "localhost:port": the test server is 127.0.0.1, and Wine's WinHTTP sends a plain
    // request line when proxy and target host texts are equal.
    std::wstring HostPort() const;
    // The request lines tinyproxy logged ("GET http://…/x HTTP/1.1"), in order.
    std::vector<std::string> Requests() const;
    // Request lines whose text holds fragment.
    std::vector<std::string> RequestsWith(const std::string& fragment) const;

private:
    UnixServer m_server;
};

// The user's proxy configuration as Internet Options writes it (the binary value Wine reads,
// plus ProxyEnable/ProxyServer), put back as it was when destroyed.
class SystemProxyConfig {
public:
    struct Values {
        std::wstring proxy; // manual proxy, "" for none
        std::wstring bypass;
        std::wstring scriptUrl; // automatic configuration script, "" for none
        bool autoDetect = false;
    };
    explicit SystemProxyConfig(const Values& values);
    ~SystemProxyConfig();
    SystemProxyConfig(const SystemProxyConfig&) = delete;
    SystemProxyConfig& operator=(const SystemProxyConfig&) = delete;
    bool Written() const noexcept { return m_written; }

private:
    std::vector<unsigned char> m_previous;
    bool m_hadPrevious = false;
    bool m_written = false;
};

// The machine's WinHTTP proxy, as "netsh winhttp set proxy" sets it: the binary value
// WinHttpSettings under HKLM\Software\Microsoft\Windows\CurrentVersion\Internet
// Settings\Connections, where Wine's WinHttpGetDefaultProxyConfiguration reads it. Put back
// as it was when destroyed.
class MachineProxyConfig {
public:
    MachineProxyConfig(const std::wstring& proxy, const std::wstring& bypass);
    ~MachineProxyConfig();
    MachineProxyConfig(const MachineProxyConfig&) = delete;
    MachineProxyConfig& operator=(const MachineProxyConfig&) = delete;
    bool Written() const noexcept { return m_written; }

private:
    std::vector<unsigned char> m_previous;
    bool m_hadPrevious = false;
    bool m_written = false;
};

} // namespace TestSupport
