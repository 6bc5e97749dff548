// Where the editor windows of a song's first four ports sit: a two-by-two
// grid, port 0 top left, 1 top right, 2 bottom left, 3 bottom right. The
// column width is the wider of ports 0 and 2, the row height the taller of
// ports 0 and 1, so no window overlaps another whatever their sizes.
//   GridCellPosition  the top-left corner of port `to`'s window, given that
//                     port `from`'s window is at (x, y) and the outer window
//                     sizes of ports 0 to 2 (0 x 0 for a port without one).
//                     A port outside the grid (4 or more) gives (x, y).
#pragma once

#include <cstdint>

namespace tavren {

constexpr int32_t kEditorPorts = 4;

struct GridPoint {
    int32_t x = 0;
    int32_t y = 0;
};

struct GridSize {
    int32_t width = 0;
    int32_t height = 0;
};

GridPoint GridCellPosition(const GridSize sizes[3], int32_t from, int32_t x, int32_t y, int32_t to);

}  // namespace tavren
