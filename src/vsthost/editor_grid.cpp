#include "vsthost/editor_grid.h"

namespace tavren {

namespace {

int32_t Larger(int32_t a, int32_t b) { return a > b ? a : b; }
bool InGrid(int32_t port) { return port >= 0 && port < kEditorPorts; }

}  // namespace

GridPoint GridCellPosition(const GridSize sizes[3], int32_t from, int32_t x, int32_t y, int32_t to) {
    if (to == from || !InGrid(from) || !InGrid(to)) return {x, y};
    int32_t columnWidth = Larger(sizes[0].width, sizes[2].width);
    int32_t rowHeight = Larger(sizes[0].height, sizes[1].height);
    return {x + (to % 2 - from % 2) * columnWidth, y + (to / 2 - from / 2) * rowHeight};
}

}  // namespace tavren
