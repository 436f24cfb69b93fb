#include "support/http_server/FaultServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>

namespace TestSupport {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr long kPollMs = 100;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The value of a header in a request head, "" when absent.
std::string Header(const std::string& head, const std::string& name)
{
    const std::string lower = Lower(head);
    const auto at = lower.find("\r\n" + Lower(name) + ":");
    if (at == std::string::npos) {
        return {};
    }
    auto begin = at + name.size() + 3;
    const auto end = head.find("\r\n", begin);
    while (begin < end && head[begin] == ' ') {
        ++begin;
    }
    return head.substr(begin, end - begin);
}

// Writes everything unless the connection fails or the server stops.
bool SendAll(SOCKET socket, const char* data, std::size_t size, const std::atomic<bool>& stopping)
{
    while (size > 0) {
        const int sent = ::send(socket, data, static_cast<int>(std::min(size, kChunk)), 0);
        if (sent <= 0) {
            if (::WSAGetLastError() == WSAETIMEDOUT && !stopping) {
                continue; // a client that reads slowly
            }
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool SendText(SOCKET socket, const std::string& text, const std::atomic<bool>& stopping)
{
    return SendAll(socket, text.data(), text.size(), stopping);
}

} // namespace

FaultServer::FaultServer(std::string name, std::shared_ptr<const std::string> body)
    : m_name(std::move(name))
    , m_body(std::move(body))
    , m_md5(Md5Hex(*m_body))
{
    WSADATA data {};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return;
    }
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (listener == INVALID_SOCKET || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0
        || ::listen(listener, SOMAXCONN) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener != INVALID_SOCKET) {
            ::closesocket(listener);
        }
        return;
    }
    m_port = ntohs(address.sin_port);
    m_listener = listener;
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

FaultServer::~FaultServer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    if (m_acceptor.joinable()) {
        m_acceptor.join();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const SOCKET open : m_open) {
            ::shutdown(open, SD_BOTH);
        }
    }
    for (auto& connection : m_connections) {
        connection.join();
    }
    if (m_listener != INVALID_SOCKET) {
        ::closesocket(m_listener);
    }
    ::WSACleanup();
}

std::string FaultServer::FileUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/files/" + m_md5 + "/" + m_name;
}

void FaultServer::SetFault(TransferFault fault, std::int64_t afterBytes, int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
    m_faultAfter = afterBytes;
    m_faultCount = count;
    m_gets = 0;
}

void FaultServer::ResetHeads(int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_headResets = count;
}

std::vector<HttpRequestRecord> FaultServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

bool FaultServer::WaitReadable(SOCKET socket)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait { 0, kPollMs * 1000 };
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

void FaultServer::AcceptLoop()
{
    while (!m_stopping) {
        if (!WaitReadable(m_listener)) {
            continue;
        }
        const SOCKET connection = ::accept(m_listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) {
            continue;
        }
        const DWORD sendTimeoutMs = 1000;
        ::setsockopt(
            connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeoutMs), sizeof(sendTimeoutMs));
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.insert(connection);
        m_connections.emplace_back([this, connection] { Serve(connection); });
    }
}

void FaultServer::Serve(SOCKET connection)
{
    std::string received;
    bool open = true;
    while (open && !m_stopping) {
        const auto end = received.find("\r\n\r\n");
        if (end != std::string::npos) {
            const std::string head = received.substr(0, end + 4);
            received.erase(0, end + 4);
            open = Answer(connection, head);
            continue;
        }
        if (!WaitReadable(connection)) {
            continue;
        }
        char chunk[4096];
        const int got = ::recv(connection, chunk, sizeof(chunk), 0);
        if (got <= 0 || received.size() > 65536) {
            break;
        }
        received.append(chunk, static_cast<std::size_t>(got));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open.erase(connection);
    ::closesocket(connection);
}

bool FaultServer::Answer(SOCKET connection, const std::string& head)
{
    const auto methodEnd = head.find(' ');
    const auto pathEnd = head.find(' ', methodEnd + 1);
    const std::string method = head.substr(0, methodEnd);
    const std::string path = head.substr(methodEnd + 1, pathEnd - methodEnd - 1);
    const std::string range = Header(head, "Range");
    const bool keepAlive = Lower(Header(head, "Connection")) != "close";
    TransferFault fault = TransferFault::None;
    std::int64_t faultAfter = 0;
    bool resetHead = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back({ method, path, range, Header(head, "Accept-Encoding"), Header(head, "Via") });
        if (method == "GET" && (m_faultCount < 0 || ++m_gets <= m_faultCount)) {
            fault = m_fault;
            faultAfter = m_faultAfter;
        }
        resetHead = method == "HEAD" && m_headResets > 0 && m_headResets-- > 0;
    }
    const linger abort { 1, 0 }; // closing now sends a reset
    if (resetHead) {
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof(abort));
        return false;
    }

    const auto size = static_cast<std::int64_t>(m_body->size());
    const bool known = path.rfind("/files/", 0) == 0 && path.size() > m_name.size()
        && path.compare(path.size() - m_name.size() - 1, std::string::npos, "/" + m_name) == 0;
    if (!known || (method != "GET" && method != "HEAD")) {
        return SendText(connection, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", m_stopping) && keepAlive;
    }
    std::int64_t first = 0, last = size - 1;
    std::string status = "200 OK", extra;
    if (method == "GET" && range.rfind("bytes=", 0) == 0) {
        first = std::stoll(range.substr(6));
        const auto dash = range.find('-');
        if (dash + 1 < range.size()) {
            last = std::min(last, std::stoll(range.substr(dash + 1)));
        }
        if (first >= size || first > last) {
            return SendText(connection,
                       "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size)
                           + "\r\nContent-Length: 0\r\n\r\n",
                       m_stopping)
                && keepAlive;
        }
        status = "206 Partial Content";
        extra = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/"
            + std::to_string(size) + "\r\n";
    }
    const std::int64_t length = last - first + 1;
    const std::string headers = "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length)
        + "\r\nAccept-Ranges: bytes\r\nContent-Type: application/octet-stream\r\n" + extra + "\r\n";
    if (!SendText(connection, headers, m_stopping)) {
        return false;
    }
    if (method == "HEAD") {
        return keepAlive;
    }
    const std::int64_t sending = fault == TransferFault::None ? length : std::min(length, faultAfter);
    if (!SendAll(connection, m_body->data() + first, static_cast<std::size_t>(sending), m_stopping)) {
        return false;
    }
    switch (fault) {
    case TransferFault::None:
        return keepAlive;
    case TransferFault::Silent: {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stopped.wait(lock, [this] { return m_stopping.load(); });
        return false;
    }
    case TransferFault::Reset: {
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof(abort));
        return false;
    }
    case TransferFault::Short:
        ::shutdown(connection, SD_SEND);
        return false;
    }
    return false;
}

} // namespace TestSupport
