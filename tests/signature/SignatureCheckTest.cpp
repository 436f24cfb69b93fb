// The signature check on real signatures made by the build (tests/signature/CMakeLists.txt):
// what it accepts, what it refuses and why, the lock it holds, and the old uninstaller's copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <set>
#include <thread>

#include "SigningFixtures.h"
#include "config/SignerPin.h"
#include "install/Installer.h"
#include "install/PackageSignature.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "tests/install/StageHarness.h"
#include "utils/FileSystem.h"

using Signature::Reason;
using SigningTest::Change;
using SigningTest::Fixture;
using SigningTest::ThumbprintOf;

namespace {

class SignatureCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_trustError = SigningTest::TrustTestRoots(); }
    void SetUp() override { ASSERT_EQ(s_trustError, L"") << "the test roots could not be trusted"; }

    // A copy of a fixture, changed as asked, in this test's own folder.
    std::wstring CopyOf(const std::wstring& fixture, Change change = Change::None, const std::wstring& name = L"")
    {
        const std::wstring path = m_dir / (name.empty() ? fixture : name);
        EXPECT_TRUE(TestSupport::WriteFileBytes(
            path, SigningTest::Changed(TestSupport::ReadFileBytes(Fixture(fixture)), change)));
        return path;
    }

    static Config::SignerPin Pin(const std::vector<const wchar_t*>& certs)
    {
        std::wstring text;
        for (const wchar_t* cert : certs) {
            text += ThumbprintOf(cert) + L",";
        }
        return Config::ParseSignerPin(text);
    }

    static inline std::wstring s_trustError;
    TestSupport::TempDir m_dir { L"signature" };
};

struct CheckCase {
    const char* name;
    const wchar_t* fixture;
    Change change;
    std::vector<const wchar_t*> pinned;
    std::set<Reason> expected; // any of these
    const wchar_t* signer; // the certificate the refusal names, or nullptr for none
};

} // namespace

TEST_F(SignatureCheck, AcceptsThePinnedSignerAndRefusesEverythingElseWithItsReason)
{
    const std::vector<CheckCase> cases = {
        { "pinned leaf", L"pkg-leafA.exe", Change::None, { L"leafA" }, { Reason::Accepted }, L"leafA" },
        { "pinned root", L"pkg-leafA.exe", Change::None, { L"rootA" }, { Reason::Accepted }, L"leafA" },
        { "one of two pins", L"pkg-leafA.exe", Change::None, { L"leafB", L"rootA" }, { Reason::Accepted }, L"leafA" },
        { "unsigned", L"pkg-unsigned.exe", Change::None, { L"rootA" }, { Reason::NoSignature }, nullptr },
        { "code byte changed", L"pkg-leafA.exe", Change::CodeByte, { L"rootA" }, { Reason::BadDigest }, L"leafA" },
        // Wine reports no signature for trailing bytes, Windows a bad digest: both refuse.
        { "bytes appended", L"pkg-leafA.exe", Change::Appended, { L"rootA" },
            { Reason::NoSignature, Reason::BadDigest }, nullptr },
        { "signature byte changed", L"pkg-leafA.exe", Change::SignatureByte, { L"rootA" }, { Reason::BadSignature },
            L"leafA" },
        { "unrelated trusted root's leaf", L"pkg-leafB.exe", Change::None, { L"rootA" }, { Reason::NotPinned },
            L"leafB" },
        { "unrelated leaf, our leaf pinned", L"pkg-leafB.exe", Change::None, { L"leafA" }, { Reason::NotPinned },
            L"leafB" },
        { "untrusted root's leaf", L"pkg-leafC.exe", Change::None, { L"rootA" }, { Reason::UntrustedChain }, L"leafC" },
        { "pinned, but its root is not trusted", L"pkg-leafC.exe", Change::None, { L"leafC" },
            { Reason::UntrustedChain }, L"leafC" },
        { "server-authentication leaf", L"pkg-leafAServer.exe", Change::None, { L"rootA" }, { Reason::WrongUsage },
            L"leafAServer" },
        { "server-authentication leaf pinned itself", L"pkg-leafAServer.exe", Change::None, { L"leafAServer" },
            { Reason::WrongUsage }, L"leafAServer" },
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = CopyOf(c.fixture, c.change, L"case.exe");
        Signature::Result result = Signature::CheckFile(path, Pin(c.pinned));
        EXPECT_TRUE(c.expected.count(result.reason)) << "got: " << testing::PrintToString(result.Describe());
        EXPECT_EQ(result.lock.valid(), result.Accepted()) << "only an accepted file stays locked";
        if (c.signer) {
            EXPECT_EQ(result.signerThumbprint, ThumbprintOf(c.signer));
            EXPECT_NE(result.Describe().find(ThumbprintOf(c.signer)), std::wstring::npos);
            EXPECT_NE(result.signerSubject.find(L"CN="), std::wstring::npos);
        }
        if (!result.Accepted()) {
            EXPECT_NE(result.Describe().find(Signature::ReasonName(result.reason)), std::wstring::npos);
        }
        result.lock.reset();
        EXPECT_TRUE(::DeleteFileW(path.c_str()));
    }
}

TEST_F(SignatureCheck, AnUnreadablePinRefusesEvenAGoodPackage)
{
    const Config::SignerPin pin = Config::ParseSignerPin(L"not a thumbprint");
    ASSERT_EQ(pin.state, Config::SignerPin::State::Unreadable);
    const Signature::Result result = Signature::CheckFile(CopyOf(L"pkg-leafA.exe"), pin);
    EXPECT_EQ(result.reason, Reason::PinUnreadable);
    EXPECT_NE(result.Describe().find(L"signer pin unreadable"), std::wstring::npos);
}

TEST_F(SignatureCheck, TheAcceptedFileCannotBeChangedUntilTheLockIsReleased)
{
    const std::wstring path = CopyOf(L"pkg-leafA.exe");
    const std::wstring other = CopyOf(L"pkg-unsigned.exe");
    Signature::Result result = Signature::CheckFile(path, Pin({ L"rootA" }));
    ASSERT_TRUE(result.Accepted()) << testing::PrintToString(result.Describe());

    HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) {
        ::CloseHandle(writer);
    }
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    EXPECT_FALSE(::MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(::CopyFileW(other.c_str(), path.c_str(), FALSE));
    EXPECT_FALSE(::MoveFileExW(path.c_str(), (m_dir / L"moved.exe").c_str(), 0));
    EXPECT_TRUE(TestSupport::ReadFileBytes(path) == TestSupport::ReadFileBytes(Fixture(L"pkg-leafA.exe")));

    result.lock.reset();
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

// The package is swapped from another thread while the installer starts it: every attempt
// fails, and the program that ran is the checked one.
TEST_F(SignatureCheck, ThePackageCannotBeSwappedBetweenCheckAndStart)
{
    InstallTest::ScriptedChild child; // __Package_Vellumora.exe with its script beside it
    child.SetScript("out State=Success\n");
    ASSERT_TRUE(TestSupport::WriteFileBytes(child.Path(), TestSupport::ReadFileBytes(Fixture(L"pkg-leafA.exe"))));
    const std::wstring other = CopyOf(L"pkg-unsigned.exe");

    Signature::Result result = Signature::CheckFile(child.Path(), Pin({ L"leafA" }));
    ASSERT_TRUE(result.Accepted()) << testing::PrintToString(result.Describe());

    InstallTest::EventLog events;
    CInstaller installer(events.Callback(), child.Path(), L"");
    installer.SetPackageLock(std::move(result.lock));

    std::atomic<bool> running { true };
    std::atomic<int> attempts { 0 };
    std::atomic<int> swaps { 0 };
    // Tries from before the start until the package is running (it records its command line
    // first thing). The lock is let go when the run is over, so trying until the verdict
    // arrives could swap the file after the run, which proves nothing.
    std::thread swapper([&] {
        while (running && child.RecordedCommandLine().empty()) {
            ++attempts;
            if (::MoveFileExW(other.c_str(), child.Path().c_str(), MOVEFILE_REPLACE_EXISTING)
                || ::CopyFileW(other.c_str(), child.Path().c_str(), FALSE)) {
                ++swaps;
            }
            ::Sleep(1);
        }
    });
    installer.Start();
    const bool ended = installer.WaitForRun(15000);
    running = false;
    swapper.join();

    ASSERT_TRUE(ended);
    EXPECT_GT(attempts.load(), 0);
    EXPECT_EQ(swaps.load(), 0);
    EXPECT_TRUE(events.WaitForCode(IST_CODE_SUCCESS, 0));
    EXPECT_FALSE(child.RecordedCommandLine().empty()) << "the checked package ran";
    EXPECT_TRUE(TestSupport::ReadFileBytes(child.Path()) == TestSupport::ReadFileBytes(Fixture(L"pkg-leafA.exe")));
    EXPECT_TRUE(::DeleteFileW(child.Path().c_str())) << "the lock is released once the run is over";
}

// The old version's uninstaller, copied to the work folder, runs only when signed by the
// pinned signer; a refused copy is deleted, not run, and the removal fails to start.
TEST_F(SignatureCheck, TheOldUninstallersCopyIsCheckedBeforeItRuns)
{
    struct UninstallCase {
        const char* name;
        const wchar_t* fixture;
        bool runs;
    };
    for (const UninstallCase& c : { UninstallCase { "signed by the pinned signer", L"pkg-leafA.exe", true },
             UninstallCase { "unsigned", L"pkg-unsigned.exe", false },
             UninstallCase { "signed by another", L"pkg-leafB.exe", false } }) {
        SCOPED_TRACE(c.name);
        InstallTest::ScriptedChild child(L"TarvikQuill_un_asa.exe");
        child.SetScript("out State=Success\n");
        ASSERT_TRUE(TestSupport::WriteFileBytes(child.Path(), TestSupport::ReadFileBytes(Fixture(c.fixture))));

        TestSupport::LogCapture log;
        InstallTest::EventLog events;
        CUninstaller uninstaller(events.Callback(), child.Path(), L"C:\\Old");
        uninstaller.SetSignerPin(Pin({ L"rootA" }));
        uninstaller.Start();
        ASSERT_TRUE(uninstaller.WaitForRun(15000));
        if (c.runs) {
            EXPECT_TRUE(events.WaitForCode(UNIST_CODE_SUCCESS, 0));
            EXPECT_FALSE(child.RecordedCommandLine().empty());
            EXPECT_TRUE(!log.Matching(L"old uninstaller signature accepted").empty());
        } else {
            EXPECT_EQ(events.Events(),
                (std::vector<InstallTest::StageEvent> {
                    { UNIST_CODE_FAIL, kFailSignatureRefused, L"可执行卸载文件不存在" } }));
            EXPECT_TRUE(child.RecordedCommandLine().empty()) << "a refused copy never runs";
            EXPECT_FALSE(Utils::PathExists(child.Path())) << "and is deleted";
            EXPECT_TRUE(!log.Matching(L"old uninstaller signature refused: ").empty());
        }
    }
}
