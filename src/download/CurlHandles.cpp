#include "download/CurlHandles.h"

#include <windows.h>

#include <mutex>

#include "utils/Text.h"

namespace Download {

UniqueCurl NewCurlHandle()
{
    static std::once_flag once;
    std::call_once(once, [] { ::curl_global_init(CURL_GLOBAL_ALL); });
    return UniqueCurl(::curl_easy_init());
}

bool AppendHeader(UniqueCurlList& list, const char* line)
{
    curl_slist* grown = ::curl_slist_append(list.get(), line);
    if (!grown) {
        return false;
    }
    [[maybe_unused]] curl_slist* previous = list.release();
    list.reset(grown);
    return true;
}

CURLcode RequireVerifiedTls(CURL* handle)
{
    CURLcode result = ::curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    if (result == CURLE_OK) {
        result = ::curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    }
    return result;
}

std::string NarrowUrl(const std::wstring& url)
{
    if (url.rfind(L"file:///", 0) == 0) {
        return Utils::WideToMultiByte(url, CP_ACP);
    }
    return Utils::WideToMultiByte(url, CP_UTF8);
}

const char* CurlErrorText(int code)
{
    return ::curl_easy_strerror(static_cast<CURLcode>(code));
}

} // namespace Download
