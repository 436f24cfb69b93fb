#include "toolkit/ScreenCapture.h"

#include <vector>

#include "toolkit/GdiplusInclude.h"
#include "toolkit/GdiplusSession.h"
#include "toolkit/Handles.h"

namespace Toolkit {
namespace {

bool PngEncoder(CLSID& clsid)
{
    UINT count = 0;
    UINT size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    if (size == 0) {
        return false;
    }
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

} // namespace

bool SaveScreenAreaPng(const RECT& area, const std::wstring& path)
{
    if (!EnsureGdiplus()) {
        return false;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    WindowDc screen(nullptr);
    UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    {
        SelectedObject selected(dc.get(), bitmap.get());
        ::BitBlt(dc.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY | CAPTUREBLT);
    }
    return SaveBitmapPng(bitmap.get(), path);
}

bool SaveBitmapPng(HBITMAP bitmap, const std::wstring& path)
{
    if (!EnsureGdiplus()) {
        return false;
    }
    Gdiplus::Bitmap image(bitmap, nullptr);
    CLSID png {};
    return PngEncoder(png) && image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

} // namespace Toolkit
