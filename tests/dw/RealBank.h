#pragma once
// The real 64-program bank of the tests' data, as its bytes.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

inline std::vector<std::uint8_t> ReadBank()
{
    std::ifstream in(TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx", std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}
