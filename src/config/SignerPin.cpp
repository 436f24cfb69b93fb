#include "config/SignerPin.h"

#include <algorithm>

#include "utils/Text.h"

namespace Config {

namespace {

bool IsSeparator(wchar_t c)
{
    switch (c) {
    case L' ':
    case L'\t':
    case L':':
    case L'-':
    case L'\u00A0':
    case L'\u200E':
    case L'\u200F':
    case L'\uFEFF':
        return true;
    default:
        return false;
    }
}

// Text made of these alone is an empty setting.
bool IsBlank(wchar_t c)
{
    return c == L'\r' || c == L'\n' || (IsSeparator(c) && c != L':' && c != L'-');
}

SignerPin Unreadable(std::wstring problem)
{
    SignerPin pin;
    pin.state = SignerPin::State::Unreadable;
    pin.problem = std::move(problem);
    return pin;
}

} // namespace

bool SignerPin::Matches(const Thumbprint& thumbprint) const
{
    // All zero is what a failed hash leaves: it never matches, even a pin of zeros.
    if (thumbprint == Thumbprint {}) {
        return false;
    }
    return state == State::Pinned && std::find(thumbprints.begin(), thumbprints.end(), thumbprint) != thumbprints.end();
}

SignerPin ParseSignerPin(std::wstring_view text)
{
    SignerPin pin;
    std::size_t itemNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(L',', start), text.size());
        const std::wstring_view item = text.substr(start, comma - start);
        start = comma + 1;
        ++itemNumber;

        std::wstring digits;
        for (const wchar_t c : item) {
            if (IsSeparator(c)) {
                continue;
            }
            if (Utils::HexDigitValue(c) < 0) {
                return Unreadable(L"item " + std::to_wstring(itemNumber) + L" holds '" + std::wstring(1, c)
                    + L"', which is neither a hex digit nor a separator");
            }
            digits += c;
        }
        if (digits.empty()) {
            continue;
        }
        if (digits.size() != 64) {
            std::wstring problem = L"item " + std::to_wstring(itemNumber) + L" has " + std::to_wstring(digits.size())
                + L" hex digits, a SHA-256 thumbprint has 64";
            if (digits.size() == 40) {
                problem += L" (40 is a SHA-1 thumbprint, which is not accepted)";
            }
            return Unreadable(std::move(problem));
        }
        Thumbprint thumbprint {};
        for (std::size_t i = 0; i < thumbprint.size(); ++i) {
            thumbprint[i] = static_cast<unsigned char>(
                Utils::HexDigitValue(digits[2 * i]) * 16 + Utils::HexDigitValue(digits[2 * i + 1]));
        }
        pin.thumbprints.push_back(thumbprint);
    }
    if (!pin.thumbprints.empty()) {
        pin.state = SignerPin::State::Pinned;
    } else if (std::any_of(text.begin(), text.end(), [](wchar_t c) { return !IsBlank(c); })) {
        return Unreadable(L"no thumbprint in it");
    }
    return pin;
}

std::wstring ThumbprintText(const Thumbprint& thumbprint)
{
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(thumbprint.size() * 2);
    for (const unsigned char byte : thumbprint) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

} // namespace Config
