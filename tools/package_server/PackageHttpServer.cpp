#include "PackageHttpServer.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "ByteRange.h"
#include "utils/Text.h"

namespace PackageServer {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

const char kTermsPage[] = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Vellumora 用户协议</title></head>
<body><h1>Vellumora 用户协议</h1><p>这是演示服务器提供的用户协议页面。</p></body></html>
)";

const char kHelpPage[] = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Vellumora 帮助</title></head>
<body><h1>Vellumora 帮助</h1><p>Vellumora 已安装。这是演示服务器提供的帮助页面。</p></body></html>
)";

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

} // namespace

PackageHttpServer::PackageHttpServer(PackageStore& store, LogLine log)
    : m_store(store)
    , m_log(std::move(log))
    , m_server(std::make_unique<httplib::Server>())
{
    // Short keep-alive, so stopping never waits long for an idle connection.
    m_server->set_keep_alive_timeout(2);
    m_server->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        std::string line = request.method + " " + request.path;
        if (!request.params.empty()) {
            line += "?";
            for (const auto& [key, value] : request.params) {
                line += key + "=" + value + "&";
            }
            line.pop_back();
        }
        const std::string range = request.get_header_value("Range");
        line += " Range=" + (range.empty() ? std::string("-") : range);
        line += " -> " + std::to_string(response.status);
        m_log(line);
    });

    const auto servePackage = [this](const httplib::Request& request, httplib::Response& response) {
        ServePackage(request, response);
    };
    const auto redirect = [this](const httplib::Request& request, httplib::Response& response) {
        Redirect(request, response);
    };
    m_server->Get(R"(/packages/([0-9A-Fa-f]{32})/([^/]+))", servePackage);
    m_server->Get(R"(/redirect/ver1/quorvel/download_silent[a-z0-9_]*/1\.0/installer/123456)", redirect);
    m_server->Get(R"(/redirect/ver1/quorvel/terms/1\.0/installer/123456)",
        [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kTermsPage, "text/html; charset=utf-8");
        });
    m_server->Get(R"(/redirect/ver1/quorvel/help/1\.0/installer/123456)",
        [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kHelpPage, "text/html; charset=utf-8");
        });
    m_server->Get("/admin/serve",
        [this](const httplib::Request& request, httplib::Response& response) { SelectPackage(request, response); });
    m_server->Get("/admin/stop", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content("stopping\n", "text/plain");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
        m_stopAsked.notify_all();
    });
}

PackageHttpServer::~PackageHttpServer()
{
    Stop();
}

bool PackageHttpServer::Start(int port)
{
    if (m_thread.joinable()) {
        return false;
    }
    if (port == 0) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
    } else {
        m_port = m_server->bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (m_port <= 0) {
        return false;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // httplib 0.11 cannot tell when it is ready; it is a matter of milliseconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_server->is_running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool PackageHttpServer::WaitForStopRequest(unsigned timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_stopAsked.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_stopRequested; });
}

void PackageHttpServer::Stop()
{
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

std::string PackageHttpServer::Origin(const httplib::Request& request) const
{
    const std::string host = request.get_header_value("Host");
    return "http://" + (host.empty() ? "127.0.0.1:" + std::to_string(m_port) : host);
}

void PackageHttpServer::ServePackage(const httplib::Request& request, httplib::Response& response)
{
    const auto package = m_store.Current();
    if (!package || !EqualsNoCase(request.matches[1].str(), package->md5)
        || request.matches[2].str() != package->name) {
        response.status = 404;
        response.set_content("no such package\n", "text/plain");
        return;
    }
    const std::uint64_t size = package->bytes->size();
    const ByteRange range = request.has_header("Range") ? ResolveRange(request.get_header_value("Range"), size)
                                                        : ByteRange { ByteRange::Kind::Whole, 0, size };
    // httplib 0.11 slices bodies by the raw Range header without clamping its end; the range
    // is resolved here, so it must not apply it a second time.
    const_cast<httplib::Request&>(request).ranges.clear();

    response.set_header("Accept-Ranges", "bytes");
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    if (range.kind == ByteRange::Kind::Partial) {
        response.status = 206;
        response.set_header("Content-Range",
            "bytes " + std::to_string(range.offset) + "-" + std::to_string(range.offset + range.length - 1) + "/"
                + std::to_string(size));
    } else {
        response.status = 200;
    }
    if (request.method == "HEAD") {
        response.set_header("Content-Length", std::to_string(range.length));
        response.set_header("Content-Type", "application/octet-stream");
        return;
    }
    const auto bytes = package->bytes;
    const std::size_t base = static_cast<std::size_t>(range.offset);
    response.set_content_provider(static_cast<std::size_t>(range.length), "application/octet-stream",
        [bytes, base](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return sink.write(bytes->data() + base + offset, std::min(length, kChunk));
        });
}

void PackageHttpServer::Redirect(const httplib::Request& request, httplib::Response& response)
{
    const auto package = m_store.Current();
    if (!package) {
        response.status = 404;
        return;
    }
    response.set_redirect(Origin(request) + package->UrlPath(), 302);
}

void PackageHttpServer::SelectPackage(const httplib::Request& request, httplib::Response& response)
{
    std::wstring error;
    const std::wstring name = Utils::MultiByteToWide(request.get_param_value("file"), CP_UTF8);
    if (!m_store.Select(name, error)) {
        response.status = 404;
        response.set_content(Utils::WideToMultiByte(error, CP_UTF8) + "\n", "text/plain; charset=utf-8");
        return;
    }
    const auto package = m_store.Current();
    response.set_content(Origin(request) + package->UrlPath() + "\n", "text/plain");
}

} // namespace PackageServer
