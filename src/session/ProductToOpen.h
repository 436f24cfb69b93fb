#pragma once

#include <string>

#include "config/SignerPin.h"
#include "utils/Registry.h"
#include "utils/UniqueResource.h"

namespace Session {

// The product program as "open the product" may start it. The folder it is asked to open
// comes from an installation record (the user's own can be changed by any of their
// programs): it must be the folder that record holds, the program must be there as a plain
// file, and with a signer pin set it must pass the same check as an old version's
// uninstaller.
struct ProductToOpen {
    bool ok = false;
    std::wstring program; // folder + "\Quorvel.exe"
    std::wstring folder;
    std::wstring refusal; // why not, for the log
    // While ok with a pin: the program held as checked, until it has started.
    Utils::UniqueFileHandle lock;
};

// folder: the one the prompt offers; recordedFolder and recordedUninstaller: what the
// installation record holds now (Utils::ReadRecordedInstallation).
ProductToOpen CheckProductToOpen(const std::wstring& folder, const std::wstring& recordedFolder,
    const std::wstring& recordedUninstaller, const Config::SignerPin& pin);

// The same, against the record as read now from root (where the installation was found).
ProductToOpen CheckProductToOpen(const std::wstring& folder, Utils::RecordRoot root, const Config::SignerPin& pin);

} // namespace Session
