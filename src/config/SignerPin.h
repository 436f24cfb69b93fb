#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace Config {

// A SHA-256 certificate thumbprint: the hash of the certificate's DER bytes.
using Thumbprint = std::array<unsigned char, 32>;

// The "PackageSigner" setting, parsed: which signers a package (and the old version's
// uninstaller) must be signed by before it is run.
struct SignerPin {
    enum class State {
        Off, // empty setting: no signature check, as before the setting existed
        Pinned, // one or more thumbprints: only a chain holding one of them is accepted
        Unreadable, // malformed setting: every package is refused (fail closed)
    };
    State state = State::Off;
    std::vector<Thumbprint> thumbprints;
    // Why an unreadable setting was refused, for the log.
    std::wstring problem;

    bool Checks() const noexcept { return state != State::Off; }
    bool Matches(const Thumbprint& thumbprint) const;
};

// Comma-separated SHA-256 thumbprints, 64 hex digits each, case-insensitive. Blanks,
// colons, hyphens and the invisible marks that certificate dialogs copy along (U+200E,
// U+200F, U+00A0, U+FEFF) are ignored. Empty items between commas are skipped. Blank text is
// Off; anything else that is not a list of thumbprints is Unreadable.
SignerPin ParseSignerPin(std::wstring_view text);

// 64 upper-case hex digits.
std::wstring ThumbprintText(const Thumbprint& thumbprint);

} // namespace Config
