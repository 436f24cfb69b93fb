#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/DpiScale.h"
#include "toolkit/GdiplusInclude.h"
#include "toolkit/ImageCache.h"
#include "toolkit/SkinArchive.h"

using namespace Toolkit;

TEST(SkinArchive, FindsLayoutsAndImagesIgnoringCaseAndSlashes)
{
    const SkinArchive* skin = Skin();
    ASSERT_NE(skin, nullptr) << "the test program embeds the skin resource";

    const Bytes* exitTip = skin->Find(L"ExitTipWnd.xml");
    ASSERT_NE(exitTip, nullptr) << "stored as exitTipWnd.xml";
    EXPECT_EQ(exitTip, skin->Find(L"exitTipWnd.xml"));
    const std::string text(exitTip->begin(), exitTip->end());
    EXPECT_NE(text.find("<Window"), std::string::npos);

    const Bytes* checkBox = skin->Find(L"res\\mainWnd\\Cb1.png");
    ASSERT_NE(checkBox, nullptr) << "stored as res/mainWnd/cb1.png";
    EXPECT_EQ(checkBox, skin->Find(L"res/mainWnd/cb1.png"));
    ASSERT_GT(checkBox->size(), 8u);
    EXPECT_EQ((*checkBox)[1], 'P'); // PNG signature
    EXPECT_NE(skin->Find(L"res\\common\\closeBtn_1.png"), nullptr);

    // The disabled images the layouts name but the skin leaves out.
    for (const wchar_t* missing :
        { L"res\\common\\closebtn4.png", L"res\\mainWnd\\Cb4.png", L"res\\TipWnd\\okBtn4.png" }) {
        EXPECT_EQ(skin->Find(missing), nullptr) << missing;
    }
}

TEST(SkinArchive, HoldsTheSevenLayoutsAndTheImages)
{
    const SkinArchive* skin = Skin();
    ASSERT_NE(skin, nullptr);
    for (const wchar_t* layout : { L"mainWnd.xml", L"MessageBox1Wnd.xml", L"MessageBox2Wnd.xml", L"NetworkTipWnd.xml",
             L"InstalledPathTipWnd.xml", L"exitTipWnd.xml", L"RemoveTipWnd.xml" }) {
        EXPECT_NE(skin->Find(layout), nullptr) << layout;
    }
    EXPECT_NE(skin->Find(L"res\\mainWnd\\progressAnimate\\059.png"), nullptr);
    EXPECT_EQ(skin->FileCount(), 7u + 139u * 2u) << "seven layouts, 139 images in two sets";
}

namespace {

SIZE PngSize(const Bytes& png)
{
    auto be32 = [&](std::size_t at) {
        return static_cast<LONG>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
    };
    return png.size() >= 24 && png[1] == 'P' ? SIZE { be32(16), be32(20) } : SIZE { -1, -1 };
}

} // namespace

TEST(SkinArchive, EveryImageComesInBothSetsSizedForTheirScale)
{
    const SkinArchive* skin = Skin();
    ASSERT_NE(skin, nullptr);
    int images = 0;
    for (const std::wstring& name : skin->Names()) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, L".png") != 0
            || name.find(L'@') != std::wstring::npos) {
            continue;
        }
        ++images;
        const SIZE base = PngSize(*skin->Find(name));
        for (const ImageSet& set : kImageSets) {
            const std::wstring scaledName = ImageSetName(name, set);
            const Bytes* scaled = skin->Find(scaledName);
            ASSERT_NE(scaled, nullptr) << std::string(scaledName.begin(), scaledName.end());
            const SIZE size = PngSize(*scaled);
            // The drawing script rounds halves up; so does the toolkit's scale.
            EXPECT_EQ(size.cx, DpiScale { set.dpi }(base.cx)) << std::string(scaledName.begin(), scaledName.end());
            EXPECT_EQ(size.cy, DpiScale { set.dpi }(base.cy)) << std::string(scaledName.begin(), scaledName.end());
        }
    }
    EXPECT_EQ(images, 139);
}

namespace {

// The pixels of a decoded image, 32-bit ARGB, row after row; empty when it does not decode.
std::vector<std::uint8_t> Pixels(const void* data, std::size_t size)
{
    const auto bitmap = DecodeImage(data, size);
    if (!bitmap) {
        return {};
    }
    const UINT width = bitmap->GetWidth();
    const UINT height = bitmap->GetHeight();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    Gdiplus::Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData locked {};
    if (bitmap->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &locked) != Gdiplus::Ok) {
        return {};
    }
    for (UINT y = 0; y < height; ++y) {
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width * 4,
            static_cast<const std::uint8_t*>(locked.Scan0) + static_cast<std::ptrdiff_t>(y) * locked.Stride, width * 4);
    }
    bitmap->UnlockBits(&locked);
    return pixels;
}

std::vector<std::uint8_t> FileBytes(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        std::uint8_t chunk[65536];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        std::fclose(file);
    }
    return bytes;
}

} // namespace

// The packing rewrites the frames (raw rows, palettes reordered to follow the frame before);
// every frame of both sets must still decode to the pixels drawn into skin/res.
TEST(SkinArchive, AnimationFramesDecodeToTheDrawnPixels)
{
    const SkinArchive* skin = Skin();
    ASSERT_NE(skin, nullptr);
    for (const ImageSet& set : kImageSets) {
        for (int frame = 0; frame < 60; ++frame) {
            char name[64];
            std::snprintf(name, sizeof name, "res/mainWnd/progressAnimate/%03d.png", frame);
            const std::wstring packedName = ImageSetName(std::wstring(name, name + std::strlen(name)), set);
            const std::string drawnName(packedName.begin(), packedName.end());
            const Bytes* packed = skin->Find(packedName);
            ASSERT_NE(packed, nullptr) << drawnName;
            const std::vector<std::uint8_t> drawn = FileBytes("Z:" VLM_SKIN_SOURCE_DIR "/" + drawnName);
            ASSERT_FALSE(drawn.empty()) << drawnName;
            const std::vector<std::uint8_t> expected = Pixels(drawn.data(), drawn.size());
            ASSERT_FALSE(expected.empty()) << drawnName;
            EXPECT_TRUE(Pixels(packed->data(), packed->size()) == expected) << drawnName;
        }
    }
}

TEST(ImageCache, PicksTheSetNearestAtOrAboveTheScale)
{
    EXPECT_EQ(ImageSetName(L"res\\mainWnd\\progressAnimate\\000.png", kImageSets[1]),
        L"res\\mainWnd\\progressAnimate\\000@2x.png");
    EXPECT_EQ(ImageSetName(L"res/a.b/file", kImageSets[0]), L"res/a.b/file");
    const std::pair<UINT, UINT> cases[]
        = { { 96, 96 }, { 120, 192 }, { 144, 192 }, { 168, 192 }, { 192, 192 }, { 288, 192 }, { 72, 96 } };
    for (const auto& [dpi, set] : cases) {
        const ImageCache::Scaled found = ImageCache::Instance().Get(L"res\\mainWnd\\installBtn1.png", dpi);
        ASSERT_NE(found.bitmap, nullptr);
        EXPECT_EQ(found.dpi, set) << "window at " << dpi << " dpi";
    }
    EXPECT_EQ(ImageCache::Instance().Get(L"res\\nothing.png", 192).bitmap, nullptr);
}

TEST(SkinArchive, ReadSkinFileCopiesOneFileOrNothing)
{
    const auto bytes = ReadSkinFile(L"RES/MAINWND/LOGO.PNG");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_FALSE(bytes->empty());
    EXPECT_FALSE(ReadSkinFile(L"language.json").has_value());
}

TEST(SkinArchive, RejectsWhatIsNotAnArchive)
{
    std::wstring error;
    const char garbage[] = "7z\xBC\xAF\x27\x1C but then nothing sensible follows here";
    EXPECT_EQ(SkinArchive::Open(garbage, sizeof(garbage), &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(SkinArchive::Open(nullptr, 0, &error), nullptr);

    // A truncated copy of the real skin must fail cleanly too.
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(147), L"ZIPRES");
    ASSERT_NE(found, nullptr);
    const void* data = ::LockResource(::LoadResource(nullptr, found));
    const DWORD size = ::SizeofResource(nullptr, found);
    EXPECT_EQ(SkinArchive::Open(data, size / 2, &error), nullptr);
    EXPECT_NE(SkinArchive::Open(data, size, &error), nullptr);
}

namespace {

std::string_view ResourceBytes()
{
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(147), L"ZIPRES");
    const void* data = found ? ::LockResource(::LoadResource(nullptr, found)) : nullptr;
    return data ? std::string_view(static_cast<const char*>(data), ::SizeofResource(nullptr, found)) : "";
}

} // namespace

TEST(SkinArchive, DecodesOnlyTheBlocksOfTheFilesAskedFor)
{
    const std::string_view bytes = ResourceBytes();
    const auto skin = SkinArchive::Open(bytes.data(), bytes.size());
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->DecodedBlocks(), 0u) << "opening reads the table of files only";
    ASSERT_NE(skin->Find(L"MainWnd.xml"), nullptr);
    EXPECT_EQ(skin->DecodedBlocks(), 1u) << "the layouts are one block";

    // Everything a window at 100 % can show leaves the 2x set packed.
    for (const std::wstring& name : skin->Names()) {
        if (name.find(L'@') == std::wstring::npos) {
            ASSERT_NE(skin->Find(name), nullptr) << std::string(name.begin(), name.end());
        }
    }
    const std::size_t at96 = skin->DecodedBlocks();
    ASSERT_NE(skin->Find(L"res\\mainWnd\\installBtn1@2x.png"), nullptr) << "a window moved to 200 %";
    EXPECT_GT(skin->DecodedBlocks(), at96);
    EXPECT_LT(skin->DecodedBlocks(), skin->BlockCount());
}

TEST(SkinArchive, ADamagedBlockLosesOnlyItsOwnFiles)
{
    const std::string_view bytes = ResourceBytes();
    const Bytes* background = Skin()->Find(L"res/mainWnd/bg1.png");
    ASSERT_NE(background, nullptr);
    // The backgrounds are stored as they are: their bytes appear in the archive.
    std::string damaged(bytes);
    const std::size_t at = damaged.find(std::string_view(reinterpret_cast<const char*>(background->data()), 200));
    ASSERT_NE(at, std::string::npos);
    damaged[at + background->size() / 2] ^= 0x5A;

    const auto skin = SkinArchive::Open(damaged.data(), damaged.size());
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->Find(L"res/mainWnd/bg1.png"), nullptr) << "its checksum fails";
    EXPECT_EQ(skin->Find(L"res/mainWnd/bg1.png"), nullptr) << "and it is not decoded again";
    EXPECT_NE(skin->Find(L"res/mainWnd/bg2.png"), nullptr);
    EXPECT_NE(skin->Find(L"mainWnd.xml"), nullptr);
}

TEST(SkinArchive, ResourceIsChineseLanguage)
{
    EXPECT_NE(::FindResourceExW(
                  nullptr, L"ZIPRES", MAKEINTRESOURCEW(147), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)),
        nullptr);
}
