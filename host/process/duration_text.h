// duration_text.h -- how the host writes a length of time for people: 0:05, 3:07, 1:02:03.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace gloamer {

inline std::string formatDuration(double seconds)
{
    long whole = (long)std::max(0.0, std::round(seconds));
    char text[32];
    if (whole >= 3600)
        snprintf(text, sizeof(text), "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        snprintf(text, sizeof(text), "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

} // namespace gloamer
