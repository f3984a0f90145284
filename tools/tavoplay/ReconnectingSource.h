#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Backoff.h"
#include "IMediaSource.h"

// A network stream that comes back: when a connection ends or fails, the
// source waits as its Backoff says and connects again, for as long as it is
// not interrupted. Units of a new connection continue the time line where
// the last one left off (plus the time the stream was away), and each track
// starts with a description unit, so the player takes a stream that changed
// on the way. read() blocks while the source waits or connects.
//
// read() runs on the feeding thread; state() and interrupt() on any thread.
class ReconnectingSource : public IMediaSource {
public:
    // Makes one connection: a source, or null with the reason in *error.
    // The connection ends its waits for the network once *interrupt is set.
    using Connect = std::function<std::unique_ptr<IMediaSource>(const std::atomic<bool>* interrupt,
                                                                std::string* error)>;

    // How often a wait looks at the interrupt flag.
    static constexpr int kWaitSliceMs = 50;

    // name stands for the stream in describe() until it is connected.
    ReconnectingSource(Connect connect, const std::string& name, Backoff::Clock clock);

    // The first connection, whose descriptions the player gets first. False
    // with the reason in error() when it fails; read() then keeps trying.
    bool start();
    // Ends a wait or a connection's read; read() then returns false.
    void interrupt() { m_interrupted = true; }

    struct State {
        bool connected = true;
        int connections = 0;    // made so far, the first one included
        int failures = 0;       // since the stream last delivered
        int64_t retryInMs = 0;  // while not connected
        std::string lastError;  // why the last connection ended
    };
    State state() const;

    StreamInfo videoStreamInfo() const override { return m_video; }
    StreamInfo audioStreamInfo() const override { return m_audio; }
    bool read(SourceUnit* unit) override;
    const std::string& error() const override { return m_error; }
    std::string describe() const override { return m_description; }

private:
    // Waits for the Backoff, then tries to connect; false when interrupted.
    bool reconnect();

    Connect m_connect;
    Backoff::Clock m_clock;
    std::atomic<bool> m_interrupted;
    std::unique_ptr<IMediaSource> m_source;
    StreamInfo m_video;
    StreamInfo m_audio;
    std::string m_description;
    std::string m_error;
    // Descriptions still to hand out before the first unit of a connection.
    int m_pendingDescriptions;
    bool m_rebase;         // the next unit fixes the new connection's time offset
    int64_t m_offsetMs;    // added to the connection's times
    int64_t m_lastTimeMs;  // the newest time handed out, -1 before any
    int64_t m_lastReadMs;  // when it was read
    uint32_t m_sequences[2];

    mutable std::mutex m_mutex;
    Backoff m_backoff;  // guarded by m_mutex
    State m_state;      // guarded by m_mutex
};
