#pragma once

#include <string>

// Finds out, before any player runs, whether there is a sound device: the
// engine plays through SDL's audio subsystem and plays silently without a
// device, so the host asks SDL the same question first and can say so.
class AudioDeviceCheck {
public:
    AudioDeviceCheck();

    bool available() const { return m_available; }
    // One line for the user: the driver and device, or why there is none.
    const std::string& description() const { return m_description; }

private:
    bool m_available;
    std::string m_description;
};
