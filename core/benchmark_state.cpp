// SPDX-License-Identifier: MIT
#include "core/benchmark_state.h"

#include <string>

#include "platform/platform.h"

namespace wirepace {

BenchmarkState& State() {
    static BenchmarkState state;
    return state;
}

void InitCatalogue(BenchmarkState& state) {
    state.TestNames = {"LOCAL TIME SMALL",
                       "LOCAL TIME LARGE",
                       "OUTBOUND THROUGHTPUT SMALL",
                       "INBOUND THROUGHPUT SMALL",
                       "OUTBOUND THROUGHTPUT LARGE",
                       "INBOUND THROUGHTPUT LARGE",
                       "BI-DIRECTIONAL LARGE",
                       "OUTBOUND NETBIOS/TCP WINDOW TEST",
                       "INBOUND NETBIOS/TCP WINDOW TEST"};
    for (int i = 0; i < kTestCount; ++i) state.TestIds[i] = std::to_string(i);
    state.TestIds[0] = "1a";
    state.TestIds[1] = "1b";
}

void InitControllerState(BenchmarkState& state) {
    InitCatalogue(state);
    state.AppDrive = platform::ControllerAppDrive();
    state.LogPath = platform::LogFolder() + "TestResults.txt";
}

}  // namespace wirepace
