// The demo product's uninstaller, installed as uninst.ep. The installer runs a temporary
// copy of it as
//   <copy> /S -adminact=... -authorizationact=... -console=show _?=<installed folder>
// It removes what the install record of that folder lists (files and shortcuts), then the
// record, then the folder when nothing else is left in it, and reports on standard output.
// Extra argument: -stepms=<n>, the pause after each output line (default 100).
#include <windows.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "InstallRecord.h"
#include "ProtocolWriter.h"
#include "utils/FileSystem.h"

namespace {

constexpr DWORD kDefaultStepMs = 100;

// True when path is gone afterwards; a read-only file is made writable first.
bool RemoveFile(const std::wstring& path)
{
    if (!Utils::PathExists(path)) {
        return true;
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(path.c_str()) || !Utils::PathExists(path);
}

bool Uninstall(const Demo::CommandLine& commandLine)
{
    Demo::ProtocolWriter out(Demo::StepMsFromText(commandLine.Get(L"-stepms"), kDefaultStepMs));
    out.AnnounceUtf8();
    const std::wstring folder = commandLine.Tail() ? Demo::NormalizeFolder(*commandLine.Tail()) : std::wstring();
    if (folder.empty()) {
        out.Error(L"未指定安装目录（缺少 _?= 参数）");
        return false;
    }
    out.Progress(0.1);

    const std::wstring recordPath = folder + L"\\" + Demo::kInstallRecordName;
    const auto record = Demo::ReadInstallRecord(recordPath);
    if (!record) {
        if (Utils::PathExists(folder)) {
            out.Error(L"找不到安装记录：" + recordPath);
            return false;
        }
        // Nothing is installed there any more: that is what was asked for.
        out.Progress(1.0);
        out.Line(L"State", L"Success");
        return true;
    }

    std::vector<std::wstring> targets = record->shortcuts;
    for (const auto& name : record->files) {
        if (Demo::IsPlainFileName(name)) {
            targets.push_back(folder + L"\\" + name);
        }
    }
    Demo::InstallRecord remaining;
    remaining.version = record->version;
    std::vector<std::wstring> failed;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (!RemoveFile(targets[i])) {
            failed.push_back(targets[i]);
            const bool isShortcut = i < record->shortcuts.size();
            if (isShortcut) {
                remaining.shortcuts.push_back(targets[i]);
            } else {
                remaining.files.push_back(targets[i].substr(folder.size() + 1));
            }
        }
        out.Progress(0.1 + 0.8 * static_cast<double>(i + 1) / static_cast<double>(targets.size()));
    }

    if (!failed.empty()) {
        // Keep what is left on record so a second run can finish the job.
        Demo::WriteInstallRecord(recordPath, remaining);
        std::wstring reason = L"无法删除文件：" + failed.front();
        if (failed.size() > 1) {
            reason += L" 等 " + std::to_wstring(failed.size()) + L" 个文件";
        }
        out.Error(reason);
        return false;
    }
    RemoveFile(recordPath);
    ::RemoveDirectoryW(folder.c_str()); // fails, as it should, while the user's files are in it
    out.Progress(1.0);
    out.Line(L"State", L"Success");
    return true;
}

} // namespace

int wmain()
{
    const Demo::CommandLine commandLine(::GetCommandLineW(), L"_?=");
    return Uninstall(commandLine) ? 0 : 1;
}
