#include "tavoplay/GridView.h"

#include <gtest/gtest.h>

// A 3x2 grid of five tiles in a 300x200 window: where the tiles go, which
// one is heard as the selection moves, and the selected tile alone.
TEST(GridViewTest, SelectionDecidesWhatIsHeardAndWhatIsShownAlone) {
    GridView view(3, 2, 5);
    auto expectRect = [](const GridView::Rect& rect, int x, int y, int width, int height) {
        EXPECT_EQ(x, rect.x);
        EXPECT_EQ(y, rect.y);
        EXPECT_EQ(width, rect.width);
        EXPECT_EQ(height, rect.height);
    };
    std::vector<GridView::Rect> rects = view.layout(300, 200);
    ASSERT_EQ(5u, rects.size());
    expectRect(rects[0], 2, 2, 96, 96);
    expectRect(rects[4], 102, 102, 96, 96);
    EXPECT_TRUE(view.heard(0));
    EXPECT_FALSE(view.heard(4));

    view.select(4);
    view.select(5);  // no such tile: the selection stays
    EXPECT_EQ(4, view.selected());
    EXPECT_TRUE(view.heard(4));
    EXPECT_FALSE(view.heard(0));

    view.toggleZoom();
    rects = view.layout(640, 360);
    expectRect(rects[4], 2, 2, 636, 356);
    expectRect(rects[0], 0, 0, 0, 0);
    view.toggleZoom();
    expectRect(view.layout(640, 360)[4], 215, 182, 209, 176);
}
