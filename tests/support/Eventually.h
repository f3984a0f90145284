#pragma once

#include <chrono>
#include <thread>

// Polls an observable condition until it holds. Gives up (returning false,
// so the test fails) only after a limit far beyond anything working code
// needs, so that a broken engine cannot hang the suite.
template <class Condition>
bool eventually(Condition condition,
                std::chrono::microseconds pollInterval = std::chrono::microseconds(100),
                std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(pollInterval);
    }
    return true;
}
