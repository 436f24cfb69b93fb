#pragma once

#include <cstdint>
#include <cstdio>

namespace Utils {

// What tells a file's content apart without reading it: which file it is (its volume and
// file id), its length and its last-write time, all read through an open handle. Two stamps
// of one file match only when nothing has written to it, replaced it or cut it in between;
// the last-write time is the one a writer cannot leave alone without the right to set it.
struct FileStamp {
    bool valid = false;
    std::uint64_t volume = 0;
    unsigned char fileId[16] = {};
    std::int64_t size = -1;
    std::int64_t lastWrite = 0;

    // False when either could not be read.
    bool Matches(const FileStamp& other) const;
};

// The stamp of an open file (a Win32 HANDLE); invalid when it cannot be read.
FileStamp ReadFileStamp(void* file);

// For the writer, after its last write and before it closes: the last-write time is set
// through its handle to just before now, then the stamp is read. Set through the handle, it
// stays when the handle closes (NTFS otherwise stamps the close of a handle that wrote), and
// a later write by anyone is stamped with a later time, so it never matches again.
FileStamp SealFileStamp(void* file);
// The same for a stdio stream, flushed first; the stream stays open.
FileStamp SealFileStamp(std::FILE* stream);

// True when the open file's volume keeps access lists (NTFS, ReFS): only there does a
// folder's descriptor keep other writers out. FAT and exFAT keep none.
bool KeepsAccessLists(void* file);

} // namespace Utils
