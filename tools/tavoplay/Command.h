#pragma once

// What the user asks for with a key or a window event.
struct Command {
    enum Kind {
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
        // The window's size changed: the tiles are laid out again.
        Resize,
        // A click on a tile (in tile).
        SelectTile,
        // The selected tile alone in the window, or back to the grid.
        ToggleZoom,
        Quit,
    };

    Command(Kind kind, int tile = -1) : kind(kind), tile(tile) {}

    Kind kind;
    int tile;
};
