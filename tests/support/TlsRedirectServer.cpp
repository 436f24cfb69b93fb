#include "support/TlsRedirectServer.h"

#include <windows.h>

#include <wincrypt.h>

#include "support/TempDir.h"

namespace TestSupport {
namespace {

constexpr char kScript[] = R"(import http.server, ssl, sys
port, target = int(sys.argv[1]), sys.argv[2]
class Redirect(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_HEAD(self):
        self.send_response(302)
        self.send_header("Location", target)
        self.send_header("Content-Length", "0")
        self.end_headers()
    do_GET = do_HEAD
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Redirect)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain("cert.pem", "key.pem")
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
)";

// Adds the certificate to the machine's Root store or takes it out again. Wine writes a
// store's changes to the registry only when it is closed, and a chain is built from there.
bool ChangeRoot(const std::string& der, bool add)
{
    HCERTSTORE root = ::CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, static_cast<const void*>(L"Root"));
    if (!root) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
    const auto size = static_cast<DWORD>(der.size());
    BOOL changed = FALSE;
    if (add) {
        changed = ::CertAddEncodedCertificateToStore(
            root, X509_ASN_ENCODING, bytes, size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    } else if (PCCERT_CONTEXT mine = ::CertCreateCertificateContext(X509_ASN_ENCODING, bytes, size)) {
        PCCERT_CONTEXT found
            = ::CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, mine, nullptr);
        changed = found && ::CertDeleteCertificateFromStore(found); // frees found
        ::CertFreeCertificateContext(mine);
    }
    ::CertCloseStore(root, 0);
    return changed != FALSE;
}

} // namespace

TlsRedirectServer::TlsRedirectServer(const std::string& target)
    : m_server("tls")
{
    if (!WriteFileBytes(m_server.Dir() + L"\\redirect.py", kScript)
        || !m_server.Start("/usr/bin/openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
                           "-subj /CN=localhost -addext subjectAltName=DNS:localhost && /usr/bin/openssl x509 -in "
                           "cert.pem -outform der -out cert.der",
            "/usr/bin/python3 redirect.py " + std::to_string(m_server.Port()) + " " + target)) {
        return;
    }
    m_certificate = ReadFileBytes(m_server.Dir() + L"\\cert.der");
    m_trusted = !m_certificate.empty() && ChangeRoot(m_certificate, true);
}

TlsRedirectServer::~TlsRedirectServer()
{
    if (m_trusted) {
        ChangeRoot(m_certificate, false);
    }
}

std::string TlsRedirectServer::Url(const std::string& path) const
{
    return "https://localhost:" + std::to_string(m_server.Port()) + path;
}

} // namespace TestSupport
