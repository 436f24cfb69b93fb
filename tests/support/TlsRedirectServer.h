#pragma once

#include <string>

#include "support/UnixServer.h"

namespace TestSupport {

// An HTTPS server on 127.0.0.1 (Python's http.server over TLS, on Wine's Unix side) that
// answers every HEAD and GET with a 302 to target. Its certificate, made for "localhost",
// is trusted in the machine's Root store while the server lives (Wine's WinHTTP checks the
// chain; its Schannel under libcurl takes any), so the redirect is what a downloader judges.
class TlsRedirectServer {
public:
    explicit TlsRedirectServer(const std::string& target);
    ~TlsRedirectServer();
    TlsRedirectServer(const TlsRedirectServer&) = delete;
    TlsRedirectServer& operator=(const TlsRedirectServer&) = delete;

    bool Running() const noexcept { return m_server.Running() && m_trusted; }
    // https://localhost:<port><path>
    std::string Url(const std::string& path) const;

private:
    UnixServer m_server;
    std::string m_certificate; // DER
    bool m_trusted = false;
};

} // namespace TestSupport
