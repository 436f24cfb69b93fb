#include "toolkit/ImageCache.h"

#include <shlwapi.h>

#include <iterator>
#include <system_error>

#include "toolkit/Diagnostics.h"
#include "toolkit/DpiScale.h"
#include "toolkit/GdiplusInclude.h"
#include "toolkit/GdiplusSession.h"
#include "toolkit/SkinArchive.h"

namespace Toolkit {
namespace {

struct ComRelease {
    void operator()(IUnknown* p) const noexcept { p->Release(); }
};

} // namespace

std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const void* data, std::size_t size)
{
    if (!EnsureGdiplus() || !data || size == 0) {
        return nullptr;
    }
    std::unique_ptr<IStream, ComRelease> stream(
        ::SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size)));
    if (!stream) {
        return nullptr;
    }
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.get()));
    if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    // GDI+ may read the stream lazily; a copy in its own memory outlives it and draws faster.
    const int width = static_cast<int>(decoded->GetWidth());
    const int height = static_cast<int>(decoded->GetHeight());
    auto copy = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
    if (copy->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    {
        Gdiplus::Graphics g(copy.get());
        g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        g.DrawImage(decoded.get(), Gdiplus::Rect(0, 0, width, height), 0, 0, width, height, Gdiplus::UnitPixel);
    }
    return copy;
}

ImageCache& ImageCache::Instance()
{
    EnsureGdiplus(); // started first so it is shut down after the cache
    static ImageCache cache;
    return cache;
}

ImageCache::~ImageCache()
{
    if (m_warmUp.joinable()) {
        m_warmUp.join();
    }
}

void ImageCache::WarmUp()
{
    std::call_once(m_warmUpOnce, [this] {
        if (EnsureGdiplus()) {
            StartWarmUp();
        }
    });
}

void ImageCache::StartWarmUp()
{
    try {
        m_warmUp = std::thread([] {
            // One transparent pixel.
            static const BYTE kPng[] = { 0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49,
                0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F,
                0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0B, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x60, 0x00, 0x02,
                0x00, 0x00, 0x05, 0x00, 0x01, 0x7A, 0x5E, 0xAB, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44,
                0xAE, 0x42, 0x60, 0x82 };
            DecodeImage(kPng, sizeof(kPng));
        });
    } catch (const std::system_error&) {
        // No thread to be had: the first image pays for the decoder's loading instead.
    }
}

Gdiplus::Bitmap* ImageCache::Get(std::wstring_view name)
{
    const std::wstring key = SkinArchive::NormaliseName(name);
    const auto it = m_images.find(key);
    if (it != m_images.end()) {
        return it->second.get();
    }
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    const SkinArchive* skin = Skin();
    if (const Bytes* bytes = skin ? skin->Find(key) : nullptr) {
        bitmap = DecodeImage(bytes->data(), bytes->size());
        if (!bitmap) {
            Diagnostic(L"image does not decode: " + key);
        }
    }
    return m_images.emplace(key, std::move(bitmap)).first->second.get();
}

ImageCache::Scaled ImageCache::Get(std::wstring_view name, UINT dpi)
{
    constexpr int kSets = static_cast<int>(std::size(kImageSets));
    int first = kSets - 1;
    for (int i = 0; i < kSets; ++i) {
        if (kImageSets[i].dpi >= dpi) {
            first = i;
            break;
        }
    }
    // Upwards from the nearest set at or above the scale, then downwards below it.
    for (int i = first; i < kSets; ++i) {
        if (Gdiplus::Bitmap* bitmap = Get(ImageSetName(name, kImageSets[i]))) {
            return Scaled { bitmap, kImageSets[i].dpi };
        }
    }
    for (int i = first - 1; i >= 0; --i) {
        if (Gdiplus::Bitmap* bitmap = Get(ImageSetName(name, kImageSets[i]))) {
            return Scaled { bitmap, kImageSets[i].dpi };
        }
    }
    return Scaled {};
}

void ImageCache::Clear()
{
    m_images.clear();
}

} // namespace Toolkit
