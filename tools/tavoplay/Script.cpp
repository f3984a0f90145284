#include "Script.h"

#include <algorithm>
#include <cstdio>

Script::Script(const Options& options) {
    for (const Options::Snapshot& snapshot : options.snapshots) {
        add(snapshot.atSeconds, Action::Kind::Snapshot, snapshot.path, 0);
    }
    for (const Options::Recording& recording : options.recordings) {
        add(recording.fromSeconds, Action::Kind::StartRecording, recording.path, 0);
        add(recording.toSeconds, Action::Kind::StopRecording, recording.path, 0);
    }
    if (options.replayAtSeconds >= 0) {
        add(options.replayAtSeconds, Action::Kind::Replay, "", 0);
        if (options.seekSeconds >= 0) {
            add(options.replayAtSeconds, Action::Kind::Seek, "",
                static_cast<uint32_t>(options.seekSeconds));
        }
    }
    // Stable: actions given for the same time keep their order (replay before its seek).
    std::stable_sort(m_actions.begin(), m_actions.end(),
                     [](const Action& a, const Action& b) { return a.atMs < b.atMs; });
}

std::vector<Script::Action> Script::takeDue(int64_t elapsedMs) {
    auto end = m_actions.begin();
    while (end != m_actions.end() && end->atMs <= elapsedMs) {
        ++end;
    }
    std::vector<Action> due(m_actions.begin(), end);
    m_actions.erase(m_actions.begin(), end);
    return due;
}

std::string Script::describe(const Action& action) {
    char at[32];
    std::snprintf(at, sizeof(at), " at %.1f s", action.atMs / 1000.0);
    switch (action.kind) {
        case Action::Kind::Snapshot:
            return "snapshot " + action.path + at;
        case Action::Kind::StartRecording:
            return "start of the recording " + action.path + at;
        case Action::Kind::StopRecording:
            return "end of the recording " + action.path + at;
        case Action::Kind::Replay:
            return std::string("replay") + at;
        case Action::Kind::Seek:
            return "seek to " + std::to_string(action.seconds) + " s" + at;
    }
    return "";
}

void Script::add(double atSeconds, Action::Kind kind, const std::string& path, uint32_t seconds) {
    m_actions.push_back(Action{static_cast<int64_t>(atSeconds * 1000), kind, path, seconds});
}
