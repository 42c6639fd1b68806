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
