#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Command.h"
#include "Script.h"

class Console;
class HostWindow;
class LiveQueue;
class PlayerControl;

// One run of a started player: carries out the script and the commands from
// the window's keys, prints the status line once a second, and decides when
// the run is over.
class Session {
public:
    static constexpr int64_t kStatusIntervalMs = 1000;
    // After a file has been taken in full, the time its last picture gets
    // before a headless run ends.
    static constexpr int64_t kEndGraceMs = 1000;

    struct Settings {
        // < 0: no limit.
        double durationSeconds = -1;
        // Where snapshots and recordings made with keys go.
        std::string outDir = ".";
        bool hasVideo = true;
        // Paced like a camera (otherwise a file plays back).
        bool live = true;
        // A headless run of a file ends after the file has been played.
        bool endWithSource = false;
    };

    // window is null for a headless run.
    Session(const Settings& settings, const Script& script, Console* console, PlayerControl* player,
            LiveQueue* queue, HostWindow* window);

    // Runs until the duration is over, the user quits, stopRequested is set,
    // or the source has been played (endWithSource). Returns the exit
    // status: 0, or 1 when an action or the source failed.
    int run(const std::atomic<bool>& stopRequested);

private:
    void execute(Command command);
    void execute(const Script::Action& action);
    // A file name in the output directory made of prefix, local time and extension.
    std::string timedName(const char* prefix, const char* extension) const;

    Settings m_settings;
    Script m_script;
    Console* m_console;
    PlayerControl* m_player;
    LiveQueue* m_queue;
    HostWindow* m_window;
    bool m_quit;
    bool m_failed;
};
