#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace PackageServer {

// One package file as served: its bytes, its MD5 and the path it is served under.
struct Package {
    std::wstring path;
    std::string name; // file name, UTF-8
    std::string md5; // 32 lower-case hex digits
    std::shared_ptr<const std::string> bytes;

    // "/packages/<md5>/<name>", the name percent-encoded.
    std::string UrlPath() const;
};

// The package being served; it can be switched while requests are answered (a request
// keeps the package it started with).
class PackageStore {
public:
    // Reads the file and makes it the served package; on failure the old one stays and
    // error says why.
    bool Load(const std::wstring& path, std::wstring& error);
    // Serves another file of the current package's folder, named without any path.
    bool Select(const std::wstring& name, std::wstring& error);
    std::shared_ptr<const Package> Current() const;

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const Package> m_current;
};

std::string PercentEncode(const std::string& text);

} // namespace PackageServer
