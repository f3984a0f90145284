#pragma once

// What the user asks for with a key or a window event.
enum class Command {
    TogglePause,
    ToggleReplay,
    SeekBack,
    SeekForward,
    ToggleReplayPause,
    Snapshot,
    ToggleRecording,
    VolumeUp,
    VolumeDown,
    RendererDDraw,
    RendererD3D,
    RendererShader,
    Repaint,
    Quit,
};
