#include "support/http_server/HttpTestServer.h"

#include <httplib.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "utils/Md5.h"

namespace TestSupport {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

// A response's own progress through its body, shared by the provider's calls.
struct ResponseState {
    std::int64_t sent = 0;
    bool stalled = false;
    std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
};

} // namespace

std::string Md5Hex(const std::string& bytes)
{
    Utils::Md5Stream md5;
    md5.Add(bytes.data(), bytes.size());
    return md5.Finish();
}

std::wstring WideUrl(const std::string& url)
{
    return std::wstring(url.begin(), url.end());
}

std::shared_ptr<const std::string> MakeBody(std::size_t count, unsigned seed)
{
    auto body = std::make_shared<std::string>(count, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        (*body)[i] = static_cast<char>(state >> 24);
    }
    return body;
}

HttpTestServer::HttpTestServer()
    : m_server(std::make_unique<httplib::Server>())
{
    // Short keep-alive so stopping never waits long for idle connections.
    m_server->set_keep_alive_timeout(1);
    // A client that sends no request (a TLS hello on this plain port) is dropped soon.
    m_server->set_read_timeout(1, 0);
    m_server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back({ request.method, request.path, request.get_header_value("Range"),
            request.get_header_value("Accept-Encoding"), request.get_header_value("Via") });
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server->Get(R"(/files/([^/]+)/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
        Serve(request.method, request.matches[2], const_cast<httplib::Request*>(&request), &response);
    });
    m_server->Get(
        R"(/redirect/([0-9]+)/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
            const int hops = std::stoi(request.matches[1]);
            const std::string name = request.matches[2];
            response.set_redirect(hops > 1 ? RedirectUrl(name, hops - 1) : FileUrl(name), 302);
        });

    m_server->Get(R"(/nodigest/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
        response.set_redirect(FileUrlWithSegment(request.matches[1], "latest"), 302);
    });
    m_server->Get(R"(/tohost/([^/]+)/([^/]+))", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string name = request.matches[2];
        response.set_redirect(
            "http://" + request.matches[1].str() + ":" + std::to_string(m_port) + "/files/" + Md5Of(name) + "/" + name,
            302);
    });

    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        return;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_server->is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

HttpTestServer::~HttpTestServer()
{
    {
        std::lock_guard<std::mutex> lock(m_pauseMutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool HttpTestServer::Running() const
{
    return m_port > 0 && m_server->is_running();
}

std::string HttpTestServer::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

void HttpTestServer::AddBody(const std::string& name, std::shared_ptr<const std::string> body)
{
    const std::string md5 = Md5Hex(*body);
    std::lock_guard<std::mutex> lock(m_mutex);
    Entry& entry = m_entries[name];
    entry.body = std::move(body);
    entry.md5 = md5;
}

std::string HttpTestServer::Md5Of(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(name);
    return found == m_entries.end() ? std::string() : found->second.md5;
}

std::string HttpTestServer::FileUrl(const std::string& name) const
{
    return FileUrlWithSegment(name, Md5Of(name));
}

std::string HttpTestServer::FileUrlWithSegment(const std::string& name, const std::string& segment) const
{
    return BaseUrl() + "/files/" + segment + "/" + name;
}

std::string HttpTestServer::RedirectUrl(const std::string& name, int hops) const
{
    return BaseUrl() + "/redirect/" + std::to_string(hops) + "/" + name;
}

std::string HttpTestServer::RedirectWithoutDigestUrl(const std::string& name) const
{
    return BaseUrl() + "/nodigest/" + name;
}

std::string HttpTestServer::OtherHostRedirectUrl(const std::string& name, const std::string& host) const
{
    return BaseUrl() + "/tohost/" + host + "/" + name;
}

void HttpTestServer::QueueFault(const std::string& name, HttpFault fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries[name].queued.push_back(std::move(fault));
}

void HttpTestServer::QueueFaults(const std::string& name, const HttpFault& fault, int count)
{
    for (int i = 0; i < count; ++i) {
        QueueFault(name, fault);
    }
}

void HttpTestServer::SetStandingFault(const std::string& name, HttpFault fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries[name].standing = std::move(fault);
}

std::vector<HttpRequestRecord> HttpTestServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<HttpRequestRecord> HttpTestServer::Requests(const std::string& method) const
{
    std::vector<HttpRequestRecord> matching;
    for (const auto& request : Requests()) {
        if (request.method == method) {
            matching.push_back(request);
        }
    }
    return matching;
}

HttpFault HttpTestServer::TakeFault(
    const std::string& name, const std::string& method, std::shared_ptr<const std::string>& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(name);
    if (found == m_entries.end()) {
        return {};
    }
    Entry& entry = found->second;
    body = entry.body;
    for (auto it = entry.queued.begin(); it != entry.queued.end(); ++it) {
        if (it->method.empty() || it->method == method) {
            HttpFault fault = *it;
            entry.queued.erase(it);
            return fault;
        }
    }
    if (entry.standing.method.empty() || entry.standing.method == method) {
        return entry.standing;
    }
    return {};
}

bool HttpTestServer::Pause(std::int64_t milliseconds)
{
    std::unique_lock<std::mutex> lock(m_pauseMutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_stopping; });
}

void HttpTestServer::Serve(const std::string& method, const std::string& name, void* requestData, void* responseData)
{
    auto& request = *static_cast<httplib::Request*>(requestData);
    auto& response = *static_cast<httplib::Response*>(responseData);

    std::shared_ptr<const std::string> body;
    const HttpFault fault = TakeFault(name, method, body);
    if (!body) {
        response.status = 404;
        return;
    }
    if (fault.headerDelayMs > 0 && !Pause(fault.headerDelayMs)) {
        response.status = 503;
        return;
    }
    if (fault.ignoreRange || fault.status != 0) {
        // The request object is the server's own, not const: dropping the parsed ranges
        // makes it answer 200 with the whole body.
        request.ranges.clear();
    }
    if (!fault.retryAfter.empty()) {
        response.set_header("Retry-After", fault.retryAfter);
    }
    if (fault.status != 0) {
        response.status = fault.status;
    } else if (fault.ignoreRange) {
        response.status = 200;
    }

    if (fault.endless) {
        // A server that announced the package (HEAD) and then keeps sending: the body from
        // the asked offset, then its bytes over and over until the client gives up.
        const std::size_t from = request.ranges.empty() || request.ranges.front().first < 0
            ? 0
            : static_cast<std::size_t>(request.ranges.front().first);
        request.ranges.clear();
        if (from > 0) {
            response.status = 206;
            response.set_header("Content-Range",
                "bytes " + std::to_string(from) + "-" + std::to_string(body->size() - 1) + "/"
                    + std::to_string(body->size()));
        }
        response.set_chunked_content_provider(
            "application/octet-stream", [this, body, from](std::size_t offset, httplib::DataSink& sink) {
                const std::size_t at = (from + offset) % body->size();
                const std::size_t chunk = std::min(kChunk, body->size() - at);
                return Pause(0) && sink.write(body->data() + at, chunk);
            });
        return;
    }
    const auto length = static_cast<std::size_t>(
        fault.announcedLength >= 0 ? fault.announcedLength : static_cast<std::int64_t>(body->size()));
    auto state = std::make_shared<ResponseState>();
    response.set_content_provider(length, "application/octet-stream",
        [this, body, fault, state](std::size_t offset, std::size_t wanted, httplib::DataSink& sink) {
            std::size_t chunk = std::min(wanted, kChunk);
            if (fault.dropAfter >= 0) {
                if (state->sent >= fault.dropAfter) {
                    return false;
                }
                chunk = static_cast<std::size_t>(std::min<std::int64_t>(chunk, fault.dropAfter - state->sent));
            }
            if (fault.stallMs > 0 && !state->stalled) {
                if (state->sent >= fault.stallAfter) {
                    state->stalled = true;
                    if (!Pause(fault.stallMs)) {
                        return false;
                    }
                } else {
                    chunk = static_cast<std::size_t>(std::min<std::int64_t>(chunk, fault.stallAfter - state->sent));
                }
            }
            if (offset >= body->size()) {
                return false; // announced more than there is: end short
            }
            chunk = std::min(chunk, body->size() - offset);
            if (fault.bytesPerSecond > 0) {
                chunk = std::min<std::size_t>(
                    chunk, static_cast<std::size_t>(std::max<std::int64_t>(fault.bytesPerSecond / 20, 1)));
                const auto due = state->began + std::chrono::milliseconds(state->sent * 1000 / fault.bytesPerSecond);
                const auto now = std::chrono::steady_clock::now();
                if (due > now && !Pause(std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count())) {
                    return false;
                }
            }
            std::string flipped;
            const char* data = body->data() + offset;
            if (fault.corrupt && state->sent == 0) {
                flipped.assign(data, chunk);
                flipped[0] = static_cast<char>(~flipped[0]);
                data = flipped.data();
            }
            if (!sink.write(data, chunk)) {
                return false;
            }
            state->sent += static_cast<std::int64_t>(chunk);
            return true;
        });
}

} // namespace TestSupport
