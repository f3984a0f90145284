#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Command.h"
#include "Script.h"
#include "StatusReport.h"

class Console;
class GridView;
class HostWindow;
class Tile;

// One run of started tiles: carries out the script and the commands from the
// window's keys and clicks (on the selected tile), keeps the layout and the
// muting in step with the selection, tells about lost and regained streams,
// prints the selected tile's status line once a second, and decides when the
// run is over.
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
        // The run ends once every tile's source has been played.
        bool endWithSources = false;
    };

    // window is null for a headless run; tiles are in the view's order.
    Session(const Settings& settings, const Script& script, Console* console,
            const std::vector<Tile*>& tiles, GridView* view, HostWindow* window);

    // Runs until the duration is over, the user quits, stopRequested is set,
    // or the sources have been played (endWithSources). Returns the exit
    // status: 0, or 1 when an action or a source failed.
    int run(const std::atomic<bool>& stopRequested);

private:
    // What the session last saw of a tile.
    struct Watch {
        explicit Watch(bool live) : report(live) {}
        StatusReport report;
        int64_t drainedAtMs = -1;
        bool connected = true;
    };

    // A scripted snapshot of a tile that has not shown a picture yet.
    struct WaitingSnapshot {
        Tile* tile;
        std::string path;
    };

    void execute(const Command& command);
    void execute(const Script::Action& action);
    // Takes the snapshot now, or once the tile's first picture is shown: a
    // start slowed down (a sanitizer, a busy machine, a slow network) must
    // not turn a scripted snapshot into a failure.
    void snapshotWhenShown(Tile* tile, const std::string& path);
    void takeWaitingSnapshots();
    // Places the tiles for the window's size and the selection, and mutes
    // all but the selected one.
    void relayout();
    void repaintAll();
    // Reports ends, failures, lost and regained streams.
    void watch(size_t index, int64_t elapsedMs);
    // The status line's note on a network stream that is away, or "".
    static std::string connectionNote(const Tile& tile);
    Tile& selected();
    // A file name in the output directory made of prefix, local time and extension.
    std::string timedName(const char* prefix, const char* extension) const;

    Settings m_settings;
    Script m_script;
    Console* m_console;
    std::vector<Tile*> m_tiles;
    std::vector<Watch> m_watches;
    std::vector<WaitingSnapshot> m_waitingSnapshots;
    GridView* m_view;
    HostWindow* m_window;
    bool m_quit;
    bool m_failed;
};
