#include "ui/GridSelection.h"

#include <gtest/gtest.h>

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
    // Gestures in a few letters: c2 click row 2, C2 Ctrl+click, s2 Shift+click, x2 Ctrl+Shift+
    // click, p2 / r2 a press / a release alone, R2 a right press, f2 the focus put on row 2; keys
    // d u h e n N (down, up, home, end, page down, page up) with + for Shift or ^ for Ctrl before
    // them, ^_ Ctrl+Space, ^! Ctrl+Del, o any other key.
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
    };
    for (const Case& c : cases) {
        Grid grid(c.rows, 3);
        grid.play(c.gestures);
        EXPECT_EQ(grid.selection.selectedRows(), c.selected) << c.gestures;
        EXPECT_EQ(grid.announced, c.announced) << c.gestures;
    }
}

TEST(GridSelection, TheSelectionIsInListOrderWhateverTheClicksOrTheSort) {
    Grid grid(5);
    grid.play("c4 C2 C0");
    EXPECT_EQ(grid.selection.selectedRows(), (Rows{0, 2, 4}));
    grid.selection.setDisplayOrder({4, 3, 2, 1, 0}); // sorted descending
    EXPECT_EQ(grid.selection.selectedRows(), (Rows{0, 2, 4}));
    grid.play("c0 s2"); // display rows 0 to 2: list rows 4, 3, 2
    EXPECT_EQ(grid.selection.selectedRows(), (Rows{2, 3, 4}));
    grid.play("d"); // in display order: list row 1
    EXPECT_EQ(grid.selection.selectedRows(), (Rows{1}));
    EXPECT_THROW(grid.selection.setDisplayOrder({0, 0, 1, 2, 3}), std::invalid_argument);
}

TEST(GridSelection, DeletingRowsAnnouncesOnceAndKeepsTheFocusOnScreen) {
    Grid grid(6);
    grid.play("c1 C3 C5");
    grid.announced.clear();
    EXPECT_EQ(grid.selection.rowsToDelete(), (Rows{1, 3, 5}));
    grid.selection.beginGesture();
    for (const std::size_t row : {5u, 3u, 1u})
        grid.selection.rowDeleted(row);
    grid.selection.endGesture();
    EXPECT_EQ(grid.announced, (Rows{0}));
    EXPECT_EQ(grid.selection.focusedRow(), 2u); // the last row, now list row 2
    grid.play("c0");
    EXPECT_EQ(grid.selection.rowsToDelete(), (Rows{0})); // one selected: the focused row
    grid.selection.rowDeleted(2);
    EXPECT_EQ(grid.selection.selectedRows(), (Rows{0}));
    grid.selection.emptied();
    grid.selection.emptied(); // emptying an empty selection says nothing
    EXPECT_EQ(grid.announced, (Rows{0, 1, 0}));
    EXPECT_THROW(grid.selection.rowsDeleted({4}), std::out_of_range);
}

struct State {
    Rows selected, order;
    std::optional<std::size_t> focus, anchor;
    bool operator==(const State&) const = default;
};

State snapshot(const GridSelection& s) {
    State state{s.selectedRows(), {}, s.focusedRow(), s.anchor()};
    for (std::size_t d = 0; d < s.rowCount(); ++d)
        state.order.push_back(s.listRowAt(d));
    return state;
}

// Many small grids with a sorted display, a selection, a focus and an anchor, and a set of rows to
// delete that may hold the focus, the anchor, the first and last rows shown: many rows at once
// end as deleting them one by one from the last.
TEST(GridSelection, DeletingManyAtOnceEndsAsDeletingThemOneByOneFromTheLast) {
    std::uint32_t seed = 7;
    const auto next = [&seed](std::size_t below) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<std::size_t>((seed >> 8) % below);
    };
    for (int trial = 0; trial < 400; ++trial) {
        const std::size_t rows = 1 + next(12);
        Grid one(rows), many(rows);
        Rows order(rows);
        for (std::size_t i = 0; i < rows; ++i)
            order[i] = i;
        for (std::size_t i = rows; i > 1; --i)
            std::swap(order[i - 1], order[next(i)]);
        const std::size_t clicks[] = {next(rows), next(rows), next(rows), next(rows)};
        for (Grid* grid : {&one, &many}) {
            grid->selection.setDisplayOrder(order);
            grid->click(clicks[0]);
            grid->click(clicks[1], true);
            grid->click(clicks[2], true);
            if (trial % 3 == 0)
                grid->selection.mousePress(clicks[3], false, true);
            grid->announced.clear();
        }
        Rows doomed;
        for (std::size_t r = 0; r < rows; ++r)
            if (next(3) == 0 || (trial % 5 == 0 && one.selection.focusedRow() == r))
                doomed.push_back(r);

        one.selection.beginGesture();
        for (auto row = doomed.rbegin(); row != doomed.rend(); ++row)
            one.selection.rowDeleted(*row);
        one.selection.endGesture();
        many.selection.rowsDeleted(doomed);
        ASSERT_EQ(snapshot(many.selection), snapshot(one.selection)) << "trial " << trial;
        EXPECT_EQ(many.announced, one.announced) << "trial " << trial;
        EXPECT_LE(many.announced.size(), 1u);
    }
}

} // namespace
} // namespace vantero
