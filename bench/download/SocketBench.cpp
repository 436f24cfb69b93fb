#include <winsock2.h>
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "download/WinHttpHandles.h"
#include "utils/Md5.h"
#include "utils/UniqueFile.h"
#include "utils/UniqueResource.h"

// The least any downloader in this process model can cost: one plain HTTP GET over one Winsock
// connection, the body received into one buffer and, depending on the mode, dropped, written to a
// file or hashed. Compared with our downloaders, it shows how much of their time Wine takes.

namespace {

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Type s) noexcept { ::closesocket(s); }
};
using UniqueSocket = Utils::UniqueResource<SocketTraits>;

struct WinsockSession {
    bool ok = false;
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
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

enum class Sink { Drop, WriteFile, Fwrite, Md5, WriteFileMd5 };

// Where the body goes, the same for the Winsock loop and for libcurl.
struct Consumer {
    Sink sink = Sink::Drop;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::FILE* stream = nullptr;
    Utils::Md5Stream* digest = nullptr;
    long long bytes = 0;
    long long calls = 0;

    bool Consume(const char* data, size_t size)
    {
        bytes += static_cast<long long>(size);
        ++calls;
        if (sink == Sink::WriteFile || sink == Sink::WriteFileMd5) {
            DWORD written = 0;
            if (!::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) || written != size) {
                return false;
            }
        } else if (sink == Sink::Fwrite && std::fwrite(data, 1, size, stream) != size) {
            return false;
        }
        if (sink == Sink::Md5 || sink == Sink::WriteFileMd5) {
            digest->Add(data, size);
        }
        return true;
    }
};

size_t CurlWrite(char* data, size_t size, size_t count, void* consumer)
{
    return static_cast<Consumer*>(consumer)->Consume(data, size * count) ? size * count : 0;
}

struct CurlEasyTraits {
    using Type = CURL*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::curl_easy_cleanup(h); }
};

// The same GET through a bare libcurl easy handle: libcurl's own cost under Wine.
bool CurlGet(u_short port, const char* path, long bufferSize, Consumer* consumer)
{
    ::curl_global_init(CURL_GLOBAL_ALL);
    Utils::UniqueResource<CurlEasyTraits> easy(::curl_easy_init());
    if (!easy) {
        return false;
    }
    char url[2100] = {};
    std::snprintf(url, sizeof(url), "http://127.0.0.1:%u%s", static_cast<unsigned>(port), path);
    ::curl_easy_setopt(easy.get(), CURLOPT_URL, url);
    ::curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &CurlWrite);
    ::curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, consumer);
    ::curl_easy_setopt(easy.get(), CURLOPT_BUFFERSIZE, bufferSize);
    const CURLcode result = ::curl_easy_perform(easy.get());
    if (result != CURLE_OK) {
        std::fwprintf(stderr, L"libcurl failed: %hs\n", ::curl_easy_strerror(result));
    }
    return result == CURLE_OK;
}

// The same GET through a bare synchronous WinHTTP request, read with large WinHttpReadData
// calls into one buffer: the ceiling of any downloader on the system's HTTP stack.
bool WinHttpGet(u_short port, const wchar_t* path, DWORD bufferSize, Consumer* consumer)
{
    using Download::UniqueWinHttp;
    UniqueWinHttp session(::WinHttpOpen(
        L"vlm_socket_bench", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    UniqueWinHttp connection(session ? ::WinHttpConnect(session.get(), L"127.0.0.1", port, 0) : nullptr);
    UniqueWinHttp request(connection ? ::WinHttpOpenRequest(connection.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                              WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                     : nullptr);
    if (!request
        || !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)
        || !::WinHttpReceiveResponse(request.get(), nullptr)) {
        std::fwprintf(stderr, L"WinHTTP request failed: %lu\n", ::GetLastError());
        return false;
    }
    std::vector<char> buffer(bufferSize);
    for (;;) {
        DWORD got = 0;
        if (!::WinHttpReadData(request.get(), buffer.data(), bufferSize, &got)) {
            std::fwprintf(stderr, L"WinHttpReadData failed: %lu\n", ::GetLastError());
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!consumer->Consume(buffer.data(), got)) {
            return false;
        }
    }
}

bool ParseSink(const wchar_t* name, Sink* sink)
{
    static const struct {
        const wchar_t* name;
        Sink sink;
    } kSinks[] = { { L"recv", Sink::Drop }, { L"writefile", Sink::WriteFile }, { L"fwrite", Sink::Fwrite },
        { L"md5", Sink::Md5 }, { L"writefile+md5", Sink::WriteFileMd5 } };
    for (const auto& entry : kSinks) {
        if (std::wcscmp(name, entry.name) == 0) {
            *sink = entry.sink;
            return true;
        }
    }
    return false;
}

bool SendAll(SOCKET s, const std::string& text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        const int n = ::send(s, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

// vlm_socket_bench <port> <path> [curl-|winhttp-]<recv|writefile|fwrite|md5|writefile+md5> [buffer KiB]
//                  [local path]
// With "curl-" the GET goes through a bare libcurl handle, with "winhttp-" through a bare WinHTTP
// request, instead of the Winsock loop. Prints the seconds from connecting to the last body byte
// (file closed, digest finished) and the bytes.
int wmain(int argc, wchar_t** argv)
{
    Consumer consumer;
    const bool viaCurl = argc >= 4 && std::wcsncmp(argv[3], L"curl-", 5) == 0;
    const bool viaWinHttp = argc >= 4 && std::wcsncmp(argv[3], L"winhttp-", 8) == 0;
    const wchar_t* sinkName = argc >= 4 ? argv[3] + (viaCurl ? 5 : viaWinHttp ? 8 : 0) : L"";
    if (argc < 4 || !ParseSink(sinkName, &consumer.sink)) {
        std::fwprintf(stderr,
            L"usage: vlm_socket_bench <port> <path> [curl-|winhttp-]<recv|writefile|fwrite|md5|writefile+md5> "
            L"[buffer KiB] [local path]\n");
        return 2;
    }
    const Sink sink = consumer.sink;
    const auto port = static_cast<u_short>(_wtoi(argv[1]));
    char path[2048] = {};
    std::snprintf(path, sizeof(path), "%ls", argv[2]);
    const size_t bufferSize = static_cast<size_t>(argc > 4 ? _wtoi(argv[4]) : 1024) * 1024;
    const bool toFile = sink == Sink::WriteFile || sink == Sink::Fwrite || sink == Sink::WriteFileMd5;
    if (toFile && argc < 6) {
        std::fwprintf(stderr, L"this mode needs a local path\n");
        return 2;
    }

    WinsockSession winsock;
    if (!winsock.ok) {
        return 1;
    }
    const ULONGLONG began = ::GetTickCount64();
    Utils::UniqueFileHandle file;
    Utils::UniqueFile stream;
    if (sink == Sink::WriteFile || sink == Sink::WriteFileMd5) {
        file.reset(::CreateFileW(argv[5], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return 1;
        }
    } else if (sink == Sink::Fwrite) {
        stream.reset(::_wfopen(argv[5], L"wb"));
        if (!stream) {
            return 1;
        }
    }
    Utils::Md5Stream digest;
    consumer.file = file.get();
    consumer.stream = stream.get();
    consumer.digest = &digest;

    if (viaCurl) {
        if (!CurlGet(port, path, static_cast<long>(bufferSize), &consumer)) {
            return 1;
        }
    } else if (viaWinHttp) {
        if (!WinHttpGet(port, argv[2], static_cast<DWORD>(bufferSize), &consumer)) {
            return 1;
        }
    } else {
        UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = ::htons(port);
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        if (!s || ::connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            std::fwprintf(stderr, L"connect failed: %d\n", ::WSAGetLastError());
            return 1;
        }
        if (!SendAll(s.get(),
                std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: identity\r\n"
                    + "Connection: close\r\n\r\n")) {
            return 1;
        }
        // The header arrives with the start of the body; whatever follows its end is body.
        std::vector<char> buffer(bufferSize);
        std::string header;
        bool inBody = false;
        for (;;) {
            const int n = ::recv(s.get(), buffer.data(), static_cast<int>(buffer.size()), 0);
            if (n < 0) {
                std::fwprintf(stderr, L"recv failed: %d\n", ::WSAGetLastError());
                return 1;
            }
            if (n == 0) {
                break;
            }
            const char* data = buffer.data();
            size_t size = static_cast<size_t>(n);
            if (!inBody) {
                header.append(data, size);
                const size_t end = header.find("\r\n\r\n");
                if (end == std::string::npos) {
                    continue;
                }
                const size_t already = header.size() - (end + 4);
                data += size - already;
                size = already;
                inBody = true;
            }
            if (!consumer.Consume(data, size)) {
                return 1;
            }
        }
    }
    file.reset();
    stream.reset();
    const std::string md5 = sink == Sink::Md5 || sink == Sink::WriteFileMd5 ? digest.Finish() : std::string("-");
    const double seconds = static_cast<double>(::GetTickCount64() - began) / 1000.0;
    PROCESS_MEMORY_COUNTERS memory {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    std::wprintf(L"seconds=%.3f bytes=%lld pieces=%lld md5=%hs peak_working_set=%llu\n", seconds, consumer.bytes,
        consumer.calls, md5.c_str(), static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return 0;
}
