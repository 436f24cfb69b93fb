#include "support/TempDir.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace TestSupport {

TempDir::TempDir(const std::wstring& hint)
{
    static std::atomic<unsigned> counter { 0 };
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring base = temp;
    if (!base.empty() && base.back() == L'\\') {
        base.pop_back();
    }
    for (;;) {
        m_path = base + L"\\" + hint + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_"
            + std::to_wstring(::GetTickCount()) + L"_" + std::to_wstring(counter++);
        if (::CreateDirectoryW(m_path.c_str(), nullptr)) {
            break;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(m_path), ignored);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace TestSupport
