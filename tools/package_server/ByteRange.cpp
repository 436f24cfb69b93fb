#include "ByteRange.h"

#include <optional>

namespace PackageServer {
namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// A decimal number of at most 18 digits; empty for anything else.
std::optional<std::uint64_t> ParseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

} // namespace

ByteRange ResolveRange(std::string_view header, std::uint64_t size)
{
    const ByteRange whole { ByteRange::Kind::Whole, 0, size };
    header = Trim(header);
    constexpr std::string_view kUnit = "bytes=";
    if (header.substr(0, kUnit.size()) != kUnit) {
        return whole;
    }
    const std::string_view rangeSet = Trim(header.substr(kUnit.size()));
    const std::size_t dash = rangeSet.find('-');
    if (dash == std::string_view::npos || rangeSet.find(',') != std::string_view::npos) {
        return whole;
    }
    const std::string_view firstText = Trim(rangeSet.substr(0, dash));
    const std::string_view lastText = Trim(rangeSet.substr(dash + 1));
    const ByteRange unsatisfiable { ByteRange::Kind::Unsatisfiable, 0, 0 };

    if (firstText.empty()) {
        const auto suffix = ParseNumber(lastText);
        if (!suffix) {
            return whole;
        }
        if (*suffix == 0 || size == 0) {
            return unsatisfiable;
        }
        const std::uint64_t length = *suffix < size ? *suffix : size;
        return { ByteRange::Kind::Partial, size - length, length };
    }

    const auto first = ParseNumber(firstText);
    const auto last = lastText.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : ParseNumber(lastText);
    if (!first || !last || *last < *first) {
        return whole;
    }
    if (*first >= size) {
        return unsatisfiable;
    }
    const std::uint64_t end = *last < size - 1 ? *last : size - 1;
    return { ByteRange::Kind::Partial, *first, end - *first + 1 };
}

} // namespace PackageServer
