// command_line_checks.cpp -- the checks and the exit statuses gloamer and gloamer.exe share.
#include "host/process/command_line_checks.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>

namespace gloamer {

namespace {

// The number a person typed, or nothing when the text is not one (trailing letters included).
std::optional<double> numberOf(const std::string& text)
{
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || std::isspace((unsigned char)text[0]))
        return std::nullopt;
    return value;
}

std::string shortNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    return text;
}

} // namespace

CLI::Validator positiveNumber(bool zeroAllowed)
{
    return CLI::Validator(
        [zeroAllowed](std::string& text) {
            std::optional<double> value = numberOf(text);
            if (!value)
                return "'" + text + "' is not a number";
            if (!std::isfinite(*value))
                return text + " is not a finite number";
            if (*value < 0 || (*value == 0 && !zeroAllowed))
                return text + (zeroAllowed ? " is below 0" : " is not above 0");
            return std::string();
        },
        "");
}

CLI::Validator numberBetween(double lowest, double highest, bool whole)
{
    return CLI::Validator(
        [=](std::string& text) {
            std::optional<double> value = numberOf(text);
            if (!value)
                return "'" + text + "' is not a number";
            if (whole && *value != std::floor(*value))
                return text + " is not a whole number";
            if (!(*value >= lowest && *value <= highest))
                return text + " is out of range (" + shortNumber(lowest) + " to " + shortNumber(highest) + ")";
            return std::string();
        },
        "");
}

int reportParseError(const CLI::App& app, const CLI::ParseError& error, const std::string& hint)
{
    if (dynamic_cast<const CLI::CallForHelp*>(&error) || dynamic_cast<const CLI::CallForAllHelp*>(&error) ||
        dynamic_cast<const CLI::CallForVersion*>(&error))
        return app.exit(error);
    std::string message = error.what();
    std::replace(message.begin(), message.end(), '\n', ' ');
    std::fprintf(stderr, "gloamer: %s (%s)\n", message.c_str(), hint.c_str());
    return 2;
}

int statusWithStandardOutput(int status)
{
    std::cout.flush();
    if ((!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) && status == 0) {
        std::fprintf(stderr, "gloamer: cannot write to standard output: %s\n", std::strerror(errno ? errno : EIO));
        return 1;
    }
    return status;
}

} // namespace gloamer
