// A delay-loaded DLL that cannot be loaded from the system folder: its functions fail, and
// no copy elsewhere, such as one planted beside the program, is ever loaded.
#include <gtest/gtest.h>

#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <winhttp.h>
#include <wintrust.h>

#include <memory>
#include <string>
#include <vector>

#include "SigningFixtures.h"
#include "app/FailingImports.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"

namespace {

template <typename Fn> Fn StandIn(const char* dll, const char* function)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(App::FailingImport(dll, function)));
}

// Called through their real signatures (on x86 a wrong stack size would not survive this).
TEST(FailingImports, StandInsFailAsTheirFunctionsDoAndOthersHaveNone)
{
    auto verify = StandIn<decltype(&::WinVerifyTrust)>("WINTRUST.dll", "WinVerifyTrust");
    ASSERT_NE(verify, nullptr);
    ::SetLastError(0);
    EXPECT_NE(verify(nullptr, nullptr, nullptr), 0) << "zero would mean trusted";
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    auto open = StandIn<decltype(&::BCryptOpenAlgorithmProvider)>("bcrypt.dll", "BCryptOpenAlgorithmProvider");
    ASSERT_NE(open, nullptr);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    EXPECT_FALSE(BCRYPT_SUCCESS(open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)));

    auto session = StandIn<decltype(&::WinHttpOpen)>("winhttp.dll", "WinHttpOpen");
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session(L"agent", 0, nullptr, nullptr, 0), nullptr);

    EXPECT_EQ(App::FailingImport("gdiplus.dll", "GdipAlloc"), nullptr) << "no sound failure: the program stops";
    EXPECT_EQ(App::FailingImport("wintrust.dll", "NoSuchFunction"), nullptr);
    EXPECT_EQ(App::FailingImport("crypt32.dll", "WinVerifyTrust"), nullptr) << "the function of another DLL";
}

std::string Escaped(const std::wstring& path)
{
    std::string out;
    for (const wchar_t c : path) {
        out += c == L'\\' ? std::string("\\\\") : std::string(1, static_cast<char>(c));
    }
    return out;
}

// Wine is told, for these programs, to load a DLL only from a file that is not its own
// placeholder: the system folder's copy then fails to load, while a copy planted beside the
// program would load if anything looked for one there.
class SystemFolderCopyMissing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_app));
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_markers));
        const std::wstring planted = TestSupport::BinDirectory() + L"\\planted";
        for (const wchar_t* file : { L"vlm_delay_probe.exe", L"vlm_plant_control.exe" }) {
            ASSERT_TRUE(::CopyFileW((planted + L"\\" + file).c_str(), (m_app + L"\\" + file).c_str(), FALSE));
        }
        ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\VellumoraInstaller.exe").c_str(),
            (m_app + L"\\VellumoraInstaller.exe").c_str(), FALSE));
        ::SetEnvironmentVariableW(L"VLM_PLANTED_MARKERS", m_markers.c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
    }

    // Plants a copy of dll beside the programs and keeps them from loading the system's.
    void MakeSystemCopyFail(const std::wstring& dll)
    {
        ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\planted\\" + dll + L".dll").c_str(),
            (m_app + L"\\" + dll + L".dll").c_str(), FALSE));
        for (const wchar_t* program : kPrograms) {
            const std::wstring key = L"Software\\Wine\\AppDefaults\\" + std::wstring(program) + L"\\DllOverrides";
            ASSERT_EQ(
                ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), dll.c_str(), REG_SZ, L"native", sizeof(L"native")),
                ERROR_SUCCESS);
        }
    }

    void TearDown() override
    {
        for (const wchar_t* program : kPrograms) {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + std::wstring(program)).c_str());
        }
        ::SetEnvironmentVariableW(L"VLM_PLANTED_MARKERS", nullptr);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
    }

    TestSupport::ProcessResult Run(const std::wstring& program, const std::wstring& arguments)
    {
        return TestSupport::RunProcessToFile(
            TestSupport::QuoteArgument(program) + L" " + arguments, m_dir / L"output.txt", 50000);
    }

    bool PlantedCopyLoaded(const std::wstring& dll = L"wintrust") const
    {
        return Utils::PathExists(m_markers + L"\\" + dll + L".marker");
    }

    static constexpr const wchar_t* kPrograms[]
        = { L"vlm_delay_probe.exe", L"vlm_plant_control.exe", L"VellumoraInstaller.exe" };
    TestSupport::TempDir m_dir { L"delay load" };
    std::wstring m_app = m_dir / L"app";
    std::wstring m_markers = m_dir / L"markers";
};

TEST_F(SystemFolderCopyMissing, ItsFunctionsFailAndThePlantedCopyIsNeverLoaded)
{
    MakeSystemCopyFail(L"wintrust");
    // A search by name finds the planted copy.
    auto run = Run(m_app + L"\\vlm_plant_control.exe", L"wintrust.dll");
    ASSERT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(PlantedCopyLoaded()) << "the control loads the planted copy";
    ASSERT_TRUE(::DeleteFileW((m_markers + L"\\wintrust.marker").c_str()));

    // The helper's call fails as the function fails, and looks nowhere else.
    run = Run(m_app + L"\\vlm_delay_probe.exe", L"");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.output.find("WinVerifyTrust 0x8007007E error 126"), std::string::npos) << run.output;
    EXPECT_FALSE(PlantedCopyLoaded());

    // The installer, with a pin, takes a check that cannot run for a refused signature: the
    // validly signed package never runs.
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    TestSupport::HttpTestServer server;
    ASSERT_TRUE(server.Running());
    server.AddBody("pkg.exe",
        std::make_shared<const std::string>(TestSupport::ReadFileBytes(SigningTest::Fixture(L"pkg-leafA.exe"))));
    const std::wstring installed = m_dir / L"installed";
    const std::wstring packageRan = m_dir / L"package-ran.bin";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(installed));
    ASSERT_TRUE(TestSupport::WriteFileBytes(
        installed + L"\\__Package_Vellumora.script", "cmdline " + Escaped(packageRan) + "\nout State=Success\n"));
    const std::wstring pin(SigningTest::ThumbprintOf(L"leafA"));
    ASSERT_TRUE(TestSupport::WriteFileBytes(m_app + L"\\TarvikInstallerConfig.ini",
        "[Install]\r\nDownloadUrl=" + server.FileUrl("pkg.exe")
            + "\r\nIsCheckNet=false\r\nQuiet=true\r\nPackageSigner=" + std::string(pin.begin(), pin.end()) + "\r\n"));
    run = Run(TestSupport::BinDirectory() + L"\\vlmlog.exe",
        L"--timeout=40 " + TestSupport::QuoteArgument(m_app + L"\\VellumoraInstaller.exe") + L" "
            + TestSupport::QuoteArgument(L"-installdir=" + installed));
    EXPECT_EQ(run.exitCode, 8u) << run.output;
    EXPECT_NE(run.output.find("wintrust.dll not loaded from the system folder"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("signature refused"), std::string::npos) << run.output;
    EXPECT_FALSE(Utils::PathExists(packageRan));
    EXPECT_FALSE(PlantedCopyLoaded());
}

// Nothing can be drawn without GDI+: the window run ends at once, with a log line.
TEST_F(SystemFolderCopyMissing, AFunctionWithoutAKnownFailureEndsTheInstaller)
{
    MakeSystemCopyFail(L"gdiplus");
    const auto run = Run(TestSupport::BinDirectory() + L"\\vlmlog.exe",
        L"--timeout=40 " + TestSupport::QuoteArgument(m_app + L"\\VellumoraInstaller.exe"));
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("gdiplus.dll not loaded from the system folder (error 126), and "), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("has no known failure: the installer stops"), std::string::npos) << run.output;
    EXPECT_FALSE(PlantedCopyLoaded(L"gdiplus"));
}

} // namespace
