#include "ServerHarness.h"

#include <winsock2.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "support/ProcessRunner.h"
#include "support/TempDir.h"

namespace DemoTest {
namespace {

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Type s) noexcept { ::closesocket(s); }
};
using UniqueSocket = Utils::UniqueResource<SocketTraits>;

class Winsock {
public:
    Winsock() { m_ok = ::WSAStartup(MAKEWORD(2, 2), &m_data) == 0; }
    ~Winsock()
    {
        if (m_ok) {
            ::WSACleanup();
        }
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;

private:
    WSADATA m_data {};
    bool m_ok = false;
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

HttpReply ParseReply(const std::string& raw, bool head)
{
    HttpReply reply;
    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.compare(0, 5, "HTTP/") != 0 || end == std::string::npos) {
        return reply;
    }
    reply.received = true;
    reply.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
    std::size_t line = raw.find("\r\n") + 2;
    while (line < end) {
        const std::size_t next = raw.find("\r\n", line);
        const std::string header = raw.substr(line, next - line);
        const std::size_t colon = header.find(':');
        if (colon != std::string::npos) {
            std::string value = header.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            reply.headers[Lower(header.substr(0, colon))] = value;
        }
        line = next + 2;
    }
    if (!head) {
        reply.body = raw.substr(end + 4);
    }
    return reply;
}

} // namespace

std::string HttpReply::Header(const std::string& name) const
{
    const auto found = headers.find(Lower(name));
    return found == headers.end() ? std::string("<absent>") : found->second;
}

HttpReply HttpRequest(int port, const std::string& method, const std::string& path, const std::string& range)
{
    Winsock winsock;
    UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket) {
        return {};
    }
    const DWORD timeoutMs = 5000;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        return {};
    }
    std::string request
        = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n";
    if (!range.empty()) {
        request += "Range: " + range + "\r\n";
    }
    request += "\r\n";
    if (::send(socket.get(), request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) {
        return {};
    }
    std::string raw;
    char buffer[16384];
    for (;;) {
        const int got = ::recv(socket.get(), buffer, sizeof(buffer), 0);
        if (got <= 0) {
            break; // end of the response, or the 5 s limit
        }
        raw.append(buffer, static_cast<std::size_t>(got));
    }
    return ParseReply(raw, method == "HEAD");
}

ServerProcess::ServerProcess(const std::wstring& arguments)
{
    TestSupport::TempDir reserve(L"demo_server");
    m_folder = reserve.Path() + L"_files";
    ::CreateDirectoryW(m_folder.c_str(), nullptr);
    m_portFile = m_folder + L"\\port.txt";
    m_outputFile = m_folder + L"\\output.txt";

    SECURITY_ATTRIBUTES inherit { sizeof(inherit), nullptr, TRUE };
    Utils::UniqueFileHandle output(::CreateFileW(m_outputFile.c_str(), GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Utils::UniqueHandle inputRead;
    if (!output || !::CreatePipe(inputRead.put(), m_input.put(), &inherit, 0)) {
        return;
    }
    ::SetHandleInformation(m_input.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead.get();
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    std::wstring commandLine = TestSupport::QuoteArgument(TestSupport::BinDirectory() + L"\\vlm_package_server.exe")
        + L" --port-file=" + TestSupport::QuoteArgument(m_portFile) + L" " + arguments;
    PROCESS_INFORMATION info {};
    if (::CreateProcessW(
            nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        m_process.reset(info.hProcess);
        Utils::UniqueHandle thread(info.hThread);
    }
}

ServerProcess::~ServerProcess()
{
    if (m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT) {
        if (m_port > 0) {
            HttpRequest(m_port, "GET", "/admin/stop");
        }
        if (::WaitForSingleObject(m_process.get(), 5000) != WAIT_OBJECT_0) {
            ::TerminateProcess(m_process.get(), 0xDEAD);
            ::WaitForSingleObject(m_process.get(), 5000);
        }
    }
    m_process.reset();
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(m_folder), ignored);
}

int ServerProcess::WaitForPort(DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (m_process) {
        const std::string text = TestSupport::ReadFileBytes(m_portFile);
        if (!text.empty()) {
            m_port = std::atoi(text.c_str());
            return m_port;
        }
        // Waiting on the process both paces the loop and notices a server that died.
        if (::GetTickCount64() >= deadline || ::WaitForSingleObject(m_process.get(), 20) == WAIT_OBJECT_0) {
            break;
        }
    }
    return 0;
}

bool ServerProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!m_process || ::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    if (exitCode) {
        ::GetExitCodeProcess(m_process.get(), exitCode);
    }
    return true;
}

std::string ServerProcess::Output() const
{
    return TestSupport::ReadFileBytes(m_outputFile);
}

} // namespace DemoTest
