#include "ui/GridSelection.h"

#include <gtest/gtest.h>

#include <numeric>
#include <sstream>

namespace vantero {
namespace {

using Rows = std::vector<std::size_t>;

struct Grid {
    Rows announced;
    GridSelection selection{[this](std::size_t count) { announced.push_back(count); }};
    explicit Grid(std::size_t rows, std::size_t page = 3) {
        for (std::size_t i = 0; i < rows; ++i)
            selection.rowAppended();
        selection.setPageRows(page);
    }
    void click(std::size_t d, bool ctrl = false, bool shift = false) {
        selection.mousePress(d, ctrl, shift);
        selection.mouseRelease(d);
    }
    Rows reversed() const {
        Rows order(selection.rowCount());
        std::iota(order.rbegin(), order.rend(), 0);
        return order;
    }
    // Gestures in a few letters: c2 click row 2, C2 Ctrl+click, s2 Shift+click, x2 Ctrl+Shift+
    // click, p2 / r2 a press / a release alone, R2 a right press, f2 the focus put on row 2, S the
    // display sorted in reverse; keys d u h e n N (down, up, home, end, page down, page up) with +
    // for Shift or ^ for Ctrl before them, ^_ Ctrl+Space, ^! Ctrl+Del, o any other key.
    void play(const std::string& gestures) {
        constexpr GridKey kKeys[] = {GridKey::Down,  GridKey::Up,       GridKey::Home,
                                     GridKey::End,   GridKey::PageDown, GridKey::PageUp,
                                     GridKey::Space, GridKey::Delete,   GridKey::Other};
        std::istringstream words(gestures);
        for (std::string w; words >> w;) {
            const bool shift = w[0] == '+', ctrl = w[0] == '^';
            const std::string g = shift || ctrl ? w.substr(1) : w;
            const std::size_t row = g.size() > 1 ? std::stoul(g.substr(1)) : 0;
            if (const std::size_t key = std::string("duhenN_!o").find(g[0]);
                key != std::string::npos)
                selection.keyPress(kKeys[key], ctrl, shift);
            else if (g[0] == 'p' || g[0] == 'R')
                selection.mousePress(row, false, false, g[0] == 'R');
            else if (g[0] == 'r')
                selection.mouseRelease(row);
            else if (g[0] == 'f')
                selection.setFocusedRow(row);
            else if (g[0] == 'S')
                selection.setDisplayOrder(reversed());
            else
                click(row, g[0] == 'C' || g[0] == 'x', g[0] == 's' || g[0] == 'x');
        }
    }
};

TEST(GridSelection, GesturesSelectTheRowsTheRulesSay) {
    struct Case {
        std::size_t rows;
        const char* gestures;
        Rows selected;
        Rows announced; // the counts, once per gesture that changed it
    };
    const Case cases[] = {
        // Click selects only that row, Ctrl+click toggles; moving one row announces nothing.
        {6, "c2 C4 C0 C4 c3 c5", {5}, {1, 2, 3, 2, 1}},
        {6, "c5 C5", {}, {1, 0}},
        // A press on a selected row waits for its release (a drag of both could start);
        // released elsewhere, nothing; a right press keeps a selected row, selects another.
        {6, "c1 C3 p3 r4", {1, 3}, {1, 2}},
        {6, "c1 C3 R1", {1, 3}, {1, 2}},
        {6, "c1 C3 R5", {5}, {1, 2, 1}},
        {6, "c1 C3 p1 r1", {1}, {1, 2, 1}},
        // Shift+click ranges from the anchor, replacing; Ctrl+Shift adds from the focus.
        {8, "c2 s5", {2, 3, 4, 5}, {1, 4}},
        {8, "c2 s5 s0", {0, 1, 2}, {1, 4, 3}},
        {8, "c2 s0 x6", {0, 1, 2, 3, 4, 5, 6}, {1, 3, 7}},
        {5, "f3 s1", {1, 2, 3}, {3}}, // no anchor: from the focused row
        // Keys move a single selection; Page keys by the page; Shift extends and shrinks.
        {10, "c2 C4 d", {5}, {1, 2, 1}},
        {10, "c2 n n", {8}, {1}},
        {10, "c5 h n N u", {0}, {1}},
        {10, "c5 e", {9}, {1}},
        {8, "c3 +d +d", {3, 4, 5}, {1, 2, 3}},
        {8, "c3 +d +d +u +u +u", {2, 3}, {1, 2, 3, 2, 1, 2}},
        {8, "c3 h +e", {0, 1, 2, 3, 4, 5, 6, 7}, {1, 8}},
        // Edges: Down on the last row and Up on the first with one row selected keep it.
        {5, "c3 C4 d", {3, 4}, {1, 2}},
        {5, "c0 u", {0}, {1}},
        {5, "c0 C1 f0 u", {0}, {1, 2, 1}},
        // Without a focused row (only a header was clicked) keys start at the top; End at the end.
        {5, "e", {4}, {1}},
        {5, "d", {0}, {1}},
        {5, "n", {0}, {1}},
        // Ctrl with a key moves the focus only; Ctrl+Space toggles it; other keys select the
        // focused row when nothing is selected; Ctrl+Del changes nothing.
        {6, "c1 ^d ^d ^_", {1, 3}, {1, 2}},
        {6, "c1 ^d ^d ^_ ^_", {1}, {1, 2, 1}},
        {6, "c1 C1 ^d ^!", {}, {1, 0}},
        {6, "c1 C1 ^d o", {2}, {1, 0, 1}},
        // The selection is in list order, whatever the clicks or the sort; ranges and keys go by
        // the display.
        {5, "c4 C2 C0 S", {0, 2, 4}, {1, 2, 3}},
        {5, "S c0 s2", {2, 3, 4}, {1, 3}},
        {5, "S c0 s2 d", {1}, {1, 3, 1}},
    };
    for (const Case& c : cases) {
        Grid grid(c.rows, 3);
        grid.play(c.gestures);
        EXPECT_EQ(grid.selection.selectedRows(), c.selected) << c.gestures;
        EXPECT_EQ(grid.announced, c.announced) << c.gestures;
    }
}

// The state in a few characters: the selected rows, f the focused row and a the anchor (- for
// none), then the list rows in display order.
std::string described(const GridSelection& s) {
    const auto row = [](std::optional<std::size_t> r) { return r ? std::to_string(*r) : "-"; };
    std::string text;
    for (const std::size_t r : s.selectedRows())
        text += std::to_string(r);
    text += " f" + row(s.focusedRow()) + " a" + row(s.anchor()) + " ";
    for (std::size_t d = 0; d < s.rowCount(); ++d)
        text += std::to_string(s.listRowAt(d));
    return text;
}

// A deletion takes the selection, or the focused row alone. At once or one by one from the last,
// the focus stays in its place on screen, on the first kept row below it or else the last above;
// the anchor goes with its row; the count is announced once, if it changed.
TEST(GridSelection, DeletingRowsKeepsTheFocusOnScreenAndAnnouncesOnce) {
    const struct {
        const char* gestures;
        Rows deleted;
        const char* after;
        Rows announced;
    } cases[] = {
        {"S c1 C3", {2, 4}, " f1 a- 3210", {0}},       {"S c1 C5", {0, 4}, " f0 a- 3210", {0}},
        {"c0 s5", {0, 1, 2, 3, 4, 5}, " f- a- ", {0}}, {"c4 C0 C2 C4", {0, 2}, " f2 a2 0123", {0}},
        {"c4 ^u ^u", {2}, "3 f2 a3 01234", {}},
    };
    for (const auto& c : cases) {
        for (const bool atOnce : {true, false}) {
            SCOPED_TRACE(std::string(c.gestures) + (atOnce ? " at once" : " one by one"));
            Grid grid(6);
            grid.play(c.gestures);
            grid.announced.clear();
            const Rows rows = grid.selection.rowsToDelete();
            EXPECT_EQ(rows, c.deleted);
            if (atOnce) {
                grid.selection.rowsDeleted(rows);
            } else {
                grid.selection.beginGesture();
                for (auto row = rows.rbegin(); row != rows.rend(); ++row)
                    grid.selection.rowDeleted(*row);
                grid.selection.endGesture();
            }
            EXPECT_EQ(described(grid.selection), c.after);
            EXPECT_EQ(grid.announced, c.announced);
        }
    }
    Grid grid(3);
    grid.play("c0");
    grid.selection.emptied();
    grid.selection.emptied(); // emptying an empty selection says nothing
    EXPECT_EQ(grid.announced, (Rows{1, 0}));
    EXPECT_THROW(grid.selection.rowsDeleted({0}), std::out_of_range);
    EXPECT_THROW(Grid(3).selection.rowsDeleted({1, 1}), std::out_of_range);
    EXPECT_THROW(Grid(3).selection.setDisplayOrder({0, 0, 1}), std::invalid_argument);
}

} // namespace
} // namespace vantero
