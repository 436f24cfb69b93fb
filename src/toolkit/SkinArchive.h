#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Toolkit {

using Bytes = std::vector<std::uint8_t>;

// The skin: a 7z archive decoded once into memory. Names are looked up ignoring case,
// with "\" and "/" alike ("res\mainWnd\Cb1.png" finds "res/mainWnd/cb1.png").
class SkinArchive {
public:
    // Decodes every file of a 7z archive held in memory; nothing on failure (error set).
    static std::unique_ptr<SkinArchive> Open(const void* data, std::size_t size, std::wstring* error = nullptr);

    const Bytes* Find(std::wstring_view name) const;
    std::size_t FileCount() const noexcept { return m_files.size(); }
    std::vector<std::wstring> Names() const;

    static std::wstring NormaliseName(std::wstring_view name);

private:
    std::unordered_map<std::wstring, Bytes> m_files;
};

// The program's own skin: resource type "ZIPRES" (language 2052 preferred) of the given
// module, decoded on first use and kept for the life of the process. UI thread.
struct SkinSource {
    HMODULE module = nullptr; // nullptr: the executable
    int resourceId = 147;
};
void SetSkinSource(const SkinSource& source);
const SkinArchive* Skin();

// The folder of the program's executable, with a trailing backslash: where loose skin
// files would live on disk next to the packed skin.
std::wstring ResourceFolder();

// One file of the program's skin as bytes; nothing when the skin or the file is missing.
std::optional<Bytes> ReadSkinFile(std::wstring_view name);

} // namespace Toolkit
