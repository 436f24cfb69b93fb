#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Toolkit {

using Bytes = std::vector<std::uint8_t>;

// The skin: a 7z archive held in memory. Its blocks (7z folders) are decoded one at a time,
// the first time a file of a block is asked for, so an image set no window needs is never
// decoded. Names are looked up ignoring case, with "\" and "/" alike ("res\mainWnd\Cb1.png"
// finds "res/mainWnd/cb1.png").
class SkinArchive {
public:
    // Reads the archive's table of files; nothing on failure (error set). The bytes must stay
    // in place for the archive's life (a resource stays mapped for the process).
    static std::unique_ptr<SkinArchive> Open(const void* data, std::size_t size, std::wstring* error = nullptr);
    ~SkinArchive();
    SkinArchive(const SkinArchive&) = delete;
    SkinArchive& operator=(const SkinArchive&) = delete;

    // A file's bytes; nullptr when the skin lacks it or its block does not decode. The bytes
    // stay valid for the archive's life. Safe from any thread.
    const Bytes* Find(std::wstring_view name) const;
    std::size_t FileCount() const noexcept { return m_numbers.size(); }
    std::vector<std::wstring> Names() const;
    // How many blocks have been decoded so far, of how many.
    std::size_t DecodedBlocks() const;
    std::size_t BlockCount() const noexcept { return m_blockState.size(); }

    static std::wstring NormaliseName(std::wstring_view name);

private:
    struct Reader;
    enum class BlockState : std::uint8_t { Packed, Decoded, Failed };

    explicit SkinArchive(std::unique_ptr<Reader> reader);
    void DecodeBlock(std::uint32_t block) const;

    std::unique_ptr<Reader> m_reader;
    std::unordered_map<std::wstring, std::uint32_t> m_numbers; // name -> file number
    mutable std::mutex m_mutex;
    mutable std::vector<BlockState> m_blockState;
    mutable std::unordered_map<std::uint32_t, Bytes> m_files; // decoded files by number
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
