#pragma once

#include <vector>

// The grid's layout and selection: where each tile goes in the window,
// which tile is selected (the one keys act on and the only one heard), and
// whether the selected tile is shown alone in the whole window.
class GridView {
public:
    // A tile's place inside the window; width and height 0 for a hidden tile.
    struct Rect {
        int x;
        int y;
        int width;
        int height;
    };
    // The frame around each tile (marks the selected one).
    static constexpr int kBorder = 2;

    // tiles (1 to columns × rows) fill the grid row by row; tile 0 is selected.
    GridView(int columns, int rows, int tiles);

    int tiles() const { return m_tiles; }
    int selected() const { return m_selected; }
    bool zoomed() const { return m_zoomed; }
    // Tiles out of range leave the selection as it is.
    void select(int tile);
    // The selected tile alone in the whole window, or back to the grid.
    void toggleZoom() { m_zoomed = !m_zoomed; }
    // Only the selected tile is heard; the others are muted.
    bool heard(int tile) const { return tile == m_selected; }

    // The inside of every tile (its frame around it) in a window of that
    // size, in tile order.
    std::vector<Rect> layout(int width, int height) const;

private:
    const int m_columns;
    const int m_rows;
    const int m_tiles;
    int m_selected;
    bool m_zoomed;
};
