// The international installer under Xvfb with real input: the language it starts in, the
// user's choice in the list, what the package is told, and every language's pages on one
// contact sheet. This program embeds the international skin, so layout positions are its.
// A Wine program's system language follows the Unix locale it was started under, and the
// installer inherits this program's whatever its Windows environment says: CMakeLists.txt
// runs the system-language cases once per locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "AccessibleClient.h"
#include "DemoHelpers.h"
#include "GuiDriver.h"
#include "InstallerHarness.h"
#include "support/ProcessRunner.h"
#include "toolkit/Handles.h"
#include "toolkit/ScreenCapture.h"
#include "utils/FileSystem.h"

using namespace InstallerGui;

namespace {

constexpr wchar_t kMain[] = L"MainWnd.xml";
constexpr int kPolish = 11;

HWND LanguageList(HWND main)
{
    return ::FindWindowExW(main, nullptr, L"ComboBox", nullptr);
}

int SelectedLanguage(HWND main)
{
    DWORD_PTR index = static_cast<DWORD_PTR>(-1);
    ::SendMessageTimeoutW(LanguageList(main), CB_GETCURSEL, 0, 0, SMTO_NORMAL, 3000, &index);
    return static_cast<int>(index);
}

std::wstring ListText(HWND main)
{
    wchar_t text[64] = {};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(
        LanguageList(main), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 3000, &ignored);
    return text;
}

// Window captures laid out in a grid and saved as one PNG.
class ContactSheet {
public:
    ContactSheet(int columns, int rows, SIZE cell)
        : m_columns(columns)
        , m_cell(cell)
        , m_screen(nullptr)
        , m_dc(::CreateCompatibleDC(m_screen.get()))
        , m_bitmap(::CreateCompatibleBitmap(m_screen.get(), columns * cell.cx, rows * cell.cy))
    {
    }
    void Add(int index, HWND window)
    {
        RECT r;
        ::GetWindowRect(window, &r);
        Toolkit::SelectedObject selected(m_dc.get(), m_bitmap.get());
        ::BitBlt(m_dc.get(), (index % m_columns) * m_cell.cx, (index / m_columns) * m_cell.cy, m_cell.cx, m_cell.cy,
            m_screen.get(), r.left, r.top, SRCCOPY);
    }
    std::wstring Save(const std::wstring& name)
    {
        const std::wstring folder = TestSupport::BinDirectory() + L"\\..\\screenshots";
        Utils::EnsureDirectoryPath(folder);
        const std::wstring path = folder + L"\\" + name;
        return Toolkit::SaveBitmapPng(m_bitmap.get(), path) ? path : std::wstring();
    }

private:
    int m_columns;
    SIZE m_cell;
    Toolkit::WindowDc m_screen;
    Toolkit::UniqueMemoryDc m_dc;
    Toolkit::UniqueBitmap m_bitmap;
};

class IntlInstallerGuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteProductKey();
        ASSERT_TRUE(m_server.Running());
        m_server.AddBody("pkg.exe", PackageBody());
        m_app = m_root / L"app";
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_app));
        ASSERT_TRUE(::CopyFileW(
            (TestSupport::BinDirectory() + L"\\VellumoraInstaller-intl.exe").c_str(), Exe().c_str(), FALSE));
        ASSERT_TRUE(WriteSettings("pkg.exe"));
    }

    void TearDown() override
    {
        m_installer.Kill();
        // The demo package's uninstaller takes its shortcuts away.
        if (!m_demoFolder.empty() && DemoTest::Exists(m_demoFolder + L"\\uninst.ep")) {
            DemoTest::RunUninstaller(m_demoFolder);
        }
        DeleteProductKey();
    }

    bool WriteSettings(const std::string& package, const std::string& extra = "")
    {
        const std::string ini = "[Install]\r\nDownloadUrl=" + m_server.FileUrl(package)
            + "\r\nDownloadType=1\r\nIsCheckNet=false\r\n" + extra;
        return TestSupport::WriteFileBytes(m_app + L"\\TarvikInstallerConfig.ini", ini);
    }

    std::wstring Exe() const { return m_app + L"\\VellumoraInstaller-intl.exe"; }

    HWND Start(const std::wstring& arguments = L"")
    {
        m_installer.Kill();
        if (!m_installer.Start(Exe(), arguments)) {
            return nullptr;
        }
        return WaitForProcessWindow(m_installer.Pid(), L"MainWnd");
    }

    // The list settles on its language during start-up.
    void ExpectLanguage(HWND main, int index)
    {
        EXPECT_TRUE(WaitFor([&] { return SelectedLanguage(main) == index; }, 3000))
            << "selected " << SelectedLanguage(main) << ", expected " << index;
    }

    // Opens the list and clicks one of its entries, both with the real pointer.
    void PickLanguage(HWND main, int index)
    {
        RECT box;
        ::GetWindowRect(LanguageList(main), &box);
        GuiDriver::ClickLeft(GuiDriver::Centre(box));
        HWND list = WaitForProcessWindow(m_installer.Pid(), L"ComboLBox", 5000);
        ASSERT_NE(list, nullptr) << "the list did not drop down";
        DWORD_PTR height = 0;
        DWORD_PTR top = 0;
        ::SendMessageTimeoutW(list, LB_GETITEMHEIGHT, 0, 0, SMTO_NORMAL, 3000, &height);
        ::SendMessageTimeoutW(list, LB_GETTOPINDEX, 0, 0, SMTO_NORMAL, 3000, &top);
        ASSERT_GT(height, 0u);
        RECT client;
        ::GetClientRect(list, &client);
        POINT item { client.right / 2, static_cast<LONG>((index - static_cast<int>(top)) * height + height / 2) };
        ASSERT_LT(item.y, client.bottom) << "entry not visible in the dropped list";
        ::ClientToScreen(list, &item);
        GuiDriver::ClickLeft(item);
    }

    TestSupport::HttpTestServer m_server;
    std::wstring m_demoFolder;
    TestSupport::TempDir m_root { L"intl gui" };
    std::wstring m_app;
    InstallerProcess m_installer;
};

} // namespace

TEST_F(IntlInstallerGuiTest, TheSystemLanguageChoosesTheFirstLanguage)
{
    struct Case {
        LANGID system;
        int expected;
        const wchar_t* entry;
        const wchar_t* shot;
    };
    // Chinese (PRC) is not in the system-language table: English.
    const Case cases[] = {
        { 1031, 5, L"Deutsch", L"intl-system-1031-german.png" },
        { 3082, 7, L"Español", L"intl-system-3082-spanish.png" },
        { 2052, 0, L"English", L"intl-system-2052-english.png" },
    };
    const LANGID system = ::GetUserDefaultUILanguage();
    const Case* c = std::find_if(std::begin(cases), std::end(cases), [&](const Case& k) { return k.system == system; });
    if (c == std::end(cases)) {
        GTEST_SKIP() << "system language " << system
                     << " is none of the cases; CTest runs this test under de_DE, es_ES and zh_CN";
    }
    HWND main = Start();
    ASSERT_NE(main, nullptr);
    ExpectLanguage(main, c->expected);
    EXPECT_EQ(ListText(main), c->entry);
    ::Sleep(200);
    Shot(main, c->shot);
}

TEST_F(IntlInstallerGuiTest, TheLanguageOptionChoosesTheFirstLanguage)
{
    struct Case {
        const wchar_t* arguments;
        int expected;
        const wchar_t* shot;
    };
    // CTest runs this under a German system too.
    const Case cases[] = {
        { L"-language=9", 9, L"intl-option-9-japanese.png" },
        { L"-language=99", 0, L"intl-option-99-english.png" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.arguments));
        HWND main = Start(c.arguments);
        ASSERT_NE(main, nullptr);
        ExpectLanguage(main, c.expected);
        ::Sleep(200);
        Shot(main, c.shot);
    }
}

// The earlier installation's language counts only when it recorded one; otherwise
// "-language" (or the system's language) stays in force.
TEST_F(IntlInstallerGuiTest, AnEarlierInstallationsLanguageOverridesTheSystem)
{
    const std::wstring existing = m_root / L"existing";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(existing));
    ASSERT_TRUE(TestSupport::WriteFileBytes(existing + L"\\uninst.ep", "x"));
    ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\TarvikSoft\\Vellumora", L"InstallPath", REG_SZ, existing.c_str(),
        static_cast<DWORD>((existing.size() + 1) * sizeof(wchar_t)));
    const struct {
        const wchar_t* recorded; // nullptr: no config.ini
        const wchar_t* arguments;
        int expected;
        const wchar_t* shot;
    } cases[] = {
        { L"ru-RU", L"", 14, L"intl-existing-installation-russian.png" },
        { L"ru-RU", L"-language=5", 14, nullptr },
        { nullptr, L"-language=5", 5, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.recorded ? Utf8(c.recorded) : "no config.ini");
        ::DeleteFileW((existing + L"\\config.ini").c_str());
        if (c.recorded) {
            ASSERT_TRUE(::WritePrivateProfileStringW(
                L"Install", L"Language", c.recorded, (existing + L"\\config.ini").c_str()));
        }
        HWND main = Start(c.arguments);
        ASSERT_NE(main, nullptr);
        HWND tip = WaitForProcessWindow(m_installer.Pid(), L"InstalledPathTipWnd");
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(SelectedLanguage(main), c.expected);
        if (c.shot) {
            Shot(tip, c.shot);
        }
        Click(tip, L"InstalledPathTipWnd.xml", L"closebtn");
        EXPECT_EQ(m_installer.WaitExit(10000), 0u);
    }
}

TEST_F(IntlInstallerGuiTest, PickingPolishChangesTheTextsRefusalsAndThePackagesLanguage)
{
    HWND main = Start();
    ASSERT_NE(main, nullptr);
    ExpectLanguage(main, 0);
    Shot(main, L"intl-before-pick-english.png");
    PickLanguage(main, kPolish);
    ExpectLanguage(main, kPolish);
    ::Sleep(300);
    Shot(main, L"intl-picked-polish-start.png");

    Click(main, kMain, L"customeBtn", 0);
    ::Sleep(300);
    Shot(main, L"intl-picked-polish-custom.png");
    TypeIntoEdit(main, kMain, L"installDirEdit", 1, m_root / L"bad|name");
    Click(main, kMain, L"customeInstallBtn", 1);
    HWND box = WaitForProcessWindow(m_installer.Pid(), L"MessageBox2Wnd");
    ASSERT_NE(box, nullptr);
    Shot(box, L"intl-refusal-polish.png");
    Click(box, L"MessageBox2Wnd.xml", L"closebtn");
    ASSERT_TRUE(GuiDriver::WaitGone(box, 5000));

    const std::wstring folder = m_root / L"polski";
    const std::wstring record = m_root / L"package-cmdline.bin";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(folder));
    ASSERT_TRUE(TestSupport::WriteFileBytes(
        folder + L"\\__Package_Vellumora.script", "cmdline " + Utf8(record) + "\nout State=Success\n"));
    TypeIntoEdit(main, kMain, L"installDirEdit", 1, folder);
    Click(main, kMain, L"customeInstallBtn", 1);
    ASSERT_TRUE(WaitFor([&] { return ReadProductValue(L"InstallPath") == folder; }, 25000));
    ::Sleep(300);
    Shot(main, L"intl-picked-polish-finished.png");
    const std::string bytes = TestSupport::ReadFileBytes(record);
    const std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    EXPECT_NE(line.find(L" -inslang=\"pl-PL\" "), std::wstring::npos) << Utf8(line);
}

TEST_F(IntlInstallerGuiTest, TheDemoPackageKeepsThePickedLanguageForTheNextRun)
{
    std::string package = TestSupport::ReadFileBytes(DemoTest::PackagePath(L"1.0"));
    ASSERT_FALSE(package.empty());
    package.resize(std::max<std::size_t>(package.size(), 1536 * 1024), '\0');
    m_server.AddBody("demo.exe", std::make_shared<const std::string>(std::move(package)));
    ASSERT_TRUE(WriteSettings("demo.exe", "InstCmd=-stepms=0\r\n"));
    m_demoFolder = m_root / L"Quorvel";

    HWND main = Start();
    ASSERT_NE(main, nullptr);
    PickLanguage(main, kPolish);
    ExpectLanguage(main, kPolish);
    Click(main, kMain, L"customeBtn", 0);
    TypeIntoEdit(main, kMain, L"installDirEdit", 1, m_demoFolder);
    Click(main, kMain, L"customeInstallBtn", 1);
    ASSERT_TRUE(WaitFor([&] { return ReadProductValue(L"InstallPath") == m_demoFolder; }, 40000));
    EXPECT_EQ(DemoTest::IniValue(m_demoFolder + L"\\config.ini", L"Install", L"Language"), L"pl-PL");
    m_installer.Kill();

    main = Start();
    ASSERT_NE(main, nullptr);
    HWND tip = WaitForProcessWindow(m_installer.Pid(), L"InstalledPathTipWnd");
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(SelectedLanguage(main), kPolish);
    Shot(tip, L"intl-next-run-polish.png");
    Click(tip, L"InstalledPathTipWnd.xml", L"closebtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u);
}

TEST_F(IntlInstallerGuiTest, ContactSheetsOfEveryLanguage)
{
    ContactSheet start(5, 3, SIZE { 600, 400 });
    ContactSheet custom(5, 3, SIZE { 600, 400 });
    for (int language = 0; language < 15; ++language) {
        HWND main = Start(L"-language=" + std::to_wstring(language));
        ASSERT_NE(main, nullptr);
        ExpectLanguage(main, language);
        ::Sleep(200);
        start.Add(language, main);
        Click(main, kMain, L"customeBtn", 0);
        ::Sleep(300);
        custom.Add(language, main);
    }
    m_installer.Kill();
    for (ContactSheet* sheet : { &start, &custom }) {
        const std::wstring path = sheet->Save(sheet == &start ? L"intl-start-pages.png" : L"intl-custom-pages.png");
        EXPECT_FALSE(path.empty());
        std::printf("contact sheet: %s\n", Utf8(path).c_str());
    }
}

// A removal with a window asks and answers in the skin's own windows, in the chosen language:
// nothing installed is said so; an installation is asked about, and No keeps it.
TEST_F(IntlInstallerGuiTest, ARemovalAsksAndAnswersInTheChosenLanguage)
{
    const auto waitForText = [this](HWND window, const std::wstring& text) {
        AccessibleClient client(window, m_installer.Handle());
        return client.Connected() && WaitFor([&] { return client.Find(text).id > 0; }, 5000);
    };
    ASSERT_TRUE(m_installer.Start(Exe(), L"-uninstall=true -language=0"));
    HWND answer = WaitForProcessWindow(m_installer.Pid(), L"MessageBox1Wnd");
    ASSERT_NE(answer, nullptr) << "the skin's message window, not a system box";
    EXPECT_TRUE(waitForText(answer, L"Vellumora is not installed."));
    Click(answer, L"MessageBox1Wnd.xml", L"okBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 12u);

    const std::wstring existing = m_root / L"existing";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(existing));
    ASSERT_TRUE(TestSupport::WriteFileBytes(existing + L"\\uninst.ep", "x"));
    ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\TarvikSoft\\Vellumora", L"InstallPath", REG_SZ, existing.c_str(),
        static_cast<DWORD>((existing.size() + 1) * sizeof(wchar_t)));
    ASSERT_TRUE(m_installer.Start(Exe(), L"-uninstall=true -language=0"));
    HWND question = WaitForProcessWindow(m_installer.Pid(), L"RemoveTipWnd");
    ASSERT_NE(question, nullptr);
    EXPECT_TRUE(waitForText(question, L"Do you want to uninstall Vellumora?"));
    EXPECT_TRUE(waitForText(question, L"Uninstall"));
    Shot(question, L"intl-removal-question-english.png");
    Click(question, L"RemoveTipWnd.xml", L"cancelBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 1602u);
    EXPECT_EQ(ReadProductValue(L"InstallPath"), existing) << "No removes nothing";
}
