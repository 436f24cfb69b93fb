#include "download/BackgroundMd5.h"

#include <cstring>
#include <new>
#include <system_error>

namespace Download {

namespace {

// Three blocks of 512 KiB: few hand-overs (each costs system calls under Wine) and little
// memory; one is filled while the others wait or are hashed.
constexpr std::size_t kBlockSize = 512 * 1024;
constexpr std::size_t kBlockCount = 3;

} // namespace

BackgroundMd5::~BackgroundMd5()
{
    StopThread(true);
}

bool BackgroundMd5::AddFile(const std::wstring& path)
{
    if (m_started || m_fill > 0) {
        m_ok = false;
        return false;
    }
    m_ok = m_digest.AddFile(path) && m_ok;
    return m_ok;
}

void BackgroundMd5::Add(const void* data, std::size_t size)
{
    if (m_blocks.empty() && !m_inline) {
        try {
            m_blocks.assign(kBlockCount, std::vector<unsigned char>(kBlockSize));
            m_sizes.assign(kBlockCount, 0);
            m_free.reserve(kBlockCount);
            for (std::size_t i = 1; i < kBlockCount; ++i) {
                m_free.push_back(i);
            }
            m_current = 0;
        } catch (const std::bad_alloc&) {
            // Called from inside libcurl, where no exception may pass: hash in line instead.
            m_blocks.clear();
            m_inline = true;
            m_started = true;
        }
    }
    if (m_blocks.empty()) {
        m_digest.Add(data, size);
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const std::size_t room = kBlockSize - m_fill;
        const std::size_t piece = size < room ? size : room;
        std::memcpy(m_blocks[m_current].data() + m_fill, bytes, piece);
        m_fill += piece;
        bytes += piece;
        size -= piece;
        if (m_fill == kBlockSize) {
            Submit();
        }
    }
}

void BackgroundMd5::Submit()
{
    if (!m_started) {
        m_started = true;
        try {
            m_thread = std::thread(&BackgroundMd5::HashBlocks, this);
        } catch (const std::system_error&) {
            m_inline = true; // no thread to be had: hash on the caller's thread instead
        }
    }
    if (m_inline) {
        m_digest.Add(m_blocks[m_current].data(), m_fill);
        m_fill = 0;
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_sizes[m_current] = m_fill;
    m_full.push_back(m_current);
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_free.empty(); });
    m_current = m_free.back();
    m_free.pop_back();
    m_fill = 0;
}

void BackgroundMd5::HashBlocks()
{
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_full.empty() || m_ending; });
            if (m_drop || m_full.empty()) {
                return;
            }
            index = m_full.front();
            m_full.pop_front();
        }
        m_digest.Add(m_blocks[index].data(), m_sizes[index]);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_free.push_back(index);
        }
        m_changed.notify_all();
    }
}

void BackgroundMd5::StopThread(bool drop)
{
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ending = true;
            m_drop = drop;
        }
        m_changed.notify_all();
        m_thread.join();
    }
}

std::string BackgroundMd5::Finish()
{
    if (!m_started) {
        m_inline = true; // less than one block in all: no thread is worth starting for it
        m_started = true;
    }
    if (m_fill > 0) {
        Submit();
    }
    StopThread(false);
    const std::string digest = m_digest.Finish();
    return m_ok ? digest : std::string();
}

} // namespace Download
