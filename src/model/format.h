#pragma once

#include <cstdio>
#include <string>

// printf-style formatting into a string of exactly the needed length, for messages built
// before they are printed.
std::string format(const char* pattern, auto... values) {
    const int size = std::snprintf(nullptr, 0, pattern, values...);
    std::string text(static_cast<std::size_t>(size), '\0');
    // A std::string keeps room for its terminating zero, which snprintf writes too.
    std::snprintf(text.data(), text.size() + 1, pattern, values...);
    return text;
}
