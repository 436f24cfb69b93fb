#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

namespace Gdiplus {
class Bitmap;
}

namespace Toolkit {

// Decoded skin images by name, shared by every window of the process (UI thread).
// A name the skin lacks is remembered as missing and draws nothing.
class ImageCache {
public:
    static ImageCache& Instance();

    Gdiplus::Bitmap* Get(std::wstring_view name);

    // The file of `name` from the image set nearest at or above dpi (the nearest below when
    // the skin lacks it), and the dpi that set is drawn for.
    struct Scaled {
        Gdiplus::Bitmap* bitmap = nullptr;
        UINT dpi = 96;
    };
    Scaled Get(std::wstring_view name, UINT dpi);
    void Clear();
    // Loads the image decoder on a worker thread, once per process, so the first window's
    // first image does not wait for it (under Wine that is most of the first decode).
    void WarmUp();
    ~ImageCache();

private:
    void StartWarmUp();
    ImageCache() = default;
    std::unordered_map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_images;
    std::thread m_warmUp;
    // Windows may be built on more than one thread: the warm-up starts once, whoever asks first.
    std::once_flag m_warmUpOnce;
};

// Decodes PNG/BMP/JPEG bytes into a premultiplied 32-bit bitmap; nullptr when they do not decode.
std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const void* data, std::size_t size);

} // namespace Toolkit
