#pragma once

#include <winsock2.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/http_server/HttpTestServer.h"

namespace TestSupport {

// What a network does to a transfer after some body bytes.
enum class TransferFault {
    None,
    Silent, // the connection stays open and sends nothing more
    Reset, // the connection is reset
    Short, // the connection is closed short of the announced length
};

// A bare HTTP/1.1 server on 127.0.0.1 for one body at /files/<md5>/<name>, written on
// sockets so that it can reset a connection. HEAD, and GET with "bytes=a-" or "bytes=a-b"
// (206), are answered as a package server does; the first GETs can be made to fail.
// Stops and joins its threads when destroyed, which also ends a silent connection.
class FaultServer {
public:
    FaultServer(std::string name, std::shared_ptr<const std::string> body);
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    bool Running() const noexcept { return m_listener != INVALID_SOCKET; }
    std::string FileUrl() const;
    // GETs 1 to count (every GET when count is below 0) fail so after afterBytes body bytes.
    void SetFault(TransferFault fault, std::int64_t afterBytes, int count);
    // The next count HEADs get a reset instead of an answer.
    void ResetHeads(int count);
    // Method, path and Range of every request so far.
    std::vector<HttpRequestRecord> Requests() const;

private:
    void AcceptLoop();
    void Serve(SOCKET connection);
    // False when the connection must end.
    bool Answer(SOCKET connection, const std::string& head);
    bool WaitReadable(SOCKET socket);

    std::string m_name;
    std::shared_ptr<const std::string> m_body;
    std::string m_md5;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stopping { false };
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    TransferFault m_fault = TransferFault::None;
    std::int64_t m_faultAfter = 0;
    int m_faultCount = 0;
    int m_gets = 0;
    int m_headResets = 0;
    std::vector<HttpRequestRecord> m_requests;
    std::set<SOCKET> m_open;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};

} // namespace TestSupport
