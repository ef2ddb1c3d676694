// call_log.h -- one ordered log of every Win32, WGL and GL call the plug-in makes under test, with its arguments.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace fake {

struct Call {
    std::string op;
    std::vector<double> args;        // numbers, enums and handles, in the order of the call's parameters
    std::vector<std::string> texts;  // string arguments (class names, message box texts)
};

class CallLog {
public:
    void record(std::string op, std::initializer_list<double> args = {}, std::vector<std::string> texts = {});
    void reset();
    size_t count(std::string_view op) const;
    // The nth call named op (counting from 0), or null.
    const Call* find(std::string_view op, size_t nth = 0) const;
    // Position of the nth call named op in the log, or -1.
    long indexOf(std::string_view op, size_t nth = 0) const;
    // Names of the calls from position `from` on.
    std::vector<std::string> ops(size_t from = 0) const;
    const std::vector<Call>& calls() const { return calls_; }
    size_t size() const { return calls_.size(); }

private:
    std::vector<Call> calls_;
};

CallLog& log();

} // namespace fake
