#include "GridView.h"

#include <algorithm>

GridView::GridView(int columns, int rows, int tiles)
    : m_columns(columns), m_rows(rows), m_tiles(tiles), m_selected(0), m_zoomed(false) {}

void GridView::select(int tile) {
    if (tile >= 0 && tile < m_tiles) {
        m_selected = tile;
    }
}

std::vector<GridView::Rect> GridView::layout(int width, int height) const {
    std::vector<Rect> rects(static_cast<size_t>(m_tiles), Rect{0, 0, 0, 0});
    // The inside of a frame that starts at (x, y) and spans w × h.
    auto inside = [](int x, int y, int w, int h) {
        return Rect{x + kBorder, y + kBorder, std::max(1, w - 2 * kBorder),
                    std::max(1, h - 2 * kBorder)};
    };
    if (m_zoomed) {
        rects[static_cast<size_t>(m_selected)] = inside(0, 0, width, height);
        return rects;
    }
    for (int tile = 0; tile < m_tiles; ++tile) {
        const int column = tile % m_columns;
        const int row = tile / m_columns;
        // Edges from a rounded division, so the tiles fill the window exactly.
        const int left = column * width / m_columns;
        const int top = row * height / m_rows;
        const int right = (column + 1) * width / m_columns;
        const int bottom = (row + 1) * height / m_rows;
        rects[static_cast<size_t>(tile)] = inside(left, top, right - left, bottom - top);
    }
    return rects;
}
