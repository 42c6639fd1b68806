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
            selection.RowAppended();
        selection.SetPageRows(page);
    }
    void Click(std::size_t d, bool ctrl = false, bool shift = false) {
        selection.MousePress(d, ctrl, shift);
        selection.MouseRelease(d);
    }
    void Key(GridKey key, bool ctrl = false, bool shift = false) {
        selection.KeyPress(key, ctrl, shift);
    }
    Rows Selected() const { return selection.SelectedRows(); }
};

TEST(GridSelectionMouse, ClickSelectsOnlyThatRowAndCtrlClickToggles) {
    Grid grid(6);
    EXPECT_EQ(grid.selection.Count(), 0u);
    grid.Click(2);
    EXPECT_EQ(grid.Selected(), (Rows{2}));
    EXPECT_EQ(grid.selection.Anchor(), 2u);
    grid.Click(4, true);
    grid.Click(0, true);
    EXPECT_EQ(grid.Selected(), (Rows{0, 2, 4}));
    EXPECT_EQ(grid.selection.Anchor(), 0u);
    EXPECT_EQ(grid.selection.FocusedRow(), 0u);
    grid.Click(4, true);
    EXPECT_EQ(grid.Selected(), (Rows{0, 2}));
    grid.Click(3);
    EXPECT_EQ(grid.Selected(), (Rows{3}));
    // Moving a single selection announces nothing; every change of the count once.
    grid.Click(5);
    EXPECT_EQ(grid.announced, (Rows{1, 2, 3, 2, 1}));
    grid.Click(5, true);
    EXPECT_EQ(grid.Selected(), (Rows{}));
    EXPECT_EQ(grid.announced.back(), 0u);
}

TEST(GridSelectionMouse, PressOnASelectedRowWaitsForTheReleaseAndRightClickKeepsIt) {
    Grid grid(6);
    grid.Click(1);
    grid.Click(3, true);
    grid.selection.MousePress(3, false, false);
    EXPECT_EQ(grid.Selected(), (Rows{1, 3})); // a drag of both could start here
    grid.selection.MouseRelease(4);           // released elsewhere: nothing
    EXPECT_EQ(grid.Selected(), (Rows{1, 3}));
    grid.selection.MousePress(1, false, false, true);
    EXPECT_EQ(grid.Selected(), (Rows{1, 3}));
    grid.selection.MousePress(5, false, false, true);
    EXPECT_EQ(grid.Selected(), (Rows{5}));
    grid.Click(5, true);
    grid.Click(1, true);
    grid.selection.MousePress(1, false, false);
    grid.selection.MouseRelease(1);
    EXPECT_EQ(grid.Selected(), (Rows{1}));
}

TEST(GridSelectionMouse, ShiftClickRangesFromTheAnchorOrTheFocus) {
    Grid grid(8);
    grid.Click(2);
    grid.Click(5, false, true);
    EXPECT_EQ(grid.Selected(), (Rows{2, 3, 4, 5}));
    grid.Click(0, false, true); // replaces, from the same anchor
    EXPECT_EQ(grid.Selected(), (Rows{0, 1, 2}));
    EXPECT_EQ(grid.selection.Anchor(), 2u);
    grid.Click(6, true, true); // Ctrl+Shift adds from the focused row (0)... to 6
    EXPECT_EQ(grid.Selected(), (Rows{0, 1, 2, 3, 4, 5, 6}));

    Grid fresh(5);
    fresh.selection.SetFocusedRow(3);
    fresh.Click(1, false, true); // no anchor: from the focused row
    EXPECT_EQ(fresh.Selected(), (Rows{1, 2, 3}));
    EXPECT_EQ(fresh.announced, (Rows{3}));
}

TEST(GridSelectionKeys, NavigationMovesASingleSelectionAndDropsTheAnchor) {
    Grid grid(10, 4);
    grid.Click(2);
    grid.Click(4, true);
    grid.Key(GridKey::Down);
    EXPECT_EQ(grid.Selected(), (Rows{5}));
    EXPECT_EQ(grid.selection.Anchor(), std::nullopt);
    grid.Key(GridKey::PageDown);
    EXPECT_EQ(grid.Selected(), (Rows{9}));
    grid.Key(GridKey::Home);
    grid.Key(GridKey::PageDown);
    EXPECT_EQ(grid.Selected(), (Rows{4}));
    grid.Key(GridKey::PageUp);
    grid.Key(GridKey::Up);
    EXPECT_EQ(grid.Selected(), (Rows{0}));
    grid.Key(GridKey::End);
    EXPECT_EQ(grid.Selected(), (Rows{9}));
    EXPECT_EQ(grid.announced, (Rows{1, 2, 1})); // the moves of one row announce nothing
}

TEST(GridSelectionKeys, EdgesKeepTheSelectionWhereTheRulesSay) {
    Grid grid(5);
    grid.Click(3);
    grid.Click(4, true);
    grid.Key(GridKey::Down); // on the last row: kept
    EXPECT_EQ(grid.Selected(), (Rows{3, 4}));
    grid.Click(0);
    grid.Key(GridKey::Up); // first row, exactly one selected: kept
    EXPECT_EQ(grid.Selected(), (Rows{0}));
    grid.Click(1, true);
    grid.selection.SetFocusedRow(0);
    grid.Key(GridKey::Up); // first row, two selected: emptied, then the focused row
    EXPECT_EQ(grid.Selected(), (Rows{0}));
}

TEST(GridSelectionKeys, ShiftExtendsAndShrinksFromTheAnchor) {
    Grid grid(8);
    grid.Click(3);
    grid.Key(GridKey::Down, false, true);
    grid.Key(GridKey::Down, false, true);
    EXPECT_EQ(grid.Selected(), (Rows{3, 4, 5}));
    grid.Key(GridKey::Up, false, true);
    EXPECT_EQ(grid.Selected(), (Rows{3, 4}));
    grid.Key(GridKey::Up, false, true);
    grid.Key(GridKey::Up, false, true);
    EXPECT_EQ(grid.Selected(), (Rows{2, 3}));
    grid.Key(GridKey::Home);
    EXPECT_EQ(grid.selection.Anchor(), std::nullopt);
    grid.Key(GridKey::End, false, true); // anchor set to the focused row first
    EXPECT_EQ(grid.Selected().size(), 8u);
    EXPECT_EQ(grid.selection.Anchor(), 0u);
}

TEST(GridSelectionKeys, CtrlSpaceTogglesCtrlNavigationOnlyMovesAndOtherKeysSelectTheFocus) {
    Grid grid(6);
    grid.Click(1);
    grid.Key(GridKey::Down, true);
    grid.Key(GridKey::Down, true);
    EXPECT_EQ(grid.selection.FocusedRow(), 3u);
    EXPECT_EQ(grid.Selected(), (Rows{1}));
    grid.Key(GridKey::Space, true);
    EXPECT_EQ(grid.Selected(), (Rows{1, 3}));
    EXPECT_EQ(grid.selection.Anchor(), 3u);
    grid.Key(GridKey::Space, true);
    EXPECT_EQ(grid.Selected(), (Rows{1}));
    grid.Click(1, true); // nothing left selected
    grid.Key(GridKey::Down, true);
    EXPECT_EQ(grid.Selected(), (Rows{}));
    grid.Key(GridKey::Delete, true);
    EXPECT_EQ(grid.Selected(), (Rows{}));
    grid.Key(GridKey::Other); // Tab, Esc, ...: the focused row becomes selected
    EXPECT_EQ(grid.Selected(), (Rows{2}));
    grid.Key(GridKey::Space, false);
    EXPECT_EQ(grid.Selected(), (Rows{2}));
}

TEST(GridSelectionOrder, SelectionIsInListOrderWhateverTheClicksOrTheSort) {
    Grid grid(5);
    grid.Click(4);
    grid.Click(2, true);
    grid.Click(0, true);
    EXPECT_EQ(grid.Selected(), (Rows{0, 2, 4}));
    // Sorted descending: display row 0 shows list row 4.
    grid.selection.SetDisplayOrder({4, 3, 2, 1, 0});
    EXPECT_EQ(grid.Selected(), (Rows{0, 2, 4}));
    grid.Click(0);              // list row 4
    grid.Click(2, false, true); // display 0..2 = list rows 4, 3, 2
    EXPECT_EQ(grid.Selected(), (Rows{2, 3, 4}));
    grid.Key(GridKey::Down); // display order: to list row 1
    EXPECT_EQ(grid.Selected(), (Rows{1}));
    EXPECT_THROW(grid.selection.SetDisplayOrder({0, 0, 1, 2, 3}), std::invalid_argument);
}

TEST(GridSelectionRows, DeletingAndEmptyingFollowTheAnnouncementRule) {
    Grid grid(6);
    grid.Click(1);
    grid.Click(3, true);
    grid.Click(5, true);
    grid.announced.clear();
    EXPECT_EQ(grid.selection.RowsToDelete(), (Rows{1, 3, 5}));
    grid.selection.BeginGesture();
    for (const std::size_t row : {5u, 3u, 1u})
        grid.selection.RowDeleted(row);
    grid.selection.EndGesture();
    EXPECT_EQ(grid.announced, (Rows{0}));
    EXPECT_EQ(grid.selection.RowCount(), 3u);
    EXPECT_EQ(grid.selection.FocusedRow(), 2u); // last row, now list row 2

    grid.Click(0);
    EXPECT_EQ(grid.selection.RowsToDelete(), (Rows{0}));
    grid.selection.RowDeleted(2); // an unselected row: indices below stay, no announcement
    EXPECT_EQ(grid.Selected(), (Rows{0}));
    EXPECT_EQ(grid.announced, (Rows{0, 1}));
    grid.selection.Emptied();
    grid.selection.Emptied();
    EXPECT_EQ(grid.announced, (Rows{0, 1, 0}));
    EXPECT_EQ(grid.selection.RowsToDelete(), (Rows{}));
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

State Snapshot(const GridSelection& s) {
    State state{s.SelectedRows(), {}, s.FocusedRow(), s.Anchor()};
    for (std::size_t d = 0; d < s.RowCount(); ++d)
        state.order.push_back(s.ListRowAt(d));
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
            grid->selection.SetDisplayOrder(order);
            grid->Click(clicks[0]);
            grid->Click(clicks[1], true);
            grid->Click(clicks[2], true);
            if (trial % 3 == 0)
                grid->selection.MousePress(clicks[3], false, true);
            grid->announced.clear();
        }
        Rows doomed;
        for (std::size_t r = 0; r < rows; ++r)
            if (next(3) == 0 || (trial % 5 == 0 && one.selection.FocusedRow() == r))
                doomed.push_back(r);

        one.selection.BeginGesture();
        for (auto row = doomed.rbegin(); row != doomed.rend(); ++row)
            one.selection.RowDeleted(*row);
        one.selection.EndGesture();
        many.selection.RowsDeleted(doomed);
        ASSERT_EQ(Snapshot(many.selection), Snapshot(one.selection)) << "trial " << trial;
        EXPECT_EQ(many.announced, one.announced) << "trial " << trial;
        EXPECT_LE(many.announced.size(), 1u);
    }
}

TEST(GridSelectionRows, DeletingManyRefusesRowsOutOfRangeOrOrder) {
    Grid grid(4);
    grid.Click(1);
    for (const Rows& rows : {Rows{4}, Rows{2, 1}, Rows{0, 0}}) {
        EXPECT_THROW(grid.selection.RowsDeleted(rows), std::out_of_range);
        EXPECT_EQ(grid.selection.RowCount(), 4u);
        EXPECT_EQ(grid.Selected(), (Rows{1}));
    }
    grid.selection.RowsDeleted({});
    EXPECT_EQ(grid.announced, (Rows{1}));
    // All of them: nothing left to focus.
    grid.selection.RowsDeleted({0, 1, 2, 3});
    EXPECT_EQ(grid.selection.RowCount(), 0u);
    EXPECT_EQ(grid.selection.FocusedRow(), std::nullopt);
    EXPECT_EQ(grid.announced, (Rows{1, 0}));
}

} // namespace
} // namespace vantero
