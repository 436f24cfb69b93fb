#include "download/AutoProxyLookup.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "download/WinHttpHandles.h"
#include "utils/Log.h"
#include "utils/Redact.h"
#include "utils/Thread.h"

namespace Download {
namespace {

// Asked of the system for fetching a script (Wine ignores it).
constexpr int kScriptTimeoutMs = 10000;
// How often a waiting caller looks at its stop signal.
constexpr auto kStopCheck = std::chrono::milliseconds(100);

struct Lookup {
    std::wstring url;
    std::wstring scriptUrl;
    bool autoDetect = false;
    std::mutex mutex;
    std::condition_variable done;
    std::optional<AutoProxyAnswer> answer;
};

AutoProxyAnswer Ask(const Lookup& lookup)
{
    AutoProxyAnswer answer;
    UniqueWinHttp session(::WinHttpOpen(
        L"VellumoraInstaller", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        answer.error = ::GetLastError();
        return answer;
    }
    ::WinHttpSetTimeouts(session.get(), kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs);
    WINHTTP_AUTOPROXY_OPTIONS options {};
    if (!lookup.scriptUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = lookup.scriptUrl.c_str();
    }
    if (lookup.autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info {};
    if (!::WinHttpGetProxyForUrl(session.get(), lookup.url.c_str(), &options, &info)) {
        answer.error = ::GetLastError();
        return answer;
    }
    UniqueGlobalString proxy(info.lpszProxy);
    UniqueGlobalString bypass(info.lpszProxyBypass);
    answer.answered = true;
    answer.direct = info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY || !proxy || !*proxy.get();
    answer.proxy = proxy ? proxy.get() : L"";
    answer.bypass = bypass ? bypass.get() : L"";
    return answer;
}

// Owns the look-up threads. It lives as long as the process: a look-up that a stop
// abandoned may outlast every downloader, and is joined here once it has ended; one still
// blocked in the system when the process exits ends with it.
class LookupThreads {
public:
    bool Launch(Utils::Thread::Job job)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::erase_if(m_threads, [](const std::unique_ptr<Utils::Thread>& thread) {
            if (::WaitForSingleObject(thread->Handle(), 0) != WAIT_OBJECT_0) {
                return false;
            }
            thread->Join();
            return true;
        });
        auto thread = std::make_unique<Utils::Thread>(nullptr, L"ProxyLookup", std::move(job));
        if (!thread->Handle() || !thread->Resume()) {
            return false;
        }
        m_threads.push_back(std::move(thread));
        return true;
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Utils::Thread>> m_threads;
};

LookupThreads& Threads()
{
    static auto* threads = new LookupThreads; // never destroyed, see above
    return *threads;
}

} // namespace

std::optional<AutoProxyAnswer> LookUpAutoProxy(
    const std::wstring& url, const std::wstring& scriptUrl, bool autoDetect, const StopSignal* stop)
{
    if (stop && stop->Requested()) {
        return std::nullopt;
    }
    LOG(L"asking automatic proxy configuration about %s\r\n", Utils::RedactUrl(url).c_str());
    auto lookup = std::make_shared<Lookup>();
    lookup->url = url;
    lookup->scriptUrl = scriptUrl;
    lookup->autoDetect = autoDetect;
    const bool launched = Threads().Launch([lookup](void*) -> unsigned {
        AutoProxyAnswer answer = Ask(*lookup);
        {
            std::lock_guard<std::mutex> lock(lookup->mutex);
            lookup->answer = std::move(answer);
        }
        lookup->done.notify_all();
        return 0;
    });
    if (!launched) {
        AutoProxyAnswer failed;
        failed.error = ERROR_NOT_ENOUGH_MEMORY;
        return failed;
    }
    // Neither system bounds the look-up for us: a script server that never answers must not
    // hold the download at 0 % for ever. Past the limit the look-up counts as failed and the
    // next source decides; the abandoned thread ends on its own.
    const ULONGLONG deadline = ::GetTickCount64() + kAutoProxyLookupLimitMs;
    std::unique_lock<std::mutex> lock(lookup->mutex);
    while (!lookup->answer) {
        if (stop && stop->Requested()) {
            return std::nullopt;
        }
        if (::GetTickCount64() >= deadline) {
            LOG(L"automatic proxy configuration gave no answer within %lu s\r\n",
                static_cast<unsigned long>(kAutoProxyLookupLimitMs / 1000));
            AutoProxyAnswer late;
            late.error = ERROR_TIMEOUT;
            return late;
        }
        lookup->done.wait_for(lock, kStopCheck);
    }
    return lookup->answer;
}

} // namespace Download
