#pragma once

// The build gives VLM_DEMO_VERSION_MAJOR and VLM_DEMO_VERSION_MINOR; one source, two versions.
#define VLM_DEMO_STRINGIFY2(x) #x
#define VLM_DEMO_STRINGIFY(x) VLM_DEMO_STRINGIFY2(x)
#define VLM_DEMO_VERSION_TEXT VLM_DEMO_STRINGIFY(VLM_DEMO_VERSION_MAJOR) "." VLM_DEMO_STRINGIFY(VLM_DEMO_VERSION_MINOR)

namespace Demo {
inline constexpr wchar_t kVersion[] = L"" VLM_DEMO_VERSION_TEXT;
inline constexpr wchar_t kProductExe[] = L"Quorvel.exe";
inline constexpr wchar_t kUninstallerName[] = L"uninst.ep";
inline constexpr wchar_t kConfigName[] = L"config.ini";
} // namespace Demo
