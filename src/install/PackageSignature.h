#pragma once

#include <string>

#include "config/SignerPin.h"
#include "utils/UniqueResource.h"

// The Authenticode check a package (and the old version's uninstaller) passes before it is
// run, when a signer pin is configured (docs/settings.md, "PackageSigner").
namespace Signature {

enum class Reason {
    Accepted,
    PinUnreadable, // the PackageSigner setting is malformed: nothing is run
    OpenFailed, // the file could not be opened and locked
    NoSignature,
    BadDigest, // the signed bytes were changed after signing
    BadSignature, // the signature itself does not verify
    UntrustedChain, // the signer's chain does not end in a trusted root (or is expired, revoked…)
    WrongUsage, // a certificate of the chain is not valid for code signing
    NotPinned, // a valid chain, but no certificate of it is pinned
};

// The reason's name as the log shows it: "accepted", "no signature", "bad digest", …
const wchar_t* ReasonName(Reason reason);

struct Result {
    Reason reason = Reason::OpenFailed;
    // What went wrong, with the platform's code, for the log.
    std::wstring detail;
    // The signer's certificate as found in the file, even when verification fails; empty
    // when the file holds no readable signature.
    std::wstring signerSubject;
    std::wstring signerThumbprint;
    // The pinned certificate of the chain, when accepted.
    std::wstring pinnedSubject;
    // While accepted: the file, open for reading with a share mode that forbids writing,
    // deleting and renaming it. Keep it until the checked program has started.
    Utils::UniqueFileHandle lock;

    bool Accepted() const noexcept { return reason == Reason::Accepted; }
    // One line for the log: verdict, reason, detail, signer.
    std::wstring Describe() const;
};

// Opens and locks the file, then checks it against the pin: WinVerifyTrust, the signer's
// own chain for code signing under the Authenticode policy, and a pinned certificate in that
// chain. The pin must be Pinned or Unreadable (Off means the caller does not check).
Result CheckFile(const std::wstring& path, const Config::SignerPin& pin);

// SHA-256 of some bytes; all zero when the system cannot hash.
Config::Thumbprint Sha256(const unsigned char* data, unsigned long size);

} // namespace Signature
