#include "tavoplay/GridView.h"

#include <gtest/gtest.h>

#include <vector>

// A 3x2 grid of five tiles in a 300x200 window: where the tiles go, which
// one is heard as the selection moves, and the selected tile alone.
TEST(GridViewTest, SelectionDecidesWhatIsHeardAndWhatIsShownAlone) {
    GridView view(3, 2, 5);
    auto at = [](const GridView::Rect& rect) {
        return std::vector<int>{rect.x, rect.y, rect.width, rect.height};
    };
    std::vector<GridView::Rect> rects = view.layout(300, 200);
    ASSERT_EQ(5u, rects.size());
    EXPECT_EQ((std::vector<int>{2, 2, 96, 96}), at(rects[0]));
    EXPECT_EQ((std::vector<int>{102, 102, 96, 96}), at(rects[4]));
    EXPECT_TRUE(view.heard(0));
    EXPECT_FALSE(view.heard(4));

    view.select(4);
    view.select(5);  // no such tile: the selection stays
    EXPECT_EQ(4, view.selected());
    EXPECT_TRUE(view.heard(4));
    EXPECT_FALSE(view.heard(0));

    view.toggleZoom();
    rects = view.layout(640, 360);
    EXPECT_EQ((std::vector<int>{2, 2, 636, 356}), at(rects[4]));
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), at(rects[0]));
    view.toggleZoom();
    EXPECT_EQ((std::vector<int>{215, 182, 209, 176}), at(view.layout(640, 360)[4]));
}
