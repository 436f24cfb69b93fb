#include "Payload.h"

#include "utils/UniqueResource.h"

namespace Demo {

DWORD WritePayload(int id, const std::wstring& path)
{
    // Resources of the running module need no unlocking or freeing.
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
    if (!bytes) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    Utils::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return ::GetLastError();
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes, size, &written, nullptr)) {
        return ::GetLastError();
    }
    return written == size ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

} // namespace Demo
