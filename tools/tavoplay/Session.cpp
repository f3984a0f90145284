#include "Session.h"

#include <sys/time.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "Console.h"
#include "GridView.h"
#include "HostWindow.h"
#include "LiveQueue.h"
#include "PlayerControl.h"
#include "Tile.h"

namespace {

constexpr int kPollMs = 20;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Session::Session(const Settings& settings, const Script& script, Console* console,
                 const std::vector<Tile*>& tiles, GridView* view, HostWindow* window)
    : m_settings(settings),
      m_script(script),
      m_console(console),
      m_tiles(tiles),
      m_view(view),
      m_window(window),
      m_quit(false),
      m_failed(false) {
    for (Tile* tile : m_tiles) {
        m_watches.emplace_back(tile->live());
        m_watches.back().connected = !tile->network() || tile->network()->state().connected;
    }
}

int Session::run(const std::atomic<bool>& stopRequested) {
    const int64_t startMs = steadyMs();
    const int64_t durationMs = m_settings.durationSeconds >= 0
                                   ? static_cast<int64_t>(m_settings.durationSeconds * 1000)
                                   : -1;
    relayout();
    int64_t nextStatusMs = kStatusIntervalMs;
    std::vector<Command> commands;
    while (!m_quit && !stopRequested) {
        if (m_window) {
            commands.clear();
            m_window->poll(kPollMs, &commands);
            for (const Command& command : commands) {
                execute(command);
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
        const int64_t elapsedMs = steadyMs() - startMs;
        for (const Script::Action& action : m_script.takeDue(elapsedMs)) {
            execute(action);
        }
        takeWaitingSnapshots();
        bool allPlayed = true;
        for (size_t i = 0; i < m_tiles.size(); ++i) {
            watch(i, elapsedMs);
            allPlayed = allPlayed && m_watches[i].drainedAtMs >= 0 &&
                        elapsedMs - m_watches[i].drainedAtMs >= kEndGraceMs;
        }
        if (elapsedMs >= nextStatusMs) {
            // Every tile's rates are measured; the selected tile's line is shown.
            const int64_t nowMs = steadyMs();
            std::string line;
            int away = 0;
            for (size_t i = 0; i < m_tiles.size(); ++i) {
                Tile& tile = *m_tiles[i];
                const std::string tileLine = m_watches[i].report.line(
                    tile.player(), tile.queue().progress(), tile.hasVideo(), nowMs);
                const std::string note = connectionNote(tile);
                if (static_cast<int>(i) == m_view->selected()) {
                    line = tile.prefix() + tileLine + note;
                } else if (!note.empty()) {
                    ++away;
                }
            }
            if (away > 0) {
                line += " | " + std::to_string(away) + " other tile(s) reconnecting";
            }
            m_console->status(line);
            nextStatusMs += kStatusIntervalMs;
        }
        if (durationMs >= 0 && elapsedMs >= durationMs) {
            break;
        }
        if (durationMs < 0 && m_settings.endWithSources && allPlayed) {
            break;
        }
    }
    m_console->finish();
    for (const Script::Action& action : m_script.pending()) {
        m_console->message("not done, the run ended first: " + Script::describe(action));
        m_failed = true;
    }
    for (const WaitingSnapshot& waiting : m_waitingSnapshots) {
        m_console->message(waiting.tile->prefix() + "not done, the run ended first: snapshot " +
                           waiting.path + " (no picture came)");
        m_failed = true;
    }
    return m_failed ? 1 : 0;
}

void Session::watch(size_t index, int64_t elapsedMs) {
    Tile& tile = *m_tiles[index];
    Watch& seen = m_watches[index];
    const LiveQueue::Progress progress = tile.queue().progress();
    if (progress.drained && seen.drainedAtMs < 0) {
        seen.drainedAtMs = elapsedMs;
        if (!progress.error.empty()) {
            m_console->message(tile.prefix() + "the source failed: " + progress.error);
            m_failed = true;
        } else {
            m_console->message(tile.prefix() + "end of the source");
        }
    }
    if (!tile.network()) {
        return;
    }
    const ReconnectingSource::State state = tile.network()->state();
    if (seen.connected && !state.connected) {
        m_console->message(tile.prefix() + "the stream was lost (" + state.lastError +
                           "); the last picture stays while it is connected again");
    } else if (!seen.connected && state.connected) {
        m_console->message(tile.prefix() + (state.connections > 1 ? "reconnected" : "connected") +
                           " (connection " + std::to_string(state.connections) + ")");
    }
    seen.connected = state.connected;
}

std::string Session::connectionNote(const Tile& tile) {
    if (!tile.network()) {
        return "";
    }
    const ReconnectingSource::State state = tile.network()->state();
    if (state.connected) {
        return "";
    }
    std::string note = " | no signal (" + state.lastError + "), last picture kept; ";
    if (state.retryInMs > 0) {
        note += "reconnecting in " + std::to_string((state.retryInMs + 999) / 1000) + " s";
    } else {
        note += "connecting";
    }
    return note + " (attempt " + std::to_string(state.failures + 1) + ")";
}

void Session::relayout() {
    if (m_window) {
        m_window->place(m_view->layout(m_window->width(), m_window->height()), m_view->selected());
        repaintAll();
    }
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        m_tiles[i]->player().setMuted(!m_view->heard(static_cast<int>(i)));
    }
}

void Session::repaintAll() {
    for (Tile* tile : m_tiles) {
        tile->player().repaint();
    }
}

Tile& Session::selected() {
    return *m_tiles[static_cast<size_t>(m_view->selected())];
}

void Session::execute(const Command& command) {
    PlayerControl& player = selected().player();
    switch (command.kind) {
        case Command::TogglePause:
            player.togglePause();
            break;
        case Command::ToggleReplay:
            player.toggleReplay();
            break;
        case Command::SeekBack:
            player.seekBy(-PlayerControl::kSeekStepSeconds);
            break;
        case Command::SeekForward:
            player.seekBy(PlayerControl::kSeekStepSeconds);
            break;
        case Command::ToggleReplayPause:
            player.toggleReplayPause();
            break;
        case Command::Snapshot:
            player.snapshot(timedName("snapshot", ".jpg"));
            break;
        case Command::ToggleRecording:
            if (player.recordingPath().empty()) {
                player.startRecording(timedName("recording", ".mp4"));
            } else {
                player.stopRecording();
            }
            break;
        case Command::VolumeUp:
            player.changeVolume(PlayerControl::kVolumeStep);
            break;
        case Command::VolumeDown:
            player.changeVolume(-PlayerControl::kVolumeStep);
            break;
        case Command::RendererDDraw:
            player.setRenderKind(RENDER_KIND_DDRAW);
            break;
        case Command::RendererD3D:
            player.setRenderKind(RENDER_KIND_D3D);
            break;
        case Command::RendererShader:
            player.setRenderKind(RENDER_KIND_D3D_SHADER);
            break;
        case Command::Repaint:
            repaintAll();
            break;
        case Command::Resize:
            relayout();
            break;
        case Command::SelectTile:
            if (command.tile != m_view->selected() && m_tiles.size() > 1) {
                m_view->select(command.tile);
                relayout();
                m_console->message(selected().prefix() + "selected: " + selected().describe());
            }
            break;
        case Command::ToggleZoom:
            if (m_tiles.size() > 1) {
                m_view->toggleZoom();
                relayout();
            }
            break;
        case Command::Quit:
            m_quit = true;
            break;
    }
}

void Session::execute(const Script::Action& action) {
    PlayerControl& player = selected().player();
    switch (action.kind) {
        case Script::Action::Kind::Snapshot:
            for (Tile* tile : m_tiles) {
                std::string path = action.path;
                const size_t at = path.find("%d");
                if (tile->number() > 0 && at != std::string::npos) {
                    path.replace(at, 2, std::to_string(tile->number()));
                }
                snapshotWhenShown(tile, path);
            }
            break;
        case Script::Action::Kind::StartRecording:
            if (!player.recordingPath().empty()) {
                player.stopRecording();
            }
            player.startRecording(action.path);
            break;
        case Script::Action::Kind::StopRecording:
            if (player.recordingPath() == action.path && !player.stopRecording()) {
                m_failed = true;
            }
            break;
        case Script::Action::Kind::Replay:
            if (!player.replaying()) {
                player.toggleReplay();
            }
            break;
        case Script::Action::Kind::Seek:
            player.seekTo(action.seconds);
            break;
    }
}

void Session::snapshotWhenShown(Tile* tile, const std::string& path) {
    if (!tile->player().pictureShown()) {
        m_waitingSnapshots.push_back({tile, path});
        return;
    }
    if (!tile->player().snapshot(path)) {
        m_failed = true;
    }
}

void Session::takeWaitingSnapshots() {
    std::vector<WaitingSnapshot> waiting;
    waiting.swap(m_waitingSnapshots);
    for (const WaitingSnapshot& snapshot : waiting) {
        snapshotWhenShown(snapshot.tile, snapshot.path);
    }
}

std::string Session::timedName(const char* prefix, const char* extension) const {
    timeval now;
    gettimeofday(&now, nullptr);
    tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[64];
    const size_t length = std::strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &local);
    std::snprintf(stamp + length, sizeof(stamp) - length, "-%03ld",
                  static_cast<long>(now.tv_usec / 1000));
    return m_settings.outDir + "/" + prefix + "-" + stamp + extension;
}
