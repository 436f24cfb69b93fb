// The demo product package. Run by the installer as
//   <package> /S -console=show -version=... -adminact=... -authorizationact=... -dsc=... -ssc=...
//             [-inslang="..."] [extra] -instdir="<folder>" /D=<folder>
// it installs Quorvel.exe, its uninstaller and config.ini into the folder, makes the shortcuts
// asked for, records what it installed, and reports every step on standard output.
//
// Extra arguments a test or the InstCmd setting may add:
//   -stepms=<n>       pause after each output line in milliseconds (default 150)
//   -fail=<reason>    fail on purpose with that reason
//   -startup=<style>  the StartupStyle reported (default UserStartup)
//   -isoverride=<v>   writes IsOverride=<v> in section Uninstall of the folder's set.ini, the
//                     installer's state file, which decides whether a reinstall into the same
//                     folder removes this version first
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "DemoVersion.h"
#include "InstallRecord.h"
#include "Payload.h"
#include "PayloadIds.h"
#include "ProtocolWriter.h"
#include "Shortcut.h"
#include "utils/FileSystem.h"

namespace {

constexpr DWORD kDefaultStepMs = 150;

struct PayloadFile {
    int id;
    const wchar_t* name;
};

constexpr PayloadFile kPayload[] = {
    { VLM_PAYLOAD_PRODUCT, Demo::kProductExe },
    { VLM_PAYLOAD_UNINSTALLER, Demo::kUninstallerName },
    { VLM_PAYLOAD_CONFIG, Demo::kConfigName },
};

std::wstring DefaultFolder()
{
    wchar_t base[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, base))
        && FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, base))) {
        return {};
    }
    return std::wstring(base) + L"\\TarvikQuill";
}

std::wstring ErrorSuffix(DWORD error)
{
    return L"（错误 " + std::to_wstring(error) + L"）";
}

class PackageRun {
public:
    explicit PackageRun(const Demo::CommandLine& commandLine)
        : m_commandLine(commandLine)
        , m_out(Demo::StepMsFromText(commandLine.Get(L"-stepms"), kDefaultStepMs))
    {
    }

    bool Run()
    {
        m_out.AnnounceUtf8();
        m_out.Progress(0.05);
        if (m_commandLine.Has(L"-fail")) {
            const std::wstring reason = m_commandLine.Get(L"-fail");
            return Fail(reason.empty() ? L"安装包按要求失败" : reason);
        }

        // "/D=" always wins: it is what the user chose; -instdir only repeats it.
        std::wstring folder = m_commandLine.Tail() ? *m_commandLine.Tail() : m_commandLine.Get(L"-instdir");
        folder = Demo::NormalizeFolder(folder);
        if (folder.empty()) {
            folder = DefaultFolder();
        }
        if (folder.empty() || !Utils::EnsureDirectoryPath(folder)) {
            return Fail(L"无法创建安装目录：" + folder);
        }
        m_folder = folder;
        m_out.Line(L"InstPath", m_folder);
        m_out.Progress(0.15);

        double progress = 0.15;
        for (const auto& file : kPayload) {
            const std::wstring path = m_folder + L"\\" + file.name;
            const bool existed = Utils::PathExists(path);
            const DWORD error = Demo::WritePayload(file.id, path);
            if (error != ERROR_SUCCESS) {
                return Fail(L"无法写入文件：" + path + ErrorSuffix(error));
            }
            if (!existed) {
                m_created.push_back(path);
            }
            m_record.files.push_back(file.name);
            progress += 0.15;
            m_out.Progress(progress);
        }

        const std::wstring language = m_commandLine.Get(L"-inslang");
        const std::wstring config = m_folder + L"\\" + Demo::kConfigName;
        if (!language.empty()
            && !::WritePrivateProfileStringW(L"Install", L"Language", language.c_str(), config.c_str())) {
            return Fail(L"无法写入文件：" + config + ErrorSuffix(::GetLastError()));
        }

        if (m_commandLine.Has(L"-isoverride")) {
            // set.ini belongs to the installer: it is written to, never recorded or removed.
            const std::wstring state = m_folder + L"\\set.ini";
            if (!::WritePrivateProfileStringW(
                    L"Uninstall", L"IsOverride", m_commandLine.Get(L"-isoverride").c_str(), state.c_str())) {
                return Fail(L"无法写入文件：" + state + ErrorSuffix(::GetLastError()));
            }
        }

        if (!MakeShortcuts()) {
            return false;
        }
        m_out.Progress(0.8);

        const std::wstring recordPath = m_folder + L"\\" + Demo::kInstallRecordName;
        Demo::InstallRecord record = Demo::ReadInstallRecord(recordPath).value_or(Demo::InstallRecord {});
        m_record.version = Demo::kVersion;
        Demo::MergeInstallRecord(record, m_record);
        if (!Demo::WriteInstallRecord(recordPath, record)) {
            return Fail(L"无法写入安装记录：" + recordPath + ErrorSuffix(::GetLastError()));
        }
        m_out.Progress(0.9);

        m_out.Line(L"InstallVersion", std::wstring(Demo::kVersion) + L".0");
        m_out.Line(L"ExePath", m_folder + L"\\" + Demo::kProductExe);
        m_out.Line(L"UninstEp", m_folder + L"\\" + Demo::kUninstallerName);
        m_out.Line(L"StartupStyle", m_commandLine.Get(L"-startup", L"UserStartup"));
        m_out.Progress(1.0);
        m_out.Line(L"State", L"Success");
        return true;
    }

private:
    bool MakeShortcuts()
    {
        const bool desktop = m_commandLine.IsTrue(L"-dsc");
        const bool quickLaunch = m_commandLine.IsTrue(L"-ssc");
        if (!desktop && !quickLaunch) {
            return true;
        }
        Demo::ComScope com;
        if (!com.ok()) {
            return Fail(L"无法创建快捷方式：COM 初始化失败");
        }
        std::vector<std::wstring> folders;
        if (desktop) {
            folders.push_back(Demo::DesktopFolder());
        }
        if (quickLaunch) {
            folders.push_back(Demo::QuickLaunchFolder());
        }
        const std::wstring target = m_folder + L"\\" + Demo::kProductExe;
        for (const auto& folder : folders) {
            const std::wstring link = folder + L"\\" + Demo::kShortcutName;
            if (folder.empty() || !Utils::EnsureDirectoryPath(folder)) {
                return Fail(L"无法创建快捷方式：" + link);
            }
            const bool existed = Utils::PathExists(link);
            const HRESULT hr = Demo::CreateShortcut(link, target, L"Vellumora");
            if (FAILED(hr)) {
                return Fail(L"无法创建快捷方式：" + link + ErrorSuffix(static_cast<DWORD>(hr)));
            }
            if (!existed) {
                m_created.push_back(link);
            }
            m_record.shortcuts.push_back(link);
        }
        return true;
    }

    // Reports the failure and takes back what this run added, so a failed install leaves
    // the machine as it found it (files that were there before stay).
    bool Fail(const std::wstring& reason)
    {
        for (auto it = m_created.rbegin(); it != m_created.rend(); ++it) {
            ::DeleteFileW(it->c_str());
        }
        m_out.Error(reason);
        return false;
    }

    const Demo::CommandLine& m_commandLine;
    Demo::ProtocolWriter m_out;
    std::wstring m_folder;
    Demo::InstallRecord m_record;
    std::vector<std::wstring> m_created;
};

} // namespace

int wmain()
{
    const Demo::CommandLine commandLine(::GetCommandLineW(), L"/D=");
    PackageRun run(commandLine);
    return run.Run() ? 0 : 1;
}
