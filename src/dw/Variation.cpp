#include "dw/Variation.h"

#include <algorithm>
#include <sstream>

namespace dw {

TPatch RandomValues(const TPatch &current, const TLockSet &locks, const TPick &pick)
{
    TPatch next = current;
    for (int row = 0; row < ParamCount; ++row) {
        if (IsLiveRow(row) && !locks.test(std::size_t(row)))
            next[row] = pick(0, ParamDef(row).RandomMax);
    }
    return next;
}

int MutateStep(int row)
{
    const TParamDef &d = ParamDef(row);
    if (d.Names != nullptr)
        return 1;
    return std::max(1, (d.MaxValue + 5) / 10); // a tenth of the range, rounded
}

TPatch MutateValues(const TPatch &current, const TLockSet &locks, const TPick &pick)
{
    TPatch next = current;
    for (int row = 0; row < ParamCount; ++row) {
        if (!IsLiveRow(row) || locks.test(std::size_t(row)))
            continue;
        const int max = ParamDef(row).MaxValue;
        const int from = std::clamp(current[row], 0, max);
        const int step = pick(1, MutateStep(row));
        const bool up = pick(0, 1) == 1;
        int to = up ? from + step : from - step;
        if (to < 0 || to > max)
            to = up ? from - step : from + step; // the other way stays in range
        next[row] = std::clamp(to, 0, max);
    }
    return next;
}

std::string LocksToText(const TLockSet &locks)
{
    std::string text;
    for (int row = 0; row < ParamCount; ++row) {
        if (!locks.test(std::size_t(row)))
            continue;
        if (!text.empty())
            text += ',';
        text += std::to_string(row);
    }
    return text;
}

TLockSet LocksFromText(const std::string &text)
{
    TLockSet locks;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        const auto first = item.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        const std::string digits = item.substr(first, item.find_last_not_of(' ') - first + 1);
        if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int row = std::stoi(digits);
        if (row < ParamCount && IsLiveRow(row))
            locks.set(std::size_t(row));
    }
    return locks;
}

} // namespace dw
