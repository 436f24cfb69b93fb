#pragma once

#include <windows.h>

#include <string>

namespace Demo {

// COM for the calling thread, for as long as this object lives.
class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool ok() const noexcept { return SUCCEEDED(m_result); }

private:
    HRESULT m_result;
};

// Creates (or replaces) the shortcut file linkPath pointing at target; needs COM.
HRESULT CreateShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& description);

// The target of a shortcut file; empty when it cannot be read. Needs COM.
std::wstring ShortcutTarget(const std::wstring& linkPath);

// The user's desktop folder and quick-launch folder; empty when unknown.
std::wstring DesktopFolder();
std::wstring QuickLaunchFolder();

inline constexpr wchar_t kShortcutName[] = L"Vellumora.lnk";

} // namespace Demo
