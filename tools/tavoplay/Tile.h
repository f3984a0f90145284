#pragma once

#include <memory>
#include <string>

#include "IMediaSource.h"
#include "LiveQueue.h"
#include "Options.h"
#include "PlayerControl.h"
#include "ReconnectingSource.h"

class Console;

// One source with its queue and player: the single picture of a plain run,
// or one tile of a grid. A network source is a ReconnectingSource and paced
// by arrival; the simulated camera is paced live; a file plays back (or is
// paced live with --live).
class Tile {
public:
    // number: the tile's number from 1; 0 outside a grid (the simulated
    // camera then shows its picture numbers, in a grid the tile number).
    Tile(Console* console, int number);
    // Stops the player and the feeding before the source goes.
    ~Tile();

    Tile(const Tile&) = delete;
    Tile& operator=(const Tile&) = delete;

    // Opens the source (a file, a URL, or Options::kSimulatedCamera); false
    // with the reason in *error.
    bool open(const Options& options, const std::string& source, std::string* error);
    // Creates the player drawing into window, or into an offscreen window
    // of the stream's size when window is null, and starts it and the
    // feeding. False with the reason in *error.
    bool start(const Options& options, void* window, std::string* error);

    PlayerControl& player() { return *m_player; }
    LiveQueue& queue() { return *m_queue; }
    // Null unless the source is a network stream.
    const ReconnectingSource* network() const { return m_network; }
    int number() const { return m_number; }
    bool live() const { return m_pacing != LiveQueue::Pacing::Playback; }
    // A source that never ends by itself (the camera, a network stream).
    bool endless() const { return m_endless; }
    bool hasVideo() const { return m_source->videoStreamInfo().codecType != CODEC_NONE; }
    // The picture size; a fixed size for sound only.
    int width() const;
    int height() const;
    std::string describe() const { return m_source->describe(); }
    // Starts the lines of this tile's messages ("tile 3: ", or nothing).
    const std::string& prefix() const { return m_prefix; }

private:
    Console* m_console;
    const int m_number;
    const std::string m_prefix;
    std::unique_ptr<IMediaSource> m_source;
    ReconnectingSource* m_network;  // m_source, when it is one
    LiveQueue::Pacing m_pacing;
    bool m_endless;
    std::unique_ptr<void, void (*)(void*)> m_offscreen;
    std::unique_ptr<LiveQueue> m_queue;
    std::unique_ptr<PlayerControl> m_player;
};
