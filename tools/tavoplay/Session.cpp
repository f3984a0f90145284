#include "Session.h"

#include <sys/time.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "Console.h"
#include "HostWindow.h"
#include "LiveQueue.h"
#include "PlayerControl.h"
#include "StatusReport.h"

namespace {

constexpr int kPollMs = 20;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Session::Session(const Settings& settings, const Script& script, Console* console,
                 PlayerControl* player, LiveQueue* queue, HostWindow* window)
    : m_settings(settings),
      m_script(script),
      m_console(console),
      m_player(player),
      m_queue(queue),
      m_window(window),
      m_quit(false),
      m_failed(false) {}

int Session::run(const std::atomic<bool>& stopRequested) {
    const int64_t startMs = steadyMs();
    const int64_t durationMs = m_settings.durationSeconds >= 0
                                   ? static_cast<int64_t>(m_settings.durationSeconds * 1000)
                                   : -1;
    StatusReport report(m_settings.live);
    int64_t nextStatusMs = kStatusIntervalMs;
    int64_t drainedAtMs = -1;
    std::vector<Command> commands;
    while (!m_quit && !stopRequested) {
        if (m_window) {
            commands.clear();
            m_window->poll(kPollMs, &commands);
            for (Command command : commands) {
                execute(command);
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
        const int64_t elapsedMs = steadyMs() - startMs;
        for (const Script::Action& action : m_script.takeDue(elapsedMs)) {
            execute(action);
        }
        const LiveQueue::Progress progress = m_queue->progress();
        if (progress.drained && drainedAtMs < 0) {
            drainedAtMs = elapsedMs;
            if (!progress.error.empty()) {
                m_console->message("the source failed: " + progress.error);
                m_failed = true;
            } else {
                m_console->message("end of the source");
            }
        }
        if (elapsedMs >= nextStatusMs) {
            m_console->status(report.line(*m_player, progress, m_settings.hasVideo, steadyMs()));
            nextStatusMs += kStatusIntervalMs;
        }
        if (durationMs >= 0 && elapsedMs >= durationMs) {
            break;
        }
        if (durationMs < 0 && m_settings.endWithSource && drainedAtMs >= 0 &&
            elapsedMs - drainedAtMs >= kEndGraceMs) {
            break;
        }
    }
    m_console->finish();
    for (const Script::Action& action : m_script.pending()) {
        m_console->message("not done, the run ended first: " + Script::describe(action));
        m_failed = true;
    }
    return m_failed ? 1 : 0;
}

void Session::execute(Command command) {
    switch (command) {
        case Command::TogglePause:
            m_player->togglePause();
            break;
        case Command::ToggleReplay:
            m_player->toggleReplay();
            break;
        case Command::SeekBack:
            m_player->seekBy(-PlayerControl::kSeekStepSeconds);
            break;
        case Command::SeekForward:
            m_player->seekBy(PlayerControl::kSeekStepSeconds);
            break;
        case Command::ToggleReplayPause:
            m_player->toggleReplayPause();
            break;
        case Command::Snapshot:
            m_player->snapshot(timedName("snapshot", ".jpg"));
            break;
        case Command::ToggleRecording:
            if (m_player->recordingPath().empty()) {
                m_player->startRecording(timedName("recording", ".mp4"));
            } else {
                m_player->stopRecording();
            }
            break;
        case Command::VolumeUp:
            m_player->changeVolume(PlayerControl::kVolumeStep);
            break;
        case Command::VolumeDown:
            m_player->changeVolume(-PlayerControl::kVolumeStep);
            break;
        case Command::RendererDDraw:
            m_player->setRenderKind(RENDER_KIND_DDRAW);
            break;
        case Command::RendererD3D:
            m_player->setRenderKind(RENDER_KIND_D3D);
            break;
        case Command::RendererShader:
            m_player->setRenderKind(RENDER_KIND_D3D_SHADER);
            break;
        case Command::Repaint:
            m_player->repaint();
            break;
        case Command::Quit:
            m_quit = true;
            break;
    }
}

void Session::execute(const Script::Action& action) {
    switch (action.kind) {
        case Script::Action::Kind::Snapshot:
            if (!m_player->snapshot(action.path)) {
                m_failed = true;
            }
            break;
        case Script::Action::Kind::StartRecording:
            if (!m_player->recordingPath().empty()) {
                m_player->stopRecording();
            }
            m_player->startRecording(action.path);
            break;
        case Script::Action::Kind::StopRecording:
            if (m_player->recordingPath() == action.path && !m_player->stopRecording()) {
                m_failed = true;
            }
            break;
        case Script::Action::Kind::Replay:
            if (!m_player->replaying()) {
                m_player->toggleReplay();
            }
            break;
        case Script::Action::Kind::Seek:
            m_player->seekTo(action.seconds);
            break;
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
