#include "utils/SystemProbes.h"

#include <netlistmgr.h>
#include <objbase.h>

#include <array>
#include <cstdio>
#include <vector>

#include "utils/Log.h"
#include "utils/Md5.h"
#include "utils/UniqueFile.h"
#include "utils/UniqueResource.h"

namespace Utils {
namespace {

template <typename Interface> struct ComPtrTraits {
    using Type = Interface*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { p->Release(); }
};

template <typename Function> Function LookUp(HMODULE module, const char* name)
{
    // GetProcAddress hands back a generic pointer that must be cast to the real signature.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

std::wstring VersionNameFromNumbers(DWORD major, DWORD minor, DWORD build, bool isServerR2)
{
    build &= 0xFFFF;
    if (major <= 4) {
        return L"XP-";
    }
    if (major == 5) {
        switch (minor) {
        case 0:
            return L"2K";
        case 1:
            return L"XP";
        case 2:
            return isServerR2 ? L"Server 2003 R2" : L"Server 2003";
        default:
            return L"XP+";
        }
    }
    if (major == 6) {
        switch (minor) {
        case 0:
            return L"Vista";
        case 1:
            return L"7";
        case 2:
            return L"8";
        case 3:
            return L"8.1";
        default:
            return L"8.1+";
        }
    }
    if (major == 10) {
        return minor == 0 ? L"10" : L"10+";
    }
    return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(build);
}

namespace {

// The system's own version numbers (not the compatibility ones); false without ntdll.
bool ReadNtVersion(DWORD& major, DWORD& minor, DWORD& build)
{
    major = minor = build = 0;
    UniqueModule ntdll(::LoadLibraryA("ntdll.dll"));
    if (!ntdll) {
        return false;
    }
    using GetNumbers = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    if (auto getNumbers = LookUp<GetNumbers>(ntdll.get(), "RtlGetNtVersionNumbers")) {
        getNumbers(&major, &minor, &build);
    }
    return true;
}

} // namespace

SystemVersionName GetSystemVersionName()
{
    SystemVersionName result { L"Windows", L"" };
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    if (!ReadNtVersion(major, minor, build)) {
        result.name = L"XP-";
        return result;
    }
    const bool serverR2 = major == 5 && minor == 2 && ::GetSystemMetrics(SM_SERVERR2) != 0;
    result.name = VersionNameFromNumbers(major, minor, build, serverR2);
    return result;
}

std::wstring DescribeSystem()
{
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    ReadNtVersion(major, minor, build);
    const SystemVersionName name = GetSystemVersionName();
    const bool is64 = sizeof(void*) == 8 || IsWow64();
    return name.family + L" " + name.name + L" (" + std::to_wstring(major) + L"." + std::to_wstring(minor) + L"."
        + std::to_wstring(build & 0xFFFF) + L"), " + (is64 ? L"64-bit" : L"32-bit");
}

bool IsWow64()
{
    BOOL result = FALSE;
    using IsWow64Process = BOOL(WINAPI*)(HANDLE, BOOL*);
    auto isWow64Process = LookUp<IsWow64Process>(::GetModuleHandleA("kernel32"), "IsWow64Process");
    if (!isWow64Process) {
        return false;
    }
    if (isWow64Process(::GetCurrentProcess(), &result)) {
        return result != FALSE;
    }
    SYSTEM_INFO info {};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64
        || info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

std::uint32_t NetworkStatusValue(std::uint32_t status, std::uint32_t connectivity)
{
    return status * 65536u + connectivity;
}

std::uint32_t CheckNetwork()
{
    std::uint32_t status = 0;
    NLM_CONNECTIVITY connectivity = NLM_CONNECTIVITY_DISCONNECTED;
    {
        UniqueResource<ComPtrTraits<INetworkListManager>> manager;
        const HRESULT created = ::CoCreateInstance(CLSID_NetworkListManager, nullptr, CLSCTX_ALL,
            IID_INetworkListManager, reinterpret_cast<void**>(manager.put()));
        if (SUCCEEDED(created) && manager) {
            manager.get()->GetConnectivity(&connectivity);
            if (connectivity == NLM_CONNECTIVITY_DISCONNECTED) {
                LOG(L"GetConnectivity %d", static_cast<int>(connectivity));
                status = 1;
            } else {
                VARIANT_BOOL connected = VARIANT_FALSE;
                manager.get()->IsConnectedToInternet(&connected);
                if (connected == VARIANT_FALSE) {
                    LOG(L"get_IsConnectedToInternet:%d", 0);
                    status = 2;
                }
            }
        } else {
            connectivity = NLM_CONNECTIVITY_DISCONNECTED;
        }
    }
    ::CoFreeUnusedLibraries();
    return NetworkStatusValue(status, static_cast<std::uint32_t>(connectivity));
}

std::wstring FormatGuidText(const GUID& guid)
{
    wchar_t buffer[50] = {};
    _snwprintf(buffer, 49, L"%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(guid.Data1),
        guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
        guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return buffer;
}

std::wstring CreateGuidText()
{
    GUID guid {};
    ::CoCreateGuid(&guid);
    return FormatGuidText(guid);
}

std::string FileMd5(const std::string& ansiPath)
{
    if (ansiPath.empty()) {
        return {};
    }
    UniqueFile file(std::fopen(ansiPath.c_str(), "rb"));
    if (!file) {
        return {};
    }
    Md5Stream md5;
    return md5.AddStream(file.get()) ? md5.Finish() : std::string();
}

} // namespace Utils
