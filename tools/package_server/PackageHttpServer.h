#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "PackageStore.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace PackageServer {

// The maker's endpoint in miniature, on 127.0.0.1 only:
//   GET|HEAD /packages/<md5>/<name>   the package, with byte ranges (206, 416)
//   GET|HEAD /redirect/ver1/quorvel/download_silent*/1.0/installer/123456   302 to it
//   GET /redirect/ver1/quorvel/terms/1.0/installer/123456 and .../help/...   small pages
//   GET /admin/serve?file=<name>   serve another file of the package's folder
//   GET /admin/stop                ask the owner to stop the server
// Every request is passed to the log callback as one line once it is answered.
class PackageHttpServer {
public:
    using LogLine = std::function<void(const std::string&)>;

    PackageHttpServer(PackageStore& store, LogLine log);
    ~PackageHttpServer(); // stops and joins the listening thread
    PackageHttpServer(const PackageHttpServer&) = delete;
    PackageHttpServer& operator=(const PackageHttpServer&) = delete;

    // Binds 127.0.0.1:port (0: any free port) and listens on a thread of its own; true
    // once it accepts connections.
    bool Start(int port);
    int Port() const noexcept { return m_port; }
    // True when /admin/stop was asked for within timeoutMs.
    bool WaitForStopRequest(unsigned timeoutMs);
    void Stop();

private:
    void ServePackage(const httplib::Request& request, httplib::Response& response);
    void Redirect(const httplib::Request& request, httplib::Response& response);
    void SelectPackage(const httplib::Request& request, httplib::Response& response);
    std::string Origin(const httplib::Request& request) const;

    PackageStore& m_store;
    LogLine m_log;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_stopAsked;
    bool m_stopRequested = false;
};

} // namespace PackageServer
