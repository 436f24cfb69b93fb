#include "support/TinyProxy.h"

#include <windows.h>

#include <sstream>

#include "support/TempDir.h"
#include "utils/UniqueResource.h"

namespace TestSupport {
namespace {

constexpr wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kConnectionValue[] = L"DefaultConnectionSettings";
constexpr wchar_t kMachineValue[] = L"WinHttpSettings";

void AppendCounted(std::vector<BYTE>& blob, const std::wstring& text)
{
    const std::string narrow(text.begin(), text.end());
    const DWORD length = static_cast<DWORD>(narrow.size());
    blob.insert(blob.end(), reinterpret_cast<const BYTE*>(&length), reinterpret_cast<const BYTE*>(&length) + 4);
    blob.insert(blob.end(), narrow.begin(), narrow.end());
}

void AppendWord(std::vector<BYTE>& blob, DWORD word)
{
    blob.insert(blob.end(), reinterpret_cast<const BYTE*>(&word), reinterpret_cast<const BYTE*>(&word) + 4);
}

Utils::UniqueRegKey OpenKey(const wchar_t* path, HKEY root = HKEY_CURRENT_USER)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return Utils::UniqueRegKey();
    }
    return Utils::UniqueRegKey(key);
}

bool SetValue(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, std::size_t bytes,
    HKEY root = HKEY_CURRENT_USER)
{
    Utils::UniqueRegKey key = OpenKey(path, root);
    return key
        && ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes))
        == ERROR_SUCCESS;
}

void DeleteValue(const wchar_t* path, const wchar_t* name, HKEY root = HKEY_CURRENT_USER)
{
    if (Utils::UniqueRegKey key = OpenKey(path, root)) {
        ::RegDeleteValueW(key.get(), name);
    }
}

// The binary value a key holds, if any.
bool ReadBinary(const wchar_t* path, const wchar_t* name, HKEY root, std::vector<unsigned char>& value)
{
    Utils::UniqueRegKey key = OpenKey(path, root);
    DWORD bytes = 0;
    if (!key || ::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return false;
    }
    value.resize(bytes);
    return ::RegQueryValueExW(key.get(), name, nullptr, nullptr, value.data(), &bytes) == ERROR_SUCCESS;
}

} // namespace

TinyProxy::TinyProxy(const Options& options)
    : m_server("tinyproxy")
{
    std::ostringstream conf;
    conf << "Port " << m_server.Port() << "\nListen 127.0.0.1\nTimeout 15\nMaxClients 20\nLogLevel Info\n"
         << "LogFile \"" << m_server.UnixDir() << "/tinyproxy.log\"\n"
         << "Allow " << (options.refuseLoopback ? "192.0.2.1" : "127.0.0.1") << "\n";
    if (!options.basicAuthUser.empty()) {
        conf << "BasicAuth " << options.basicAuthUser << " " << options.basicAuthPassword << "\n";
    }
    if (WriteFileBytes(m_server.Dir() + L"\\tinyproxy.conf", conf.str())) {
        m_server.Start("", "/usr/bin/tinyproxy -d -c tinyproxy.conf");
    }
}

TinyProxy::~TinyProxy() = default;

std::wstring TinyProxy::HostPort() const
{
    return L"localhost:" + std::to_wstring(m_server.Port());
}

std::vector<std::string> TinyProxy::Requests() const
{
    std::vector<std::string> requests;
    std::istringstream log(ReadFileBytes(m_server.Dir() + L"\\tinyproxy.log"));
    const std::string marker = "]: Request (file descriptor ";
    for (std::string line; std::getline(log, line);) {
        const auto at = line.find(marker);
        const auto colon = at == std::string::npos ? at : line.find("): ", at);
        if (colon != std::string::npos) {
            requests.push_back(line.substr(colon + 3));
        }
    }
    return requests;
}

std::vector<std::string> TinyProxy::RequestsWith(const std::string& fragment) const
{
    std::vector<std::string> matching;
    for (auto& request : Requests()) {
        if (request.find(fragment) != std::string::npos) {
            matching.push_back(std::move(request));
        }
    }
    return matching;
}

SystemProxyConfig::SystemProxyConfig(const Values& values)
{
    m_hadPrevious = ReadBinary(kConnections, kConnectionValue, HKEY_CURRENT_USER, m_previous);
    std::vector<BYTE> blob;
    const DWORD flags
        = 1 | (values.proxy.empty() ? 0 : 2) | (values.scriptUrl.empty() ? 0 : 4) | (values.autoDetect ? 8 : 0);
    static DWORD counter = 0x100;
    for (const DWORD word : { DWORD { 0x46 }, ++counter, flags }) {
        AppendWord(blob, word);
    }
    AppendCounted(blob, values.proxy);
    AppendCounted(blob, values.bypass);
    AppendCounted(blob, values.scriptUrl);
    blob.insert(blob.end(), 32, 0);
    m_written = SetValue(kConnections, kConnectionValue, REG_BINARY, blob.data(), blob.size());
    const DWORD enable = values.proxy.empty() ? 0 : 1;
    SetValue(kInternetSettings, L"ProxyEnable", REG_DWORD, &enable, sizeof(enable));
    SetValue(
        kInternetSettings, L"ProxyServer", REG_SZ, values.proxy.c_str(), (values.proxy.size() + 1) * sizeof(wchar_t));
}

SystemProxyConfig::~SystemProxyConfig()
{
    if (m_hadPrevious) {
        SetValue(kConnections, kConnectionValue, REG_BINARY, m_previous.data(), m_previous.size());
    } else {
        DeleteValue(kConnections, kConnectionValue);
    }
    const DWORD off = 0;
    SetValue(kInternetSettings, L"ProxyEnable", REG_DWORD, &off, sizeof(off));
    DeleteValue(kInternetSettings, L"ProxyServer");
}

MachineProxyConfig::MachineProxyConfig(const std::wstring& proxy, const std::wstring& bypass)
{
    m_hadPrevious = ReadBinary(kConnections, kMachineValue, HKEY_LOCAL_MACHINE, m_previous);
    // Size of the header, a counter, flags (2: a named proxy), then length-prefixed ANSI
    // proxy and bypass texts.
    std::vector<BYTE> blob;
    AppendWord(blob, 0x18);
    AppendWord(blob, 0);
    AppendWord(blob, 2);
    AppendCounted(blob, proxy);
    AppendCounted(blob, bypass);
    m_written = SetValue(kConnections, kMachineValue, REG_BINARY, blob.data(), blob.size(), HKEY_LOCAL_MACHINE);
}

MachineProxyConfig::~MachineProxyConfig()
{
    if (m_hadPrevious) {
        SetValue(kConnections, kMachineValue, REG_BINARY, m_previous.data(), m_previous.size(), HKEY_LOCAL_MACHINE);
    } else {
        DeleteValue(kConnections, kMachineValue, HKEY_LOCAL_MACHINE);
    }
}

} // namespace TestSupport
