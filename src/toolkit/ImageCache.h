#pragma once

#include <memory>
#include <string>
#include <string_view>
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
    void Clear();
    ~ImageCache();

private:
    ImageCache() = default;
    std::unordered_map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_images;
};

// Decodes PNG/BMP/JPEG bytes into a premultiplied 32-bit bitmap; nullptr when they do not decode.
std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const void* data, std::size_t size);

} // namespace Toolkit
