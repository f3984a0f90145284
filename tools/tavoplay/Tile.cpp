#include "Tile.h"

#include <chrono>

#include <tavoplayer/TavoOffscreenWindow.h>

#include "Console.h"
#include "FileSource.h"
#include "SimulatedCameraSource.h"

namespace {

// Headless size when there is no video.
constexpr int kAudioOnlyWidth = 640;
constexpr int kAudioOnlyHeight = 360;
// The simulated camera's size in a grid unless --size says otherwise.
constexpr int kGridCameraWidth = 640;
constexpr int kGridCameraHeight = 360;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Tile::Tile(Console* console, int number)
    : m_console(console),
      m_number(number),
      m_prefix(number > 0 ? "tile " + std::to_string(number) + ": " : ""),
      m_network(nullptr),
      m_pacing(LiveQueue::Pacing::Live),
      m_endless(true),
      m_offscreen(nullptr, tavoDestroyOffscreenWindow) {}

Tile::~Tile() {
    if (m_network) {
        m_network->interrupt();
    }
    if (m_player) {
        m_player->stop();
    }
    if (m_queue) {
        m_queue->stopFeeding();
    }
    // The player goes before the queue it reads and the window it draws into.
    m_player.reset();
    m_queue.reset();
}

bool Tile::open(const Options& options, const std::string& source, std::string* error) {
    if (source == Options::kSimulatedCamera) {
        simcam::CameraSettings settings = options.camera;
        if (m_number > 0) {
            settings.shownNumber = m_number;
            if (!options.cameraSizeGiven) {
                settings.width = kGridCameraWidth;
                settings.height = kGridCameraHeight;
            }
        }
        std::unique_ptr<SimulatedCameraSource> camera(new SimulatedCameraSource(settings));
        if (!camera->isOpen()) {
            *error = "the simulated camera failed: " + camera->error();
            return false;
        }
        m_source = std::move(camera);
        return true;
    }
    if (FileSource::isNetworkUrl(source)) {
        m_pacing = LiveQueue::Pacing::Arrival;
        const std::string transport = options.rtspTransport;
        std::unique_ptr<ReconnectingSource> reconnecting(new ReconnectingSource(
            [source, transport](const std::atomic<bool>* interrupt,
                                std::string* why) -> std::unique_ptr<IMediaSource> {
                FileSource::Network connection;
                connection.rtspTransport = transport;
                connection.interrupt = interrupt;
                std::unique_ptr<FileSource> stream(new FileSource());
                if (!stream->open(source, &connection)) {
                    *why = stream->error();
                    return nullptr;
                }
                return stream;
            },
            source, steadyMs));
        if (!reconnecting->start()) {
            m_console->message(m_prefix + "cannot connect to " + source + " (" +
                               reconnecting->error() + "); trying again");
        }
        m_network = reconnecting.get();
        m_source = std::move(reconnecting);
        return true;
    }
    std::unique_ptr<FileSource> file(new FileSource());
    if (!file->open(source)) {
        *error = file->error();
        return false;
    }
    for (const std::string& note : file->notes()) {
        m_console->message(m_prefix + "note: " + note);
    }
    m_pacing = options.live ? LiveQueue::Pacing::Live : LiveQueue::Pacing::Playback;
    m_endless = false;
    m_source = std::move(file);
    return true;
}

bool Tile::start(const Options& options, void* window, std::string* error) {
    if (!window) {
        m_offscreen.reset(tavoCreateOffscreenWindow(width(), height()));
        if (!m_offscreen) {
            *error = "cannot create an offscreen window of " + std::to_string(width()) + "x" +
                     std::to_string(height());
            return false;
        }
        window = m_offscreen.get();
    }
    m_queue.reset(new LiveQueue(m_source.get(), m_pacing,
                                m_pacing == LiveQueue::Pacing::Live ? options.holdBackMs : 0,
                                steadyMs));
    m_player.reset(new PlayerControl(m_console, m_prefix));
    PlayerControl::Settings settings;
    settings.window = window;
    settings.playMode = live() ? PLAY_MODE_LIVE : PLAY_MODE_PLAYBACK;
    settings.renderKind = options.renderKind;
    if (!m_player->create(m_queue->functions(), m_queue->context(), settings, error)) {
        return false;
    }
    m_queue->startFeeding();
    m_player->run();
    return true;
}

int Tile::width() const {
    return hasVideo() ? static_cast<int>(m_source->videoStreamInfo().rateOrWidth) : kAudioOnlyWidth;
}

int Tile::height() const {
    return hasVideo() ? static_cast<int>(m_source->videoStreamInfo().formatOrHeight)
                      : kAudioOnlyHeight;
}
