// vlm_package_server: serves a demo package the way the maker's endpoint would, on
// 127.0.0.1 only. Usage:
//   vlm_package_server.exe --package=<file> [--port=<n>] [--port-file=<file>]
//                          [--lifetime=<seconds>] [--stop-on-stdin-close]
// --port 0 (the default) takes any free port; --port-file receives the port once the
// server accepts connections. It stops on GET /admin/stop, after --lifetime seconds
// (default 600, so it can never hang a test run), or when its standard input closes if
// asked to. GET /admin/serve?file=<name> switches to another file of the package's folder.
// Each request is logged on standard output.
#include <windows.h>

#include <chrono>
#include <mutex>
#include <string>

#include "PackageHttpServer.h"
#include "PackageStore.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace {

struct Options {
    std::wstring package;
    int port = 0;
    std::wstring portFile;
    unsigned lifetimeSeconds = 600;
    bool stopOnStdinClose = false;
};

class Console {
public:
    void Line(const std::string& text)
    {
        const std::string line = text + "\r\n";
        std::lock_guard<std::mutex> lock(m_mutex);
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    void Line(const std::wstring& text) { Line(Utils::WideToMultiByte(text, CP_UTF8)); }

private:
    std::mutex m_mutex;
};

bool ParseNumber(const std::wstring& text, unsigned& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return false;
    }
    value = static_cast<unsigned>(std::stoul(text));
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options, std::wstring& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        const std::size_t equals = argument.find(L'=');
        const std::wstring key = argument.substr(0, equals);
        const std::wstring value = equals == std::wstring::npos ? std::wstring() : argument.substr(equals + 1);
        unsigned number = 0;
        if (key == L"--package") {
            options.package = value;
        } else if (key == L"--port" && ParseNumber(value, number) && number <= 65535) {
            options.port = static_cast<int>(number);
        } else if (key == L"--port-file") {
            options.portFile = value;
        } else if (key == L"--lifetime" && ParseNumber(value, number) && number > 0) {
            options.lifetimeSeconds = number;
        } else if (key == L"--stop-on-stdin-close") {
            options.stopOnStdinClose = true;
        } else {
            error = L"unknown or invalid option: " + argument;
            return false;
        }
    }
    if (options.package.empty()) {
        error = L"--package=<file> is required";
        return false;
    }
    return true;
}

// Written under another name first, so a reader never sees a half-written port.
bool WritePortFile(const std::wstring& path, int port)
{
    const std::wstring temporary = path + L".tmp";
    {
        Utils::UniqueFileHandle file(
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::string text = std::to_string(port) + "\n";
        DWORD written = 0;
        if (!file || !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
            return false;
        }
    }
    return ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool StdinClosed()
{
    DWORD available = 0;
    return !::PeekNamedPipe(::GetStdHandle(STD_INPUT_HANDLE), nullptr, 0, nullptr, &available, nullptr)
        && ::GetLastError() == ERROR_BROKEN_PIPE;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Console console;
    Options options;
    std::wstring error;
    if (!ParseOptions(argc, argv, options, error)) {
        console.Line(error);
        console.Line(L"usage: vlm_package_server.exe --package=<file> [--port=<n>] [--port-file=<file>] "
                     L"[--lifetime=<seconds>] [--stop-on-stdin-close]");
        return 2;
    }

    PackageServer::PackageStore store;
    if (!store.Load(options.package, error)) {
        console.Line(error);
        return 1;
    }
    PackageServer::PackageHttpServer server(store, [&console](const std::string& line) { console.Line(line); });
    if (!server.Start(options.port)) {
        console.Line("cannot listen on 127.0.0.1:" + std::to_string(options.port));
        return 1;
    }
    const std::string origin = "http://127.0.0.1:" + std::to_string(server.Port());
    const auto package = store.Current();
    console.Line("listening on " + origin);
    console.Line(L"package " + package->path + L" (" + std::to_wstring(package->bytes->size()) + L" bytes)");
    console.Line("download " + origin + "/redirect/ver1/quorvel/download_silent/1.0/installer/123456");
    console.Line("served at " + origin + package->UrlPath());
    if (!options.portFile.empty() && !WritePortFile(options.portFile, server.Port())) {
        console.Line(L"cannot write the port file " + options.portFile);
        return 1;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    std::string reason = "lifetime over";
    while (std::chrono::steady_clock::now() < deadline) {
        if (server.WaitForStopRequest(200)) {
            reason = "stop requested";
            break;
        }
        if (options.stopOnStdinClose && StdinClosed()) {
            reason = "standard input closed";
            break;
        }
    }
    server.Stop();
    console.Line("stopped: " + reason);
    return 0;
}
