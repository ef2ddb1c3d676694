// command_line_checks.h -- what gloamer and gloamer.exe share of reading a command line: numbers checked in the
// user's words, and one line and one exit status for each way a command line can be wrong.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace gloamer {

// Refuses, with status 2, what a person would not mean by a number of seconds or frames: NaN, infinities,
// negative numbers, and 0 unless `zeroAllowed`.
CLI::Validator positiveNumber(bool zeroAllowed);
// Refuses text that is not a number, or not a whole one when `whole`, and numbers outside [lowest, highest],
// in the user's words ("'abc' is not a number", "5 is out of range (0 to 4)").
CLI::Validator numberBetween(double lowest, double highest, bool whole);

// Call with what `app.parse` threw. Help and the version go to stdout with status 0; anything else is one line
// on stderr, "gloamer: WHAT (HINT)", with status 2.
int reportParseError(const CLI::App& app, const CLI::ParseError& error, const std::string& hint);

// Call last with the status a program would end with: what went to stdout (help, a command's lines) counts, and
// a full disk or closed pipe there turns a done run into a failure, said in one line on stderr.
int statusWithStandardOutput(int status);

} // namespace gloamer
