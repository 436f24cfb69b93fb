#include "support/UnixServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace TestSupport {
namespace {

struct WinsockSession {
    WinsockSession()
    {
        WSADATA data {};
        ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession()
    {
        if (ok) {
            ::WSACleanup();
        }
    }
    bool ok = false;
};

struct Socket {
    explicit Socket(SOCKET s)
        : s(s)
    {
    }
    ~Socket()
    {
        if (s != INVALID_SOCKET) {
            ::closesocket(s);
        }
    }
    SOCKET s;
};

sockaddr_in Loopback(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}

bool Accepts(int port)
{
    WinsockSession winsock;
    Socket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in address = Loopback(port);
    return socket.s != INVALID_SOCKET
        && ::connect(socket.s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

// Starts a Unix command line through /bin/sh; Wine runs it natively and gives no handle.
bool RunUnix(const std::string& script)
{
    std::wstring command = L"Z:\\bin\\sh -c \"";
    for (const char c : script) {
        command += static_cast<wchar_t>(c);
    }
    command += L"\"";
    STARTUPINFOW startup { sizeof(startup) };
    PROCESS_INFORMATION process {};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    // The handles Wine hands back for a program it runs natively are not the caller's to
    // close: one may already stand for another object of this process (seen: the registry's
    // cached HKEY_CURRENT_USER, after which every key under it failed to open).
    return true;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

int UnusedLoopbackPort()
{
    WinsockSession winsock;
    Socket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = Loopback(0);
    int size = sizeof(address);
    if (socket.s == INVALID_SOCKET || ::bind(socket.s, reinterpret_cast<sockaddr*>(&address), size) != 0
        || ::getsockname(socket.s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

UnixServer::UnixServer(const std::string& hint)
{
    static int serial = 0;
    const std::string name
        = "vlm-" + hint + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++serial);
    m_unixDir = "/tmp/" + name;
    m_dir = L"Z:\\tmp\\" + Wide(name);
    ::CreateDirectoryW(m_dir.c_str(), nullptr);
    m_port = UnusedLoopbackPort();
}

bool UnixServer::Start(const std::string& setup, const std::string& program)
{
    if (m_port == 0) {
        return false;
    }
    std::string script = "cd " + m_unixDir + " || exit 1; ";
    if (!setup.empty()) {
        script += "{ " + setup + "; } >/dev/null 2>&1 || exit 1; ";
    }
    RunUnix(script + "echo $$ > pid; exec timeout 60 " + program + " >/dev/null 2>&1");
    m_running = WaitUntil([this] { return Accepts(m_port); }, 5000);
    return m_running;
}

UnixServer::~UnixServer()
{
    const std::string pid = ReadFileBytes(m_dir + L"\\pid");
    if (!pid.empty() && pid.find_first_not_of("0123456789\n") == std::string::npos) {
        RunUnix("kill " + pid.substr(0, pid.find('\n')));
        WaitUntil([this] { return !Accepts(m_port); }, 3000);
    }
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW((m_dir + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ::DeleteFileW((m_dir + L"\\" + found.cFileName).c_str());
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(m_dir.c_str());
}

} // namespace TestSupport
