#include "DemoHelpers.h"

#include <cstdlib>
#include <memory>

#include "utils/FileSystem.h"
#include "utils/Text.h"

namespace DemoTest {

std::wstring PackagePath(const std::wstring& version)
{
    return TestSupport::BinDirectory() + L"\\VellumoraPackage-" + version + L".exe";
}

std::wstring InstallerCommandLine(const std::wstring& packagePath, const InstallArgs& args)
{
    std::wstring line = L"\"" + packagePath + L"\" /S -console=show -version=1.0.0";
    line += L" -adminact=false -authorizationact=false";
    line += std::wstring(L" -dsc=") + (args.dsc ? L"true" : L"false");
    line += std::wstring(L" -ssc=") + (args.ssc ? L"true" : L"false");
    if (!args.language.empty()) {
        line += L" -inslang=\"" + args.language + L"\"";
    }
    if (!args.instCmd.empty()) {
        line += L" " + args.instCmd;
    }
    if (!args.folder.empty()) {
        line += L" -instdir=\"" + args.folder + L"\" /D=" + args.folder;
    }
    return line;
}

TestSupport::ProcessResult RunPackage(const std::wstring& version, const InstallArgs& args)
{
    return TestSupport::RunProcess(InstallerCommandLine(PackagePath(version), args), 20000);
}

TestSupport::ProcessResult RunUninstaller(const std::wstring& folder, const std::wstring& extra)
{
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring copyFolder = std::wstring(temp) + L"~DemoUninstTest." + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(copyFolder.c_str(), nullptr);
    const std::wstring copy = copyFolder + L"\\TarvikQuill_un_asa.exe";
    if (!::CopyFileW((folder + L"\\uninst.ep").c_str(), copy.c_str(), FALSE)) {
        return {};
    }
    auto result = TestSupport::RunProcess(
        copy + L" /S " + extra + L"-adminact=false -authorizationact=false -console=show _?=" + folder, 20000);
    ::DeleteFileW(copy.c_str());
    ::RemoveDirectoryW(copyFolder.c_str());
    return result;
}

std::vector<std::string> Lines(const std::string& output)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string Value(const std::vector<std::string>& lines, const std::string& key)
{
    for (const auto& line : lines) {
        if (line.compare(0, key.size() + 1, key + "=") == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return "<absent>";
}

std::vector<double> ProgressValues(const std::vector<std::string>& lines)
{
    std::vector<double> values;
    for (const auto& line : lines) {
        if (line.compare(0, 9, "Progress=") == 0) {
            values.push_back(std::atof(line.c_str() + 9));
        }
    }
    return values;
}

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (const auto& line : lines) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

std::string Utf8(const std::wstring& text)
{
    return Utils::WideToMultiByte(text, CP_UTF8);
}

std::wstring FileVersion(const std::wstring& path)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<unsigned char> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())
        || !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) {
        return {};
    }
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS));
}

std::wstring IniValue(const std::wstring& path, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[260] = {};
    ::GetPrivateProfileStringW(section, key, L"<absent>", value, 260, path.c_str());
    return value;
}

bool Exists(const std::wstring& path)
{
    return Utils::PathExists(path);
}

FileLock::FileLock(const std::wstring& path)
    : m_file(::CreateFileW(
        path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
{
}

} // namespace DemoTest
