// The grid's selection rules, gesture by gesture, with the count announcements they make.

#include "ui/GridSelection.h"

#include <gtest/gtest.h>

namespace vantero {
namespace {

using Rows = std::vector<std::size_t>;

struct Grid {
    std::vector<std::size_t> announced;
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
    void key(GridKey key, bool ctrl = false, bool shift = false) {
        selection.keyPress(key, ctrl, shift);
    }
    Rows selected() const { return selection.selectedRows(); }
};

TEST(GridSelectionMouse, ClickSelectsOnlyThatRowAndCtrlClickToggles) {
    Grid grid(6);
    EXPECT_EQ(grid.selection.count(), 0u);
    grid.click(2);
    EXPECT_EQ(grid.selected(), (Rows{2}));
    EXPECT_EQ(grid.selection.anchor(), 2u);
    grid.click(4, true);
    grid.click(0, true);
    EXPECT_EQ(grid.selected(), (Rows{0, 2, 4}));
    EXPECT_EQ(grid.selection.anchor(), 0u);
    EXPECT_EQ(grid.selection.focusedRow(), 0u);
    grid.click(4, true);
    EXPECT_EQ(grid.selected(), (Rows{0, 2}));
    grid.click(3);
    EXPECT_EQ(grid.selected(), (Rows{3}));
    // Moving a single selection announces nothing; every change of the count once.
    grid.click(5);
    EXPECT_EQ(grid.announced, (Rows{1, 2, 3, 2, 1}));
    grid.click(5, true);
    EXPECT_EQ(grid.selected(), (Rows{}));
    EXPECT_EQ(grid.announced.back(), 0u);
}

TEST(GridSelectionMouse, PressOnASelectedRowWaitsForTheReleaseAndRightClickKeepsIt) {
    Grid grid(6);
    grid.click(1);
    grid.click(3, true);
    grid.selection.mousePress(3, false, false);
    EXPECT_EQ(grid.selected(), (Rows{1, 3})); // a drag of both could start here
    grid.selection.mouseRelease(4);           // released elsewhere: nothing
    EXPECT_EQ(grid.selected(), (Rows{1, 3}));
    grid.selection.mousePress(1, false, false, true);
    EXPECT_EQ(grid.selected(), (Rows{1, 3}));
    grid.selection.mousePress(5, false, false, true);
    EXPECT_EQ(grid.selected(), (Rows{5}));
    grid.click(5, true);
    grid.click(1, true);
    grid.selection.mousePress(1, false, false);
    grid.selection.mouseRelease(1);
    EXPECT_EQ(grid.selected(), (Rows{1}));
}

TEST(GridSelectionMouse, ShiftClickRangesFromTheAnchorOrTheFocus) {
    Grid grid(8);
    grid.click(2);
    grid.click(5, false, true);
    EXPECT_EQ(grid.selected(), (Rows{2, 3, 4, 5}));
    grid.click(0, false, true); // replaces, from the same anchor
    EXPECT_EQ(grid.selected(), (Rows{0, 1, 2}));
    EXPECT_EQ(grid.selection.anchor(), 2u);
    grid.click(6, true, true); // Ctrl+Shift adds from the focused row (0)... to 6
    EXPECT_EQ(grid.selected(), (Rows{0, 1, 2, 3, 4, 5, 6}));

    Grid fresh(5);
    fresh.selection.setFocusedRow(3);
    fresh.click(1, false, true); // no anchor: from the focused row
    EXPECT_EQ(fresh.selected(), (Rows{1, 2, 3}));
    EXPECT_EQ(fresh.announced, (Rows{3}));
}

TEST(GridSelectionKeys, NavigationMovesASingleSelectionAndDropsTheAnchor) {
    Grid grid(10, 4);
    grid.click(2);
    grid.click(4, true);
    grid.key(GridKey::Down);
    EXPECT_EQ(grid.selected(), (Rows{5}));
    EXPECT_EQ(grid.selection.anchor(), std::nullopt);
    grid.key(GridKey::PageDown);
    EXPECT_EQ(grid.selected(), (Rows{9}));
    grid.key(GridKey::Home);
    grid.key(GridKey::PageDown);
    EXPECT_EQ(grid.selected(), (Rows{4}));
    grid.key(GridKey::PageUp);
    grid.key(GridKey::Up);
    EXPECT_EQ(grid.selected(), (Rows{0}));
    grid.key(GridKey::End);
    EXPECT_EQ(grid.selected(), (Rows{9}));
    EXPECT_EQ(grid.announced, (Rows{1, 2, 1})); // the moves of one row announce nothing
}

// A grid that has never had a focused row (a header was clicked, nothing else): each key starts
// from the top, except End, which goes to the last row.
TEST(GridSelectionKeys, WithoutAFocusedRowKeysStartAtTheTopAndEndAtTheBottom) {
    const std::pair<GridKey, std::size_t> cases[] = {{GridKey::End, 4},      {GridKey::Home, 0},
                                                     {GridKey::Down, 0},     {GridKey::Up, 0},
                                                     {GridKey::PageDown, 0}, {GridKey::PageUp, 0}};
    for (const auto& [key, row] : cases) {
        Grid grid(5);
        grid.key(key);
        EXPECT_EQ(grid.selected(), (Rows{row})) << static_cast<int>(key);
    }
}

TEST(GridSelectionKeys, EdgesKeepTheSelectionWhereTheRulesSay) {
    Grid grid(5);
    grid.click(3);
    grid.click(4, true);
    grid.key(GridKey::Down); // on the last row: kept
    EXPECT_EQ(grid.selected(), (Rows{3, 4}));
    grid.click(0);
    grid.key(GridKey::Up); // first row, exactly one selected: kept
    EXPECT_EQ(grid.selected(), (Rows{0}));
    grid.click(1, true);
    grid.selection.setFocusedRow(0);
    grid.key(GridKey::Up); // first row, two selected: emptied, then the focused row
    EXPECT_EQ(grid.selected(), (Rows{0}));
}

TEST(GridSelectionKeys, ShiftExtendsAndShrinksFromTheAnchor) {
    Grid grid(8);
    grid.click(3);
    grid.key(GridKey::Down, false, true);
    grid.key(GridKey::Down, false, true);
    EXPECT_EQ(grid.selected(), (Rows{3, 4, 5}));
    grid.key(GridKey::Up, false, true);
    EXPECT_EQ(grid.selected(), (Rows{3, 4}));
    grid.key(GridKey::Up, false, true);
    grid.key(GridKey::Up, false, true);
    EXPECT_EQ(grid.selected(), (Rows{2, 3}));
    grid.key(GridKey::Home);
    EXPECT_EQ(grid.selection.anchor(), std::nullopt);
    grid.key(GridKey::End, false, true); // anchor set to the focused row first
    EXPECT_EQ(grid.selected().size(), 8u);
    EXPECT_EQ(grid.selection.anchor(), 0u);
}

TEST(GridSelectionKeys, CtrlSpaceTogglesCtrlNavigationOnlyMovesAndOtherKeysSelectTheFocus) {
    Grid grid(6);
    grid.click(1);
    grid.key(GridKey::Down, true);
    grid.key(GridKey::Down, true);
    EXPECT_EQ(grid.selection.focusedRow(), 3u);
    EXPECT_EQ(grid.selected(), (Rows{1}));
    grid.key(GridKey::Space, true);
    EXPECT_EQ(grid.selected(), (Rows{1, 3}));
    EXPECT_EQ(grid.selection.anchor(), 3u);
    grid.key(GridKey::Space, true);
    EXPECT_EQ(grid.selected(), (Rows{1}));
    grid.click(1, true); // nothing left selected
    grid.key(GridKey::Down, true);
    EXPECT_EQ(grid.selected(), (Rows{}));
    grid.key(GridKey::Delete, true);
    EXPECT_EQ(grid.selected(), (Rows{}));
    grid.key(GridKey::Other); // Tab, Esc, ...: the focused row becomes selected
    EXPECT_EQ(grid.selected(), (Rows{2}));
    grid.key(GridKey::Space, false);
    EXPECT_EQ(grid.selected(), (Rows{2}));
}

TEST(GridSelectionOrder, SelectionIsInListOrderWhateverTheClicksOrTheSort) {
    Grid grid(5);
    grid.click(4);
    grid.click(2, true);
    grid.click(0, true);
    EXPECT_EQ(grid.selected(), (Rows{0, 2, 4}));
    // Sorted descending: display row 0 shows list row 4.
    grid.selection.setDisplayOrder({4, 3, 2, 1, 0});
    EXPECT_EQ(grid.selected(), (Rows{0, 2, 4}));
    grid.click(0);              // list row 4
    grid.click(2, false, true); // display 0..2 = list rows 4, 3, 2
    EXPECT_EQ(grid.selected(), (Rows{2, 3, 4}));
    grid.key(GridKey::Down); // display order: to list row 1
    EXPECT_EQ(grid.selected(), (Rows{1}));
    EXPECT_THROW(grid.selection.setDisplayOrder({0, 0, 1, 2, 3}), std::invalid_argument);
}

TEST(GridSelectionRows, DeletingAndEmptyingFollowTheAnnouncementRule) {
    Grid grid(6);
    grid.click(1);
    grid.click(3, true);
    grid.click(5, true);
    grid.announced.clear();
    EXPECT_EQ(grid.selection.rowsToDelete(), (Rows{1, 3, 5}));
    grid.selection.beginGesture();
    for (const std::size_t row : {5u, 3u, 1u})
        grid.selection.rowDeleted(row);
    grid.selection.endGesture();
    EXPECT_EQ(grid.announced, (Rows{0}));
    EXPECT_EQ(grid.selection.rowCount(), 3u);
    EXPECT_EQ(grid.selection.focusedRow(), 2u); // last row, now list row 2

    grid.click(0);
    EXPECT_EQ(grid.selection.rowsToDelete(), (Rows{0}));
    grid.selection.rowDeleted(2); // an unselected row: indices below stay, no announcement
    EXPECT_EQ(grid.selected(), (Rows{0}));
    EXPECT_EQ(grid.announced, (Rows{0, 1}));
    grid.selection.emptied();
    grid.selection.emptied();
    EXPECT_EQ(grid.announced, (Rows{0, 1, 0}));
    EXPECT_EQ(grid.selection.rowsToDelete(), (Rows{}));
}

} // namespace
} // namespace vantero

namespace vantero {
namespace {

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

TEST(GridSelectionRows, DeletingManyAtOnceEndsAsDeletingThemOneByOneFromTheLast) {
    // Many small grids with a sorted display, a selection, a focus and an anchor, and a set of
    // rows to delete that may hold the focus, the anchor, the first and last rows shown.
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

TEST(GridSelectionRows, DeletingManyRefusesRowsOutOfRangeOrOrder) {
    Grid grid(4);
    grid.click(1);
    for (const Rows& rows : {Rows{4}, Rows{2, 1}, Rows{0, 0}}) {
        EXPECT_THROW(grid.selection.rowsDeleted(rows), std::out_of_range);
        EXPECT_EQ(grid.selection.rowCount(), 4u);
        EXPECT_EQ(grid.selected(), (Rows{1}));
    }
    grid.selection.rowsDeleted({});
    EXPECT_EQ(grid.announced, (Rows{1}));
    // All of them: nothing left to focus.
    grid.selection.rowsDeleted({0, 1, 2, 3});
    EXPECT_EQ(grid.selection.rowCount(), 0u);
    EXPECT_EQ(grid.selection.focusedRow(), std::nullopt);
    EXPECT_EQ(grid.announced, (Rows{1, 0}));
}

} // namespace
} // namespace vantero
