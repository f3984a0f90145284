#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"

// The scripted actions of a run, in the order of their times.
class Script {
public:
    struct Action {
        enum class Kind { Snapshot, StartRecording, StopRecording, Replay, Seek };
        int64_t atMs;
        Kind kind;
        std::string path;  // Snapshot, StartRecording
        uint32_t seconds;  // Seek
    };

    explicit Script(const Options& options);

    // Takes the actions whose time has come by elapsedMs, earliest first.
    std::vector<Action> takeDue(int64_t elapsedMs);
    // The actions still to come.
    const std::vector<Action>& pending() const { return m_actions; }

    static std::string describe(const Action& action);

private:
    void add(double atSeconds, Action::Kind kind, const std::string& path, uint32_t seconds);

    std::vector<Action> m_actions;
};
