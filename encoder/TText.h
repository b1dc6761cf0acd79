// Small text helpers the adapter's parts share: case, file extensions, name lists.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

class TText
{
public:
    static std::string Lower(std::string s)
    {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
        return s;
    }

    static std::string Upper(std::string s)
    {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
        return s;
    }

    // The extension of a path's last part in lower case, without the dot; empty when it has none.
    static std::string Extension(const std::string& path)
    {
        const auto dot = path.rfind('.');
        if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
            return {};
        }
        return Lower(path.substr(dot + 1));
    }

    template <std::size_t N> static bool OneOf(std::string_view value, const char* const (&names)[N])
    {
        return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return value == n; });
    }
};
