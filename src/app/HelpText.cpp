#include "app/HelpText.h"

#include "utils/ModuleVersion.h"

namespace App {
namespace {

// Each line at most 79 characters: a console window is 80 wide. The exit codes are those of
// config/ExitCodes.h, with every cause the code has.
constexpr wchar_t kOptions[] = LR"(Usage: VellumoraInstaller.exe [-name=value ...]

Options are case-sensitive; when one is given twice, the first counts. Quote a
value with blanks: "-installdir=D:\My Apps\TarvikQuill". The same settings may
come from TarvikInstallerConfig.ini beside the installer, section [Install];
the command line wins.

  -quiet=true|false       install (or remove) without any window; the exit
                          code tells the result
  -installdir=FOLDER      quiet: the install folder, a full path on a drive of
                          this machine; default: the installed version's folder
                          or the default one
  -launch=true|false      quiet: start the product after the install
  -scope=user|machine     whose installation: this account's or the machine's
                          (Program Files, HKLM); default: machine for a quiet
                          run as the system account, otherwise user
  -uninstall=true|false   remove the installed product (a window asks first;
                          as the system account, quiet)
  -shortcuts=both|desktop|quicklaunch|none
                          quiet: the shortcuts the package makes (both)
  -resultfile=PATH        write the run's result to PATH as JSON
  -log=PATH               write the log to PATH too (.log or .txt, on a drive
                          of this machine); a quiet run always keeps a log
  -packagetimeout=MINUTES end the package or an old uninstaller after so long;
                          0 (default): no bound
  -insnew=true|false      the product may be running: wait for it to exit
  -proxy=direct|HOST:PORT|USER:PASSWORD@HOST:PORT
                          the proxy for the downloads; empty: the system's
  -downloadurl=URL        where the package comes from
  -mirrorurls=URL;URL     more addresses of the same package
  -downloadtype=1|2|3     1 one stream, 2 WinHTTP, 3 two parallel ranges
  -downloadscale=NUMBER   the download's share of the progress bar (0.7)
  -ischecknet=true|false  check the network as a window install starts
  -language=INDEX         the window's language, 0 to 14; -1: the system's
  -instcmd=TEXT           more arguments for the package
  -packagesigner=SHA256[,SHA256]
                          the certificates a package must be signed by
  -isenableappsensors=true|false, -dlappnamesuffix=TEXT, -dlappversion=TEXT
                          stored only
  -help, /?               this text
  -version                the installer's version

)";

constexpr wchar_t kExitCodes[] = LR"(Exit codes of a quiet run or a removal (an install with a window ends with
0, or -1 or 1):
     0  installed and recorded; -uninstall=true: removed
    -1  another copy of the installer is running, in this or another session
     1  the installer failed: its hidden window could not be made, it
        crashed, or a system DLL could not be loaded from the system folder
     2  an option or setting cannot be used, nothing was done: an unknown
        option (also /S, /quiet as the system account without -quiet=true),
        a switch not exactly true or false, an -installdir= that is empty,
        relative, on a share or holds forbidden characters, a malformed
        -proxy=, signer pin, -scope=, -shortcuts= or -packagetimeout=, a
        mirror without DownloadUrl's MD5, a -log= file that cannot be
        opened, a settings file that cannot be read
     3  the install folder cannot be created
     4  less than 1 GB free on the install folder's drive
     5  the product, an old version's uninstaller or an earlier attempt's
        package is running; with -insnew=true: the product did not exit
        within -packagetimeout
     6  the old version's removal failed: its uninstaller is missing, could
        not be copied into the work folder, was refused by the signer pin,
        could not start, reported failure, crashed or ran out of time;
        -uninstall=true: the uninstaller failed (the records are kept)
     7  the download failed: every address was given up, the work folder
        could not be made, or the package could not be held or changed
        after its check
     8  the package's signature was refused (signer pin); -uninstall=true:
        the uninstaller's signature was refused (the records are kept)
     9  the package failed: it reported failure (Error= or State=Fail),
        could not start, crashed, or ended with a status other than 0
        (or 3010) without a verdict
    10  stopped by the system: logoff or shutdown; nothing recorded
    11  the package did not finish within -packagetimeout; it and every
        process it started were ended, nothing recorded
    12  -uninstall=true: nothing is installed (for this account or machine)
  3010  installed and recorded; the computer must restart before the
        product is used
  1602  -uninstall=true with a window: the user answered No
)";

} // namespace

std::wstring HelpText()
{
    return VersionText() + L"\n\n" + kOptions + kExitCodes;
}

std::wstring VersionText()
{
    const std::wstring version = Utils::ModuleFileVersion();
    return L"Vellumora installer " + (version.empty() ? std::wstring(L"(no version resource)") : version);
}

} // namespace App
