#include <gtest/gtest.h>

#include "config/InstallerConfig.h"
#include "config/SignerPin.h"
#include "support/TempDir.h"

using Config::ParseSignerPin;
using Config::SignerPin;

namespace {

const std::wstring kA = L"00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
const std::wstring kB = L"FFEEDDCCBBAA99887766554433221100FFEEDDCCBBAA99887766554433221100";

struct PinCase {
    const wchar_t* name;
    std::wstring text;
    SignerPin::State state;
    std::vector<std::wstring> thumbprints; // upper-case hex, in order
    const wchar_t* problemPart = L"";
};

} // namespace

TEST(SignerPin, ParsesThumbprintListsAndRefusesEverythingElse)
{
    using S = SignerPin::State;
    const std::wstring colons = L"00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:"
                                L"00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff";
    const std::vector<PinCase> cases = {
        { L"empty", L"", S::Off, {} },
        { L"blanks", L"  \t ", S::Off, {} },
        { L"one upper", kA, S::Pinned, { kA } },
        { L"lower case", L"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff", S::Pinned, { kA } },
        { L"openssl colons", colons, S::Pinned, { kA } },
        { L"spaces and hyphens", L" 0011 2233-4455 6677 8899 AABB CCDD EEFF 0011 2233 4455 6677 8899 AABB CCDD EEFF ",
            S::Pinned, { kA } },
        { L"invisible mark from a certificate dialog", L"\u200E" + kA, S::Pinned, { kA } },
        { L"two", kA + L"," + kB, S::Pinned, { kA, kB } },
        { L"two, spaced, trailing comma", kA + L" , " + kB + L",", S::Pinned, { kA, kB } },
        { L"not hex", kA.substr(0, 63) + L"G", S::Unreadable, {}, L"'G'" },
        { L"short", kA.substr(0, 62), S::Unreadable, {}, L"62 hex digits" },
        { L"long", kA + L"0", S::Unreadable, {}, L"65 hex digits" },
        { L"SHA-1", kA.substr(0, 40), S::Unreadable, {}, L"SHA-1" },
        { L"good then bad", kA + L",xyz", S::Unreadable, {}, L"item 2" },
        { L"semicolon list", kA + L";" + kB, S::Unreadable, {}, L"';'" },
        { L"commas only", L",,", S::Unreadable, {}, L"no thumbprint" },
        { L"separators only", L"::", S::Unreadable, {}, L"no thumbprint" },
    };
    for (const PinCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SignerPin pin = ParseSignerPin(c.text);
        EXPECT_EQ(pin.state, c.state);
        EXPECT_EQ(pin.Checks(), c.state != S::Off);
        ASSERT_EQ(pin.thumbprints.size(), c.thumbprints.size());
        for (std::size_t i = 0; i < c.thumbprints.size(); ++i) {
            EXPECT_EQ(Config::ThumbprintText(pin.thumbprints[i]), c.thumbprints[i]);
            EXPECT_TRUE(pin.Matches(pin.thumbprints[i]));
        }
        if (c.state == S::Unreadable) {
            EXPECT_NE(pin.problem.find(c.problemPart), std::wstring::npos) << pin.problem.c_str();
        }
    }
    const SignerPin one = ParseSignerPin(kA);
    EXPECT_FALSE(one.Matches(ParseSignerPin(kB).thumbprints.at(0)));
    const SignerPin zeros = ParseSignerPin(std::wstring(64, L'0'));
    EXPECT_FALSE(zeros.Matches(zeros.thumbprints.at(0))) << "a failed hash is all zero and must not match";
}

TEST(SignerPin, SettingLayers)
{
    EXPECT_EQ(DefaultInstallerConfig().PackageSigner, Config::BuiltInPackageSigner());

    TestSupport::TempDir dir;
    const std::wstring longPin = kA + L"," + kB + L"," + kA + L"," + kB + L"," + kA; // 324 characters
    ASSERT_TRUE(TestSupport::WriteFileBytes(
        dir / L"a.ini", "[Install]\r\nPackageSigner=" + std::string(longPin.begin(), longPin.end()) + "\r\n"));
    InstallerConfig c = DefaultInstallerConfig();
    c.PackageSigner = L"baked";
    ApplySettingsFile(c, dir / L"a.ini");
    EXPECT_EQ(c.PackageSigner, longPin) << "no 259-character cut for the pin";

    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"b.ini", "[Install]\r\nDownloadType=2\r\n"));
    InstallerConfig kept = DefaultInstallerConfig();
    kept.PackageSigner = L"baked";
    ApplySettingsFile(kept, dir / L"b.ini");
    EXPECT_EQ(kept.PackageSigner, L"baked") << "a missing key keeps the built-in pin";

    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"c.ini", "[Install]\r\nPackageSigner=\r\n"));
    InstallerConfig emptied = DefaultInstallerConfig();
    emptied.PackageSigner = L"baked";
    ApplySettingsFile(emptied, dir / L"c.ini");
    EXPECT_EQ(emptied.PackageSigner, L"");

    InstallerConfig line = DefaultInstallerConfig();
    ApplyCommandLine(line, L"x.exe \"-packagesigner=" + kA + L", " + kB + L"\" -packagesigner=ignored");
    EXPECT_EQ(line.PackageSigner, kA + L", " + kB) << "first occurrence wins";

    // A pin built into the program is final; where something tried to change it is noted.
    InstallerConfig built = DefaultInstallerConfig();
    built.PackageSigner = kA;
    built.PackageSignerBuiltIn = true;
    ApplySettingsFile(built, dir / L"c.ini");
    ApplySettingsFile(built, dir / L"a.ini");
    ApplyCommandLine(built, L"x.exe -packagesigner=");
    EXPECT_EQ(built.PackageSigner, kA);
    EXPECT_EQ(built.PackageSignerIgnored, L"the settings file and the command line");
}
