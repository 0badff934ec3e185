#pragma once
// A DW-8000 patch (the 51 parameter values) and a bank of 64 of them.
// Programs are numbered as the synthesizer shows them, 11..88 (bank digit
// 1..8, program digit 1..8); a bank holds them in that order.
// Thread: any; plain values.

#include "dw/Params.h"

#include <array>

namespace dw {

struct TPatch {
    std::array<int, ParamCount> Values{};

    int &operator[](int row) { return Values[std::size_t(row)]; }
    int operator[](int row) const { return Values[std::size_t(row)]; }
    bool operator==(const TPatch &o) const { return Values == o.Values; }
    bool operator!=(const TPatch &o) const { return !(*this == o); }
};

constexpr int BankSize = 64;
using TBank = std::array<TPatch, BankSize>;

// 0..63 to 11..88.
constexpr int ProgramNumber(int index) { return (index / 8 + 1) * 10 + index % 8 + 1; }

// 11..88 to 0..63, or -1 for a number the synthesizer does not show.
constexpr int ProgramIndex(int number)
{
    const int bank = number / 10, program = number % 10;
    if (bank < 1 || bank > 8 || program < 1 || program > 8)
        return -1;
    return (bank - 1) * 8 + program - 1;
}

} // namespace dw
