#pragma once

#include <string>

namespace TestSupport {

// A fresh folder under the temporary folder, removed with its contents at the end.
class TempDir {
public:
    explicit TempDir(const std::wstring& hint = L"vlm");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const noexcept { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

// Small file helpers for tests.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);

} // namespace TestSupport
