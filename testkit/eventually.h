#pragma once
// Waiting for what another process or thread does, without a fixed sleep.
#include <chrono>
#include <thread>

namespace testing_support {

// Asks `condition` until it holds or `timeout` has passed, `pause` apart; whether it held.
// It is always asked once more at the deadline, so a slow machine fails only on a real fault.
template <class Condition>
bool Eventually(std::chrono::milliseconds timeout, Condition&& condition,
                std::chrono::milliseconds pause = std::chrono::milliseconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
    }
    return true;
}

}  // namespace testing_support
