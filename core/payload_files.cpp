// SPDX-License-Identifier: MIT
#include "core/payload_files.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>

#include "common/error.h"
#include "common/file_exists.h"
#include "platform/platform.h"

namespace wirepace {

namespace {

constexpr std::size_t kBlockSize = 1024;
constexpr std::int64_t kBlockBytes = kBlockSize;
// A megabyte between reports keeps them far below the cost of the writes they follow.
constexpr std::int32_t kBlocksPerReport = 1024;

}  // namespace

std::string PayloadFileName(std::int32_t kb) {
    return "Test" + std::to_string(kb) + ".jnk";
}

std::string CreateTestFile(const RunContext& context, std::int32_t kb,
                           const platform::CopyProgress& progress) {
    std::array<unsigned char, kBlockSize> block{};
    block.fill(0);
    if (kb < 0) throw RuntimeError(kErrOverflow);

    const std::string name = PayloadFileName(kb);
    const std::string path = context.AppDrive + name;
    if (FileExists(path)) platform::RemoveFile(path);

    std::mt19937_64 random(std::random_device{}());
    platform::FileWriter writer(path);
    for (std::int32_t i = 0; i < kb; ++i) {
        if (context.Fill == FillMode::Random) {
            for (std::size_t j = 0; j < kBlockSize; j += 8) {
                const std::uint64_t r = random();
                for (std::size_t b = 0; b < 8; ++b)
                    block[j + b] = static_cast<unsigned char>(r >> (8 * b));
            }
        }
        writer.Write(block.data(), block.size());
        const std::int32_t written = i + 1;
        if (progress && (written % kBlocksPerReport == 0 || written == kb) &&
            !progress(static_cast<std::int64_t>(written) * kBlockBytes,
                      static_cast<std::int64_t>(kb) * kBlockBytes))
            throw RunInterrupted();
    }
    writer.Close();
    return name;
}

}  // namespace wirepace
