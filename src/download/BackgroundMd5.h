#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <condition_variable>
#include <string>
#include <thread>
#include <vector>

#include "utils/Md5.h"

namespace Download {

// MD5 of a body, computed on a thread of its own while the caller goes on receiving and
// writing: at loopback speed hashing costs about as much as everything else together, so
// done in line it halves the download rate. Add copies into a few fixed blocks; a full
// block goes to the hashing thread while the caller fills the next one. One caller at a time
// feeds it (AddFile, Add, Finish); the hashing thread is its own.
class BackgroundMd5 {
public:
    BackgroundMd5() = default;
    // Stops hashing and waits for the thread; the digest is dropped.
    ~BackgroundMd5();
    BackgroundMd5(const BackgroundMd5&) = delete;
    BackgroundMd5& operator=(const BackgroundMd5&) = delete;

    // Hashes a file on the calling thread; only before the first Add (a resumed part file).
    bool AddFile(const std::wstring& path);
    void Add(const void* data, std::size_t size);
    // Waits for every block; 32 lower-case hex digits, or "" after a failure. Ends the stream.
    std::string Finish();

private:
    void Submit();
    void HashBlocks();
    void StopThread(bool drop);

    Utils::Md5Stream m_digest;
    std::vector<std::vector<unsigned char>> m_blocks;
    std::vector<std::size_t> m_sizes;
    std::vector<std::size_t> m_free;
    std::deque<std::size_t> m_full;
    std::size_t m_current = 0;
    std::size_t m_fill = 0;
    bool m_started = false;
    bool m_inline = false;
    bool m_ending = false;
    bool m_drop = false;
    bool m_ok = true;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

} // namespace Download
