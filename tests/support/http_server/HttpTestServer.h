#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace TestSupport {

// What one response does wrong. The defaults serve the body faithfully.
struct HttpFault {
    std::string method; // "GET", "HEAD", or empty for both
    int headerDelayMs = 0; // wait this long before answering at all
    int status = 0; // answer with this status instead (404, 500); the length is still announced
    std::int64_t dropAfter = -1; // close the connection after this many body bytes
    int stallMs = 0; // send nothing for this long (cut short when the server stops) ...
    std::int64_t stallAfter = 0; // ... once this many body bytes have gone out
    std::int64_t bytesPerSecond = 0; // throttle of this response's connection
    std::int64_t announcedLength = -1; // Content-Length that differs from the body
    bool corrupt = false; // the first byte sent differs from the body
    bool ignoreRange = false; // 200 with the whole body, whatever Range asked
    bool endless = false; // the body, then more of it for ever, chunked with no length
    std::string retryAfter; // a Retry-After header with this value, when not empty
};

struct HttpRequestRecord {
    std::string method;
    std::string path;
    std::string range; // the Range header, "" when absent
    std::string acceptEncoding; // the Accept-Encoding header, "" when absent
    std::string via; // the Via header a proxy adds, "" when absent
};

// A scripted HTTP server on 127.0.0.1 with an ephemeral port, inside the test process.
// Paths: /files/<segment>/<name> serves the body called name (HEAD with its length, GET
// with byte ranges as 206); /redirect/<hops>/<name> redirects hops times and ends at
// /files/<md5 of the body>/<name>. Stops and joins its thread when destroyed.
class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool Running() const;
    int Port() const noexcept { return m_port; }
    std::string BaseUrl() const;

    // The body is kept, not copied, so large bodies cost one allocation per test.
    void AddBody(const std::string& name, std::shared_ptr<const std::string> body);
    std::string Md5Of(const std::string& name) const;

    std::string FileUrl(const std::string& name) const; // the MD5 in front of the name
    std::string FileUrlWithSegment(const std::string& name, const std::string& segment) const;
    std::string RedirectUrl(const std::string& name, int hops) const;
    // One redirect to the file at an address that carries no MD5.
    std::string RedirectWithoutDigestUrl(const std::string& name) const;
    // One redirect to the file on this server under another host name ("localhost").
    std::string OtherHostRedirectUrl(const std::string& name, const std::string& host) const;

    // A fault for the next request of name that matches its method; faults queue up.
    void QueueFault(const std::string& name, HttpFault fault);
    void QueueFaults(const std::string& name, const HttpFault& fault, int count);
    // A fault for every request of name that finds no queued fault.
    void SetStandingFault(const std::string& name, HttpFault fault);

    std::vector<HttpRequestRecord> Requests() const;
    std::vector<HttpRequestRecord> Requests(const std::string& method) const;

private:
    struct Entry {
        std::shared_ptr<const std::string> body;
        std::string md5;
        std::deque<HttpFault> queued;
        HttpFault standing;
    };

    HttpFault TakeFault(const std::string& name, const std::string& method, std::shared_ptr<const std::string>& body);
    // Sleeps up to milliseconds; false when the server is stopping.
    bool Pause(std::int64_t milliseconds);
    void Serve(const std::string& method, const std::string& name, void* request, void* response);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = -1;
    mutable std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
    std::vector<HttpRequestRecord> m_requests;
    std::mutex m_pauseMutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
};

// MD5 of bytes in memory as 32 lower-case hex digits.
std::string Md5Hex(const std::string& bytes);

// Text of a URL as the downloaders take it.
std::wstring WideUrl(const std::string& url);

// count bytes of a repeatable pattern, different at every offset within 256 MiB.
std::shared_ptr<const std::string> MakeBody(std::size_t count, unsigned seed = 1);

} // namespace TestSupport
