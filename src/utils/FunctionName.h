#pragma once

#include <cstddef>

namespace Utils::detail {

// The qualified name of a function ("Utils::Thread::CallBack") as wide text, derived at
// compile time from GCC's __PRETTY_FUNCTION__ by dropping the return type, parameter
// lists, qualifiers and template notes. Inside a lambda the enclosing function comes
// first, then "<lambda>::operator()". Anonymous namespaces are left out.
template <std::size_t N> struct FunctionName {
    wchar_t text[N + 16] {};
};

constexpr bool StartsWith(const char* text, std::size_t length, std::size_t at, const char* prefix)
{
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (at + i >= length || text[at + i] != prefix[i]) {
            return false;
        }
    }
    return true;
}

template <std::size_t N> constexpr FunctionName<N> QualifiedFunctionName(const char (&pretty)[N])
{
    std::size_t length = N - 1;
    for (std::size_t i = 0; i < length; ++i) {
        if (StartsWith(pretty, length, i, " [with ")) {
            length = i;
            break;
        }
    }

    // The name starts after the last top-level blank before the first top-level '('.
    std::size_t start = 0;
    int angle = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = pretty[i];
        if (c == '<') {
            ++angle;
        } else if (c == '>') {
            --angle;
        } else if (angle == 0 && c == ' ') {
            start = i + 1;
        } else if (angle == 0 && c == '(') {
            if (i >= 8 && StartsWith(pretty, length, i - 8, "operator()")) {
                ++i; // "operator()" is a name, not a parameter list
                continue;
            }
            break;
        }
    }

    FunctionName<N> result {};
    std::size_t out = 0;
    int paren = 0;
    angle = 0;
    bool skipQualifiers = false;
    for (std::size_t i = start; i < length; ++i) {
        const char c = pretty[i];
        if (paren == 0 && c == '(' && i >= 8 && StartsWith(pretty, length, i - 8, "operator()")) {
            result.text[out++] = L'(';
            result.text[out++] = L')';
            ++i;
            continue;
        }
        if (c == '(') {
            ++paren;
            continue;
        }
        if (c == ')') {
            --paren;
            skipQualifiers = (paren == 0 && angle == 0);
            continue;
        }
        if (paren > 0) {
            continue;
        }
        if (skipQualifiers) {
            // " const", " noexcept", " &&" after a parameter list, up to the next scope.
            if (!(c == ':' && StartsWith(pretty, length, i, "::"))) {
                continue;
            }
            skipQualifiers = false;
        }
        if (StartsWith(pretty, length, i, "{anonymous}::")) {
            i += sizeof("{anonymous}::") - 2; // says nothing a reader of the log needs
            continue;
        }
        if (c == '<') {
            ++angle;
        } else if (c == '>') {
            --angle;
        }
        result.text[out++] = static_cast<wchar_t>(c);
    }

    constexpr char lambdaTail[] = "<lambda>";
    constexpr std::size_t tailLength = sizeof(lambdaTail) - 1;
    bool endsInLambda = out >= tailLength;
    for (std::size_t i = 0; endsInLambda && i < tailLength; ++i) {
        endsInLambda = result.text[out - tailLength + i] == static_cast<wchar_t>(lambdaTail[i]);
    }
    if (endsInLambda) {
        for (const char c : "::operator()") {
            if (c != '\0') {
                result.text[out++] = static_cast<wchar_t>(c);
            }
        }
    }
    result.text[out] = L'\0';
    return result;
}

} // namespace Utils::detail
