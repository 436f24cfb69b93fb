// The signer pin built into a program against the settings file beside it and the command
// line, with real signatures, in quiet mode (exit 0: the package ran; 8: its signature was
// refused; 6: the old version's uninstaller was refused). The pinned program is a test build
// of the installer with leafA's thumbprint built in; the plain one has no pin.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "SigningFixtures.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end()); // paths and thumbprints of ASCII only
}

std::string Escaped(const std::wstring& path)
{
    std::string out;
    for (const char c : Narrow(path)) {
        out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return out;
}

// A pin value: absent, given empty, or a test certificate's thumbprint.
struct Given {
    bool present = false;
    const wchar_t* cert = L"";
};
constexpr Given kAbsent {};
constexpr Given kEmpty { true, L"" };
Given Pins(const wchar_t* cert)
{
    return Given { true, cert };
}

struct Case {
    const char* name;
    bool builtInPin; // leafA built in
    Given ini; // the settings file's PackageSigner
    Given option; // "-packagesigner="
    const wchar_t* package; // fixture name: pkg-<package>.exe
    bool unsignedOldUninstaller; // an earlier installation whose uninstaller is not signed
    unsigned long exitCode;
};

// The settings file cannot empty a built-in pin, nor replace it with another signer's, and
// the command line cannot empty it; without a built-in pin both set the pin as they always have.
const Case kCases[] = {
    { "BuiltIn_IniEmpty_Unsigned", true, kEmpty, kAbsent, L"unsigned", false, 8 },
    { "BuiltIn_IniEmpty_OtherSigner", true, kEmpty, kAbsent, L"leafB", false, 8 },
    { "BuiltIn_IniEmpty_PinnedSigner", true, kEmpty, kAbsent, L"leafA", false, 0 },
    { "BuiltIn_IniOther_Unsigned", true, Pins(L"leafB"), kAbsent, L"unsigned", false, 8 },
    { "BuiltIn_IniOther_OtherSigner", true, Pins(L"leafB"), kAbsent, L"leafB", false, 8 },
    { "BuiltIn_IniOther_PinnedSigner", true, Pins(L"leafB"), kAbsent, L"leafA", false, 0 },
    { "BuiltIn_OptionEmpty_Unsigned", true, kAbsent, kEmpty, L"unsigned", false, 8 },
    { "BuiltIn_OptionEmpty_OtherSigner", true, kAbsent, kEmpty, L"leafB", false, 8 },
    { "BuiltIn_OptionEmpty_PinnedSigner", true, kAbsent, kEmpty, L"leafA", false, 0 },
    { "BuiltIn_IniEmpty_OldUninstallerUnsigned", true, kEmpty, kAbsent, L"leafA", true, 6 },
    { "NoBuiltIn_IniEmpty_Unsigned", false, kEmpty, kAbsent, L"unsigned", false, 0 },
    { "NoBuiltIn_IniOther_OtherSigner", false, Pins(L"leafB"), kAbsent, L"leafB", false, 0 },
    { "NoBuiltIn_IniOther_PinnedSigner", false, Pins(L"leafB"), kAbsent, L"leafA", false, 8 },
    { "NoBuiltIn_OptionOverIni", false, Pins(L"leafB"), Pins(L"leafA"), L"leafA", false, 0 },
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

class BuiltInPinTest : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(SigningTest::TrustTestRoots(), L""); }

    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey); }
    void TearDown() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", nullptr);
    }

    static std::wstring Value(const Given& given)
    {
        return *given.cert ? SigningTest::ThumbprintOf(given.cert) : std::wstring();
    }

    // An earlier installation in folder whose uninstaller, the unsigned scripted child,
    // records its command line in ranFile when it runs.
    static void MakeOldInstallation(const std::wstring& folder, const std::wstring& ranFile)
    {
        ASSERT_TRUE(Utils::EnsureDirectoryPath(folder));
        ASSERT_TRUE(
            ::CopyFileW(SigningTest::Fixture(L"pkg-unsigned.exe").c_str(), (folder + L"\\uninst.ep").c_str(), FALSE));
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, Utils::kProductRegistryKey, L"InstallPath", REG_SZ,
                      folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
        // The removal runs a copy of it from a work folder; the copy finds its script here.
        const std::wstring script = folder + L"\\uninstaller.script";
        ASSERT_TRUE(TestSupport::WriteFileBytes(script, "cmdline " + Escaped(ranFile) + "\nout State=Success\n"));
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", script.c_str());
    }

    TestSupport::HttpTestServer m_server;
    TestSupport::TempDir m_dir { L"built-in pin" };
};

TEST_P(BuiltInPinTest, OnlyTheProductTeamDecidesWhoSignsWhatRuns)
{
    const Case& c = GetParam();
    ASSERT_TRUE(m_server.Running());
    const std::string packageName = "pkg-" + Narrow(c.package) + ".exe";
    m_server.AddBody(packageName,
        std::make_shared<const std::string>(
            TestSupport::ReadFileBytes(SigningTest::Fixture(std::wstring(packageName.begin(), packageName.end())))));

    const std::wstring app = m_dir / L"app";
    const std::wstring installed = m_dir / L"installed";
    const std::wstring packageRan = m_dir / L"package-ran.bin";
    const std::wstring uninstallerRan = m_dir / L"uninstaller-ran.bin";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(app));
    ASSERT_TRUE(Utils::EnsureDirectoryPath(installed));
    const wchar_t* program = c.builtInPin ? L"VellumoraInstallerPinnedTest.exe" : L"VellumoraInstaller.exe";
    ASSERT_TRUE(::CopyFileW(
        (TestSupport::BinDirectory() + L"\\" + program).c_str(), (app + L"\\VellumoraInstaller.exe").c_str(), FALSE));
    std::string ini = "[Install]\r\nDownloadUrl=" + m_server.FileUrl(packageName)
        + "\r\nDownloadType=1\r\nIsCheckNet=false\r\nQuiet=true\r\n";
    if (c.ini.present) {
        ini += "PackageSigner=" + Narrow(Value(c.ini)) + "\r\n";
    }
    ASSERT_TRUE(TestSupport::WriteFileBytes(app + L"\\TarvikInstallerConfig.ini", ini));
    ASSERT_TRUE(TestSupport::WriteFileBytes(
        installed + L"\\__Package_Vellumora.script", "cmdline " + Escaped(packageRan) + "\nout State=Success\n"));
    if (c.unsignedOldUninstaller) {
        MakeOldInstallation(installed, uninstallerRan);
    }

    std::wstring line = TestSupport::QuoteArgument(TestSupport::BinDirectory() + L"\\vlmlog.exe") + L" --timeout=40 "
        + TestSupport::QuoteArgument(app + L"\\VellumoraInstaller.exe") + L" "
        + TestSupport::QuoteArgument(L"-installdir=" + installed);
    if (c.option.present) {
        line += L" " + TestSupport::QuoteArgument(L"-packagesigner=" + Value(c.option));
    }
    const auto run = TestSupport::RunProcessToFile(line, m_dir / L"log.txt", 50000);
    const std::string& log = run.output;
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, c.exitCode) << log;
    EXPECT_EQ(Utils::PathExists(packageRan), c.exitCode == 0) << "the package ran, or never did";
    EXPECT_FALSE(Utils::PathExists(uninstallerRan)) << "an unsigned old uninstaller never runs";
    if (c.builtInPin) {
        EXPECT_NE(log.find("pinned at build time"), std::string::npos) << log;
        const bool ignored = log.find("ignored: the pin built into this installer is final") != std::string::npos;
        EXPECT_EQ(ignored, c.ini.present || c.option.present) << log;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BuiltInPinTest, ::testing::ValuesIn(kCases), [](const auto& info) { return std::string(info.param.name); });

} // namespace
