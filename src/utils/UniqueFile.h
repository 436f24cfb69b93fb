#pragma once

#include <cstdio>
#include <memory>

namespace Utils {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// A C stdio stream that closes itself.
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

} // namespace Utils
