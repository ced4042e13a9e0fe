// SPDX-License-Identifier: MIT
// The benchmark state every controller procedure shares: the test catalogue, the size tables,
// the file names of the current run, the results arrays and the analysis values.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace wirepace {

namespace platform {
class ShareMapping;
}

inline constexpr int kTestCount = 9;

// How the test files are filled. Zero is what the window uses; random data defeats links and
// file systems that compress or de-duplicate.
enum class FillMode { Zero, Random };

struct BenchmarkState {
    std::array<std::string, kTestCount> TestNames;
    std::array<std::string, kTestCount> TestIds;

    // One decimal text per entry of the speed list, in kilobytes of 1024 bytes.
    std::vector<std::string> SmallSizesKB;
    std::vector<std::string> LargeSizesKB;

    std::string SmallTestFile;
    std::string LargeTestFile;
    std::string AppDrive;    // local work folder, ends in the platform separator
    std::string ShareDrive;  // mapped drive letter and colon, or empty
    // The connection to the target share of the current run, from the mapping to FinishRun.
    std::shared_ptr<platform::ShareMapping> MappedShare;

    std::array<double, kTestCount> TestSpeeds{};
    std::array<std::string, kTestCount> TestTimesMs;
    std::array<std::string, kTestCount> TestSizesMB;
    std::array<std::string, kTestCount> TestComments;
    std::array<double, kTestCount> TestBytes{};  // bytes moved, for reports that want them
    // Each drone's own milliseconds for tests 6 to 8, in drone order; empty for the others.
    std::array<std::vector<double>, kTestCount> DroneTimesMs;
    // Why this run's diagnoses stay silent, said once (empty when they can judge).
    std::string DiagnosisNote;
    // The run's target is reached over a network; only then can a diagnosis be true.
    bool TargetIsRemote = false;

    double OutboundLargeMs = 0;
    double OutboundLargeSpeed = 0;
    double InboundLargeMs = 0;
    double InboundLargeSpeed = 0;

    std::string LogPath;  // full path of "TestResults.txt"
    FillMode Fill = FillMode::Zero;
};

// The one instance of the process.
BenchmarkState& State();

// Fills TestNames and TestIds with the catalogue.
void InitCatalogue(BenchmarkState& state);

// Start-up of a controller: the catalogue, AppDrive (the platform's work folder) and the path of
// the results log.
void InitControllerState(BenchmarkState& state);

}  // namespace wirepace
