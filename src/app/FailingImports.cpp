#include "app/FailingImports.h"

#include <windows.h>
#include <bcrypt.h>
#include <lm.h>
#include <oleacc.h>
#include <softpub.h>
#include <wincrypt.h>
#include <winhttp.h>
#include <wintrust.h>
#include <wtsapi32.h>

#include <algorithm>

namespace App {
namespace {

// A function of type Fn that does nothing but fail with Value.
template <typename Fn> struct StandIn;
template <typename R, typename... Args> struct StandIn<R(WINAPI*)(Args...)> {
    template <R Value> static R WINAPI Fail(Args...)
    {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return Value;
    }
};
template <typename... Args> struct StandIn<void(WINAPI*)(Args...)> {
    static void WINAPI Fail(Args...) { ::SetLastError(ERROR_MOD_NOT_FOUND); }
};

// NTSTATUS, NET_API_STATUS and HRESULT forms of "module not found".
constexpr NTSTATUS kStatusDllNotFound = static_cast<NTSTATUS>(0xC0000135L);
constexpr NET_API_STATUS kNetModNotFound = ERROR_MOD_NOT_FOUND;
constexpr LONG kHresultModNotFound = static_cast<LONG>(0x8007007EL);

struct Failing {
    const char* dll;
    const char* function;
    FARPROC standIn;
};

template <typename Fn> FARPROC AsFarProc(Fn function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

#define VLM_FAILS_WITH(dll, function, value)                                                                           \
    Failing(dll, #function, AsFarProc(&StandIn<decltype(&::function)>::template Fail<value>))
#define VLM_FAILS(dll, function) Failing(dll, #function, AsFarProc(&StandIn<decltype(&::function)>::Fail))

// Every function of these DLLs that the program (libcurl included) calls, with the value
// that means failure for it. One that is missing here stops the program when its DLL is
// missing: still closed, only less graceful.
const Failing kFailing[] = {
    VLM_FAILS_WITH("bcrypt.dll", BCryptOpenAlgorithmProvider, kStatusDllNotFound),
    VLM_FAILS_WITH("bcrypt.dll", BCryptCloseAlgorithmProvider, kStatusDllNotFound),
    VLM_FAILS_WITH("bcrypt.dll", BCryptCreateHash, kStatusDllNotFound),
    VLM_FAILS_WITH("bcrypt.dll", BCryptHashData, kStatusDllNotFound),
    VLM_FAILS_WITH("bcrypt.dll", BCryptFinishHash, kStatusDllNotFound),
    VLM_FAILS_WITH("bcrypt.dll", BCryptDestroyHash, kStatusDllNotFound),
    VLM_FAILS_WITH("bcrypt.dll", BCryptGenRandom, kStatusDllNotFound),

    VLM_FAILS_WITH("crypt32.dll", CertAddCertificateContextToStore, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CertCloseStore, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CertCreateCertificateChainEngine, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CertEnumCertificatesInStore, nullptr),
    VLM_FAILS_WITH("crypt32.dll", CertFindCertificateInStore, nullptr),
    VLM_FAILS_WITH("crypt32.dll", CertFindExtension, nullptr),
    VLM_FAILS("crypt32.dll", CertFreeCertificateChain),
    VLM_FAILS("crypt32.dll", CertFreeCertificateChainEngine),
    VLM_FAILS_WITH("crypt32.dll", CertFreeCertificateContext, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CertGetCertificateChain, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CertGetNameStringA, 0),
    VLM_FAILS_WITH("crypt32.dll", CertNameToStrW, 0),
    VLM_FAILS_WITH("crypt32.dll", CertOpenStore, nullptr),
    VLM_FAILS_WITH("crypt32.dll", CertVerifyCertificateChainPolicy, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CryptDecodeObjectEx, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CryptMsgClose, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CryptMsgGetParam, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CryptQueryObject, FALSE),
    VLM_FAILS_WITH("crypt32.dll", CryptStringToBinaryA, FALSE),
    VLM_FAILS_WITH("crypt32.dll", PFXImportCertStore, nullptr),

    VLM_FAILS_WITH("netapi32.dll", NetUserGetInfo, kNetModNotFound),
    VLM_FAILS_WITH("netapi32.dll", NetApiBufferFree, kNetModNotFound),

    VLM_FAILS_WITH("oleacc.dll", LresultFromObject, kHresultModNotFound),
    VLM_FAILS_WITH("oleacc.dll", CreateStdAccessibleObject, kHresultModNotFound),

    VLM_FAILS_WITH("winhttp.dll", WinHttpAddRequestHeaders, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpCloseHandle, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpConnect, nullptr),
    VLM_FAILS_WITH("winhttp.dll", WinHttpCrackUrl, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpGetIEProxyConfigForCurrentUser, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpGetProxyForUrl, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpOpen, nullptr),
    VLM_FAILS_WITH("winhttp.dll", WinHttpOpenRequest, nullptr),
    VLM_FAILS_WITH("winhttp.dll", WinHttpQueryAuthSchemes, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpQueryDataAvailable, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpQueryHeaders, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpReadData, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpReceiveResponse, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpSendRequest, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpSetCredentials, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpSetOption, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpSetTimeouts, FALSE),
    VLM_FAILS_WITH("winhttp.dll", WinHttpWriteData, FALSE),

    // Zero from WinVerifyTrust would mean "trusted".
    VLM_FAILS_WITH("wintrust.dll", WinVerifyTrust, kHresultModNotFound),
    VLM_FAILS_WITH("wintrust.dll", WTHelperProvDataFromStateData, nullptr),
    VLM_FAILS_WITH("wintrust.dll", WTHelperGetProvSignerFromChain, nullptr),

    VLM_FAILS_WITH("wtsapi32.dll", WTSQuerySessionInformationW, FALSE),
    VLM_FAILS("wtsapi32.dll", WTSFreeMemory),
};

#undef VLM_FAILS_WITH
#undef VLM_FAILS

} // namespace

FARPROC FailingImport(std::string_view dll, std::string_view function)
{
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (const Failing& failing : kFailing) {
        const std::string_view name = failing.dll;
        if (function == failing.function && dll.size() == name.size()
            && std::equal(dll.begin(), dll.end(), name.begin(), [&](char a, char b) { return lower(a) == b; })) {
            return failing.standIn;
        }
    }
    return nullptr;
}

} // namespace App
