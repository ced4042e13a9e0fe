// SPDX-License-Identifier: MIT
#include "core/test_files.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <random>

#include "common/error.h"
#include "common/file_exists.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

constexpr std::size_t kBlockSize = 1024;

// The table entry as a whole number of kilobytes; text that is not a 32-bit number is a type
// mismatch, a negative size an overflow of the block count.
std::int32_t SizeFromEntry(const std::string& entry) {
    std::size_t first = entry.find_first_not_of(' ');
    std::size_t last = entry.find_last_not_of(' ');
    if (first == std::string::npos) throw RuntimeError(kErrTypeMismatch);
    const char* begin = entry.data() + first;
    const char* end = entry.data() + last + 1;
    std::int32_t kb = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, kb);
    if (ec == std::errc::result_out_of_range) throw RuntimeError(kErrOverflow);
    if (ec != std::errc() || ptr != end) throw RuntimeError(kErrTypeMismatch);
    if (kb < 0) throw RuntimeError(kErrOverflow);
    return kb;
}

}  // namespace

std::string CreateTestFile(const BenchmarkState& state, int speedIndex, int large) {
    std::array<unsigned char, kBlockSize> block{};
    block.fill(0);

    const auto& table = large != 0 ? state.LargeSizesKB : state.SmallSizesKB;
    if (speedIndex < 0 || static_cast<std::size_t>(speedIndex) >= table.size())
        throw RuntimeError(kErrSubscriptOutOfRange);
    const std::int32_t kb = SizeFromEntry(table[static_cast<std::size_t>(speedIndex)]);

    const std::string name = "Test" + std::to_string(kb) + ".jnk";
    const std::string path = state.AppDrive + name;
    if (FileExists(path)) platform::RemoveFile(path);

    std::mt19937_64 random(std::random_device{}());
    platform::FileWriter writer(path);
    for (std::int32_t i = 0; i < kb; ++i) {
        if (state.Fill == FillMode::Random) {
            for (std::size_t j = 0; j < kBlockSize; j += 8) {
                const std::uint64_t r = random();
                for (std::size_t b = 0; b < 8; ++b)
                    block[j + b] = static_cast<unsigned char>(r >> (8 * b));
            }
        }
        writer.Write(block.data(), block.size());
    }
    writer.Close();
    return name;
}

}  // namespace wirepace
