#include "toolkit/SkinArchive.h"

#include <cwctype>

#include "toolkit/Diagnostics.h"

extern "C" {
#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
}

namespace Toolkit {
namespace {

// An ISeekInStream over bytes in memory (the resource stays mapped for the process).
struct MemoryStream {
    ISeekInStream vt;
    const Byte* data;
    std::size_t size;
    std::size_t position;
};

SRes MemoryRead(ISeekInStreamPtr p, void* buffer, size_t* size) noexcept
{
    auto* stream = reinterpret_cast<MemoryStream*>(const_cast<ISeekInStream*>(p));
    const std::size_t left = stream->size - stream->position;
    const std::size_t count = *size < left ? *size : left;
    memcpy(buffer, stream->data + stream->position, count);
    stream->position += count;
    *size = count;
    return SZ_OK;
}

SRes MemorySeek(ISeekInStreamPtr p, Int64* position, ESzSeek origin) noexcept
{
    auto* stream = reinterpret_cast<MemoryStream*>(const_cast<ISeekInStream*>(p));
    Int64 base = 0;
    if (origin == SZ_SEEK_CUR) {
        base = static_cast<Int64>(stream->position);
    } else if (origin == SZ_SEEK_END) {
        base = static_cast<Int64>(stream->size);
    }
    const Int64 target = base + *position;
    if (target < 0 || target > static_cast<Int64>(stream->size)) {
        return SZ_ERROR_PARAM;
    }
    stream->position = static_cast<std::size_t>(target);
    *position = target;
    return SZ_OK;
}

constexpr std::size_t kLookBufferSize = 1 << 16;

} // namespace

std::wstring SkinArchive::NormaliseName(std::wstring_view name)
{
    std::wstring result;
    result.reserve(name.size());
    for (wchar_t c : name) {
        result.push_back(c == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(c)));
    }
    while (!result.empty() && result.front() == L'/') {
        result.erase(result.begin());
    }
    return result;
}

// The 7z table of files over the bytes in memory; it keeps the stream it reads from in place.
struct SkinArchive::Reader {
    MemoryStream stream;
    ISzAlloc alloc { SzAlloc, SzFree };
    std::vector<Byte> lookBuffer = std::vector<Byte>(kLookBufferSize);
    CLookToRead2 look {};
    CSzArEx db {};

    Reader(const void* data, std::size_t size)
        : stream { { MemoryRead, MemorySeek }, static_cast<const Byte*>(data), size, 0 }
    {
        LookToRead2_CreateVTable(&look, False);
        look.buf = lookBuffer.data();
        look.bufSize = lookBuffer.size();
        look.realStream = &stream.vt;
        LookToRead2_INIT(&look);
        SzArEx_Init(&db);
    }
    ~Reader() { SzArEx_Free(&db, &alloc); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
};

SkinArchive::SkinArchive(std::unique_ptr<Reader> reader)
    : m_reader(std::move(reader))
{
}

SkinArchive::~SkinArchive() = default;

std::unique_ptr<SkinArchive> SkinArchive::Open(const void* data, std::size_t size, std::wstring* error)
{
    auto fail = [&](const wchar_t* why, SRes code) -> std::unique_ptr<SkinArchive> {
        if (error) {
            *error = std::wstring(why) + L" (7z status " + std::to_wstring(code) + L")";
        }
        return nullptr;
    };
    if (!data || size == 0) {
        return fail(L"empty skin archive", SZ_ERROR_INPUT_EOF);
    }

    static const bool crcReady = (CrcGenerateTable(), true);
    (void)crcReady;

    auto reader = std::make_unique<Reader>(data, size);
    const SRes status = SzArEx_Open(&reader->db, &reader->look.vt, &reader->alloc, &reader->alloc);
    if (status != SZ_OK) {
        return fail(L"not a readable 7z archive", status);
    }
    const CSzArEx& db = reader->db;
    auto archive = std::unique_ptr<SkinArchive>(new SkinArchive(std::move(reader)));
    archive->m_blockState.assign(db.db.NumFolders, BlockState::Packed);

    std::vector<UInt16> nameBuffer;
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
        if (SzArEx_IsDir(&db, i)) {
            continue;
        }
        const size_t nameLength = SzArEx_GetFileNameUtf16(&db, i, nullptr);
        nameBuffer.assign(nameLength, 0);
        SzArEx_GetFileNameUtf16(&db, i, nameBuffer.data());
        std::wstring name(nameBuffer.begin(), nameBuffer.end());
        while (!name.empty() && name.back() == L'\0') {
            name.pop_back();
        }
        archive->m_numbers[NormaliseName(name)] = i;
        if (db.FileToFolder[i] == static_cast<UInt32>(-1)) {
            archive->m_files[i] = Bytes(); // an empty file has no block
        }
    }
    return archive;
}

void SkinArchive::DecodeBlock(std::uint32_t block) const
{
    CSzArEx& db = m_reader->db;
    ISzAlloc* alloc = &m_reader->alloc;
    // The first extraction decodes the whole block into outBuffer; the others copy from it.
    UInt32 cachedBlock = 0xFFFFFFFF;
    Byte* outBuffer = nullptr;
    size_t outBufferSize = 0;
    struct BlockGuard {
        Byte** buffer;
        ISzAlloc* alloc;
        ~BlockGuard() { ISzAlloc_Free(alloc, *buffer); }
    } blockGuard { &outBuffer, alloc };

    m_blockState[block] = BlockState::Decoded;
    for (UInt32 i = db.FolderToFile[block]; i < db.FolderToFile[block + 1]; ++i) {
        if (db.FileToFolder[i] != block) {
            continue;
        }
        size_t offset = 0;
        size_t processed = 0;
        const SRes status = SzArEx_Extract(
            &db, &m_reader->look.vt, i, &cachedBlock, &outBuffer, &outBufferSize, &offset, &processed, alloc, alloc);
        if (status != SZ_OK) {
            Diagnostic(L"skin block " + std::to_wstring(block) + L" does not decode (7z status "
                + std::to_wstring(status) + L")");
            m_blockState[block] = BlockState::Failed;
            continue;
        }
        m_files[i] = Bytes(outBuffer + offset, outBuffer + offset + processed);
    }
}

const Bytes* SkinArchive::Find(std::wstring_view name) const
{
    const auto number = m_numbers.find(NormaliseName(name));
    if (number == m_numbers.end()) {
        return nullptr;
    }
    std::lock_guard lock(m_mutex);
    auto file = m_files.find(number->second);
    if (file == m_files.end()) {
        const UInt32 block = m_reader->db.FileToFolder[number->second];
        if (m_blockState[block] != BlockState::Packed) {
            return nullptr; // its block failed
        }
        DecodeBlock(block);
        file = m_files.find(number->second);
    }
    return file == m_files.end() ? nullptr : &file->second;
}

std::vector<std::wstring> SkinArchive::Names() const
{
    std::vector<std::wstring> names;
    for (const auto& [name, number] : m_numbers) {
        names.push_back(name);
    }
    return names;
}

std::size_t SkinArchive::DecodedBlocks() const
{
    std::lock_guard lock(m_mutex);
    std::size_t count = 0;
    for (const BlockState state : m_blockState) {
        count += state != BlockState::Packed ? 1 : 0;
    }
    return count;
}

namespace {

struct SkinState {
    SkinSource source;
    bool attempted = false;
    std::unique_ptr<SkinArchive> archive;
};

SkinState& State()
{
    static SkinState state;
    return state;
}

} // namespace

void SetSkinSource(const SkinSource& source)
{
    if (State().source.module == source.module && State().source.resourceId == source.resourceId) {
        return;
    }
    State() = SkinState {};
    State().source = source;
}

const SkinArchive* Skin()
{
    SkinState& state = State();
    if (state.attempted) {
        return state.archive.get();
    }
    state.attempted = true;
    HMODULE module = state.source.module ? state.source.module : ::GetModuleHandleW(nullptr);
    const auto id = MAKEINTRESOURCEW(state.source.resourceId);
    HRSRC found = ::FindResourceExW(module, L"ZIPRES", id, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (!found) {
        found = ::FindResourceW(module, id, L"ZIPRES");
    }
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) {
        Diagnostic(L"skin resource ZIPRES " + std::to_wstring(state.source.resourceId) + L" not found");
        return nullptr;
    }
    std::wstring error;
    state.archive = SkinArchive::Open(bytes, ::SizeofResource(module, found), &error);
    if (!state.archive) {
        Diagnostic(L"skin resource unusable: " + error);
    }
    return state.archive.get();
}

std::wstring ResourceFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"";
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L"\\/") + 1);
    return path;
}

std::optional<Bytes> ReadSkinFile(std::wstring_view name)
{
    const SkinArchive* skin = Skin();
    const Bytes* bytes = skin ? skin->Find(name) : nullptr;
    if (!bytes) {
        return std::nullopt;
    }
    return *bytes;
}

} // namespace Toolkit
