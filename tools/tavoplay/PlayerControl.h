#pragma once

#include <atomic>
#include <string>

#include <tavoplayer/ITavoMediaPlayer.h>

class Console;

// One player of the engine and the host's commands on it, each reported on
// the console. Receives the player's events (502 and 601) and prints them.
// Commands come from one thread (the program's main thread); events arrive
// on the player's video thread.
class PlayerControl : public IPlayerEventSink {
public:
    static constexpr int kSeekStepSeconds = 5;
    static constexpr int kVolumeStep = 10;

    struct Settings {
        void* window = nullptr;
        int32_t playMode = PLAY_MODE_LIVE;
        int32_t renderKind = RENDER_KIND_D3D_SHADER;
    };

    // prefix starts every line the player prints (the tile in a grid).
    PlayerControl(Console* console, const std::string& prefix);
    // Ends a recording that is still on, then destroys the player.
    ~PlayerControl() override;

    PlayerControl(const PlayerControl&) = delete;
    PlayerControl& operator=(const PlayerControl&) = delete;

    // Creates the player on the source's callbacks, with a frame store for
    // replay, and configures it. False with the reason when it cannot be made.
    bool create(MediaSourceFuncs* source, void* sourceContext, const Settings& settings,
                std::string* error);
    void run();
    // Ends a recording that is still on, then the player's loops.
    void stop();

    void togglePause();
    // Replay of the stored minute, or back to live.
    void toggleReplay();
    // Replay only: seconds into the stored minute (at least 1), or a step from
    // the last reported position.
    void seekTo(uint32_t seconds);
    void seekBy(int seconds);
    void toggleReplayPause();
    // Saves the current picture as a JPEG file; false when there is none yet.
    bool snapshot(const std::string& path);
    void startRecording(const std::string& path);
    // False when the recording did not produce a file.
    bool stopRecording();
    void changeVolume(int delta);
    // A muted player plays at volume 0 and keeps its volume for later.
    void setMuted(bool muted);
    bool muted() const { return m_muted; }
    // Used from the next time the player creates its renderer.
    void setRenderKind(int32_t kind);
    void repaint();

    bool paused() const { return m_paused; }
    bool replaying() const { return m_replaying; }
    bool replayPaused() const { return m_replayPaused; }
    const std::string& recordingPath() const { return m_recordingPath; }
    uint32_t storedSeconds() const;
    // The last replay position the player reported (event 601), -1 before one.
    int replayPosition() const { return m_replayPosition.load(std::memory_order_relaxed); }
    // Events 601 so far: one for each picture shown in replay.
    uint32_t replayPictures() const { return m_replayEvents.load(std::memory_order_relaxed); }
    // Whether the player has shown a picture (event 502) since it was created.
    bool pictureShown() const { return m_pictureShown.load(std::memory_order_relaxed); }

    void onEvent(void* eventContext, int32_t code, const char* text) override;

    static const char* renderKindName(int32_t kind);

private:
    void applyVolume();
    void say(const std::string& text) const;

    Console* m_console;
    const std::string m_prefix;
    HostContext m_host;
    ITavoMediaPlayer* m_player;
    bool m_paused;
    bool m_replaying;
    bool m_replayPaused;
    int32_t m_volume;
    bool m_muted;
    std::string m_recordingPath;

    // Written on the player's video thread.
    std::atomic<int> m_replayPosition;
    std::atomic<uint32_t> m_replayEvents;
    std::atomic<bool> m_pictureShown;
};
