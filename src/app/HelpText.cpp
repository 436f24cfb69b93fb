#include "app/HelpText.h"

#include <algorithm>

#include "config/MachinePolicy.h"
#include "config/OptionTable.h"
#include "utils/ModuleVersion.h"

namespace App {
namespace {

// Each line at most 79 characters: a console window is 80 wide. The options come from
// Config::OptionTable; the exit codes are those of config/ExitCodes.h, with every cause the
// code has.
constexpr std::size_t kWidth = 79;
constexpr std::size_t kColumn = 26; // where an option's words start

constexpr wchar_t kUsage[] = LR"(Usage: VellumoraInstaller.exe [-name=value ...]

)";

// text's words in lines of at most kWidth, each after indent.
std::wstring Wrap(const std::wstring& text, const std::wstring& indent)
{
    std::wstring out;
    std::wstring line = indent;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find(L' ', from);
        end = end == std::wstring::npos ? text.size() : end;
        const std::wstring word = text.substr(from, end - from);
        from = end + 1;
        if (line.size() > indent.size() && line.size() + 1 + word.size() > kWidth) {
            out += line + L"\n";
            line = indent;
        }
        line += (line.size() > indent.size() ? L" " : L"") + word;
    }
    return out + line + L"\n";
}

std::wstring Lowered(std::wstring text)
{
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    }
    return text;
}

std::wstring Rules()
{
    std::wstring renamed;
    std::wstring noKey;
    std::wstring fileOnly;
    std::wstring policies;
    for (const Config::OptionRow& row : Config::OptionTable()) {
        if (row.show == Config::LogShow::Omitted) {
            continue;
        }
        if (row.policy.type != Config::PolicyType::None) {
            policies += std::wstring(policies.empty() ? L"" : L", ") + row.policy.name;
        }
        if (!row.option) {
            fileOnly += std::wstring(fileOnly.empty() ? L"" : L", ") + row.name + L"=" + row.values + L" (" + row.help
                + L")";
        } else if (!row.hasKey) {
            noKey += std::wstring(noKey.empty() ? L"" : L", ") + row.option;
        } else if (Lowered(row.name) != Lowered(row.option + 1)) {
            renamed += std::wstring(renamed.empty() ? L"" : L", ") + row.option + L" is " + row.name;
        }
    }
    std::wstring text = Wrap(L"Options are case-sensitive; when one is given twice, the first counts. Quote a "
                             L"value with blanks: \"-installdir=D:\\My Apps\\TarvikQuill\".",
        L"");
    text += L"\n"
        + Wrap(L"TarvikInstallerConfig.ini beside the installer, section [Install], may hold the same "
               L"settings under the option's name without \"-\" (any case), except: "
                + renamed + L". The command line wins. No key, the command line only: " + noKey
                + L". The settings file only: " + fileOnly + L".",
            L"");
    text += L"\n"
        + Wrap(std::wstring(L"A machine policy (values under HKLM\\") + Config::kPolicyKey
                + L", docs/settings.md) overrides both for: " + policies + L".",
            L"");
    text += L"\n"
        + Wrap(L"Switches: one shown as =true|false takes exactly true or false, and any other value "
               L"(also an empty one) is refused, as is any other unusable value: an unattended run ends "
               L"with exit code 2, a window run ignores it. One shown as =true is on for exactly true "
               L"and off for any other value (True, 1, empty); it is never refused.",
            L"");
    return text + L"\n";
}

std::wstring OptionLines()
{
    std::wstring text;
    for (const Config::OptionRow& row : Config::OptionTable()) {
        if (!row.option) {
            continue;
        }
        std::wstring head = L"  " + std::wstring(row.option);
        head += row.values ? L"=" + std::wstring(row.values) : L"";
        head += row.alias ? L", " + std::wstring(row.alias) : L"";
        const std::wstring help = row.help;
        std::size_t from = 0;
        if (head.size() >= kColumn) {
            text += head + L"\n";
            head.clear();
        }
        while (from <= help.size()) {
            const std::size_t end = std::min(help.find(L'\n', from), help.size());
            head.resize(kColumn, L' ');
            text += head + help.substr(from, end - from) + L"\n";
            head.clear();
            from = end + 1;
        }
    }
    return text + L"\n";
}

constexpr wchar_t kExitCodes[] = LR"(Exit codes of an unattended run (quiet, a layout, or as the system account)
or a removal (an install with a window ends with 0, or -1 or 1; an unusable
-quiet= value gives 2):
     0  installed and recorded; -uninstall=true: removed; -layout=: the
        layout written
    -1  another copy of the installer is running, in this or another session
     1  the installer failed: its hidden window could not be made, it
        crashed, or a system DLL could not be loaded from the system folder
     2  an option or setting cannot be used, nothing was done (a quiet run,
        or any run as the system account): an unknown option (also /S,
        /quiet), a -quiet=, -launch= or -uninstall= value not exactly true or
        false, an -installdir= that is empty, relative, on a share or holds
        forbidden characters, a malformed -proxy=, signer pin, -scope=,
        -shortcuts=, -packagetimeout= or -limitrate=, a mirror without
        DownloadUrl's MD5 (or mirrors of differing MD5s), a machine policy
        value that cannot be used, a -log= file that is refused or cannot be
        opened, a -resultfile= that is refused or cannot be written, a
        settings file that cannot be read, a -packagefile= that is no file's
        path, a -layout= folder that is refused or cannot be made or written
     3  the install folder cannot be created
     4  less than 1 GB free on the install folder's drive
     5  the product, an old version's uninstaller or an earlier attempt's
        package is running; an unattended run (with or without
        -insnew=true): the product did not exit within -packagetimeout
     6  the old version's removal failed: its uninstaller is missing, could
        not be copied into the work folder, was refused by the signer pin,
        could not start, reported failure, ended with a status other than 0
        without a verdict, crashed or ran out of time; -uninstall=true: the
        uninstaller failed (the records are kept)
     7  the download failed: every address was given up, the work folder
        could not be made, or the package could not be held or changed
        after its check; a package file could not be read or is not the
        MD5 its folder names
     8  the package's signature was refused (signer pin); -uninstall=true:
        the uninstaller's signature was refused (the records are kept)
     9  the package failed: it reported failure (Error= or State=Fail),
        could not start, crashed, or ended with a status other than 0
        (or 3010) without a verdict
    10  stopped by the system: logoff or shutdown; nothing recorded
    11  the package did not finish within -packagetimeout; it and every
        process it started were ended, nothing recorded
    12  -uninstall=true: nothing is installed (for this account or machine)
    13  the package is older than the installed version (its version
        resource against the recorded InstallVersion) and
        -allowdowngrade=true was not given; nothing removed or recorded
  3010  installed and recorded; the computer must restart before the
        product is used
  1602  -uninstall=true with a window: the user answered No
)";

} // namespace

std::wstring HelpText()
{
    return VersionText() + L"\n\n" + kUsage + Rules() + OptionLines() + kExitCodes;
}

std::wstring VersionText()
{
    const std::wstring version = Utils::ModuleFileVersion();
    return L"Vellumora installer " + (version.empty() ? std::wstring(L"(no version resource)") : version);
}

} // namespace App
