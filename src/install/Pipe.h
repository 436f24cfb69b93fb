#pragma once

#include <windows.h>

#include "utils/UniqueResource.h"

// One pipe between this process and a child. Both ends start inheritable; the child
// process marks the parent's end non-inheritable before it starts the child.
class CPipe {
public:
    enum class ParentEnd {
        // The parent never touches the pipe (the child's standard input).
        None,
        // The parent reads with overlapped I/O, so a read can be waited for together with a
        // stop request and never blocks the reader for good.
        OverlappedRead,
    };

    CPipe() = default;
    CPipe(const CPipe&) = delete;
    CPipe& operator=(const CPipe&) = delete;

    // Creates both ends; throws Utils::Exception and keeps nothing when that fails.
    void Create(ParentEnd parentEnd);
    // Closes the read end, then the write end.
    void Release();

    HANDLE ReadEnd() const noexcept { return m_read.get(); }
    HANDLE WriteEnd() const noexcept { return m_write.get(); }
    void CloseReadEnd() { m_read.reset(); }
    void CloseWriteEnd() { m_write.reset(); }

private:
    Utils::UniqueHandle m_read;
    Utils::UniqueHandle m_write;
};
