#include "install/LineAssembler.h"

std::vector<std::string> LineAssembler::Feed(std::string_view chunk)
{
    std::vector<std::string> lines;
    for (;;) {
        const std::size_t feed = chunk.find('\n');
        if (feed == std::string_view::npos) {
            Append(chunk);
            return lines;
        }
        Append(chunk.substr(0, feed));
        lines.push_back(TakeLine());
        chunk.remove_prefix(feed + 1);
    }
}

std::optional<std::string> LineAssembler::Finish()
{
    if (m_pending.empty()) {
        return std::nullopt;
    }
    return TakeLine();
}

void LineAssembler::Append(std::string_view bytes)
{
    if (m_pending.size() < kMaxLineBytes) {
        m_pending.append(bytes.substr(0, kMaxLineBytes - m_pending.size()));
    }
}

std::string LineAssembler::TakeLine()
{
    std::string line;
    line.swap(m_pending);
    const std::size_t zero = line.find('\0');
    if (zero != std::string::npos) {
        line.resize(zero);
    }
    return line;
}
