// A package read from a file (an offline layout, a share): every download type reads it, under
// a download's custody and checks, with a download's events.
#include <gtest/gtest.h>

#include <algorithm>

#include "EventRecorder.h"
#include "download/LocalFileDownloader.h"
#include "support/TempDir.h"
#include "utils/FileSystem.h"
#include "utils/Md5.h"

using namespace Download;
using DownloadTests::Codes;
using DownloadTests::EventRecorder;

namespace {

constexpr DWORD kRunLimitMs = 30000;

std::string Md5(const std::string& bytes)
{
    Utils::Md5Stream md5;
    md5.Add(bytes.data(), bytes.size());
    return md5.Finish();
}

// dir\<folder>\pkg.exe holding bytes; its path.
std::wstring Place(const TestSupport::TempDir& dir, const std::string& folder, const std::string& bytes)
{
    const std::wstring path = dir / std::wstring(folder.begin(), folder.end());
    ::CreateDirectoryW(path.c_str(), nullptr);
    EXPECT_TRUE(TestSupport::WriteFileBytes(path + L"\\pkg.exe", bytes));
    return path + L"\\pkg.exe";
}

} // namespace

TEST(LocalFileDownloader, EveryDownloadTypeReadsAFileUnderADownloadsCustody)
{
    TestSupport::TempDir dir;
    const std::string body = *TestSupport::MakeBody(3 * 1048576 + 7);
    const std::string md5 = Md5(body);
    const std::wstring source = Place(dir, md5, body);
    std::wstring fileUrl = L"file:///" + source;
    std::replace(fileUrl.begin(), fileUrl.end(), L'\\', L'/');
    for (const auto& [type, address] : { std::pair { 1, source }, std::pair { 2, fileUrl }, std::pair { 3, source } }) {
        SCOPED_TRACE(type);
        EventRecorder events;
        const std::wstring out = dir / (L"out" + std::to_wstring(type) + L".exe");
        auto downloader = CreateDownloader(type, events.Callback(), address, out);
        ASSERT_NE(dynamic_cast<LocalFileDownloader*>(downloader.get()), nullptr) << "no server to talk to";
        downloader->Start();
        ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
        EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
        EXPECT_EQ(TestSupport::ReadFileBytes(out), body);
        EXPECT_EQ(downloader->CheckedDigest(), md5);
        EXPECT_EQ(downloader->DeliveredName(), L"pkg.exe");
        // Sealed by its writer: the holder can tell nothing wrote to it since.
        Utils::UniqueFileHandle held(::CreateFileW(
            out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(downloader->WrittenStamp().Matches(Utils::ReadFileStamp(held.get())));
        EXPECT_FALSE(Utils::PathExists(out + L".part"));
    }
}

// A package changed in the layout no longer has the MD5 its folder names: it is refused, as a
// download whose bytes differ from its address's MD5, after the one retry.
TEST(LocalFileDownloader, WhatTheFolderNameDoesNotVouchForIsRefused)
{
    TestSupport::TempDir dir;
    const std::string body = *TestSupport::MakeBody(1048576);
    const std::string changed = std::string(body).replace(100, 4, "evil");
    PackageRules tooSmall;
    tooSmall.maxBytes = 1024;
    PackageRules vouched;
    vouched.acceptWithoutDigest = true;
    const struct {
        const char* name;
        std::wstring source;
        PackageRules rules;
        std::vector<int> codes;
        const wchar_t* message; // of the first 1006, or ""
    } cases[] = {
        { "changed", Place(dir, Md5(body), changed), {},
            { DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY, DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL },
            L"file文件md5校验失败" },
        { "no digest folder", Place(dir, "layout", body), {}, { DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL },
            L"file获取path-md5失败" },
        { "no digest folder, vouched for", Place(dir, "vouched", body), vouched,
            { DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_SUCCESS }, L"file获取path-md5失败" },
        { "missing", dir / L"nowhere\\pkg.exe", {}, { DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_FAIL },
            L"" },
        { "past the maximum size", Place(dir, Md5(body) + "x", body), tooSmall, { DL_CODE_START, DL_CODE_FAIL }, L"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventRecorder events;
        const std::wstring out = dir / L"out.exe";
        LocalFileDownloader downloader(events.Callback(), c.source, out, c.rules);
        DownloadTests::RestartOnRetry(events, downloader);
        downloader.Start();
        ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
        EXPECT_EQ(events.Codes(), c.codes);
        const auto messages = events.OfCode(DL_CODE_MESSAGE);
        EXPECT_EQ(messages.empty() ? L"" : messages.front().message, c.message);
        EXPECT_EQ(Utils::PathExists(out), c.codes.back() == DL_CODE_SUCCESS) << "a refused file is not kept";
        ::DeleteFileW(out.c_str());
    }
}
