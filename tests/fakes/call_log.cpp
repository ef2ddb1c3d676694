// call_log.cpp -- the shared call log of the recording fakes.
#include "tests/fakes/call_log.h"

namespace fake {

CallLog& log()
{
    static CallLog instance;
    return instance;
}

void CallLog::record(std::string op, std::initializer_list<double> args, std::vector<std::string> texts)
{
    calls_.push_back(Call{std::move(op), std::vector<double>(args), std::move(texts)});
}

void CallLog::reset()
{
    calls_.clear();
}

size_t CallLog::count(std::string_view op) const
{
    size_t n = 0;
    for (const Call& call : calls_)
        n += call.op == op;
    return n;
}

long CallLog::indexOf(std::string_view op, size_t nth) const
{
    for (size_t i = 0; i < calls_.size(); ++i)
        if (calls_[i].op == op && nth-- == 0)
            return (long)i;
    return -1;
}

const Call* CallLog::find(std::string_view op, size_t nth) const
{
    long index = indexOf(op, nth);
    return index < 0 ? nullptr : &calls_[(size_t)index];
}

std::vector<std::string> CallLog::ops(size_t from) const
{
    std::vector<std::string> names;
    for (size_t i = from; i < calls_.size(); ++i)
        names.push_back(calls_[i].op);
    return names;
}

} // namespace fake
