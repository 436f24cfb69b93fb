#include "config/PackageSource.h"
#include "download/CurlDownloader.h"
#include "download/Downloader.h"
#include "download/LocalFileDownloader.h"
#include "download/MTCurlDownloader.h"
#include "download/MirrorDownloader.h"
#include "download/WinHttpDownloader.h"
#include "utils/FileSystem.h"

std::unique_ptr<CDownloader> CreateDownloader(int downloadType, const Download::DownloaderCallback& callback,
    const std::wstring& url, const std::wstring& localPath, const Config::ProxySetting& proxy,
    const Download::PackageRules& rules)
{
    // A file is read as it is, whatever the type: there is no server to talk to.
    if (auto path = Config::LocalPackagePath(url, Utils::ModuleDirectory())) {
        return std::make_unique<LocalFileDownloader>(callback, std::move(*path), localPath, rules);
    }
    switch (downloadType) {
    case 2:
        return std::make_unique<WinHttpDownloader>(callback, url, localPath, proxy, rules);
    case 3:
        return std::make_unique<CMTCurlDownloader>(callback, url, localPath, proxy, rules);
    default:
        return std::make_unique<CCurlDownloader>(callback, url, localPath, proxy, rules);
    }
}

std::unique_ptr<CDownloader> CreateDownloader(int downloadType, const Download::DownloaderCallback& callback,
    const std::vector<std::wstring>& urls, const std::wstring& localPath, const Config::ProxySetting& proxy,
    const Download::PackageRules& rules)
{
    if (urls.size() == 1) {
        return CreateDownloader(downloadType, callback, urls.front(), localPath, proxy, rules);
    }
    auto make
        = [downloadType, localPath, proxy, rules](const std::wstring& url, const Download::DownloaderCallback& events) {
              return CreateDownloader(downloadType, events, url, localPath, proxy, rules);
          };
    return std::make_unique<MirrorDownloader>(make, urls, callback);
}
