#pragma once

// The selection rules of a multi-select grid, without widgets: which rows a click or a key
// selects, the anchor, the focused row, and when the number of selected rows is announced. The
// grid widget only translates its events into these calls.
//
// Rows are addressed two ways. A list row is a position in the record table, the order the folder
// scan appended them; the selection is kept and handed out in that order. A display row is a
// position on screen, which a sort changes; ranges (Shift) are taken in display order.

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace vantero {

enum class GridKey { Up, Down, Home, End, PageUp, PageDown, Space, Delete, Other };

class GridSelection {
public:
    // Called with the new count at the end of a gesture that changed it.
    using CountAnnouncer = std::function<void(std::size_t count)>;
    explicit GridSelection(CountAnnouncer announce = {});

    // The rows themselves, as the record table changes. A change made outside a gesture is a
    // gesture of its own.
    void RowAppended(); // a new last list row, shown last
    void Emptied();     // every row gone
    void RowDeleted(std::size_t listRow);
    // Many rows at once, ascending list rows: the same end as deleting them one by one from the
    // last, in one pass.
    void RowsDeleted(const std::vector<std::size_t>& listRows);
    // displayToList[d] is the list row shown at display position d; a permutation of the rows.
    void SetDisplayOrder(std::vector<std::size_t> displayToList);
    void SetPageRows(std::size_t rows) { pageRows_ = rows == 0 ? 1 : rows; }
    void SetFocusedRow(std::optional<std::size_t> listRow);

    // Several steps that the user sees as one (a deletion of many rows): one announcement at the
    // end at most.
    void BeginGesture();
    void EndGesture();

    // Mouse: a press, then its release on the row under the pointer (none when off the rows).
    void MousePress(std::size_t displayRow, bool ctrl, bool shift, bool rightButton = false);
    void MouseRelease(std::optional<std::size_t> displayRow);
    void KeyPress(GridKey key, bool ctrl, bool shift);

    std::size_t Count() const { return selected_.size(); }
    // The selected list rows, ascending: table-list order, whatever the display order.
    std::vector<std::size_t> SelectedRows() const { return {selected_.begin(), selected_.end()}; }
    bool IsSelected(std::size_t listRow) const { return selected_.count(listRow) != 0; }
    std::optional<std::size_t> FocusedRow() const { return focus_; }
    std::optional<std::size_t> Anchor() const { return anchor_; }
    std::size_t RowCount() const { return displayToList_.size(); }
    std::size_t DisplayRowOf(std::size_t listRow) const { return listToDisplay_.at(listRow); }
    std::size_t ListRowAt(std::size_t displayRow) const { return displayToList_.at(displayRow); }
    // What Ctrl+Del removes: every selected row when two or more are, else the focused row.
    std::vector<std::size_t> RowsToDelete() const;

private:
    class Unit;
    void SelectRange(std::size_t fromList, std::size_t toList); // replaces the selection
    void RebuildInverse();
    std::optional<std::size_t> FocusDisplay() const;
    std::optional<std::size_t> Moved(GridKey key) const; // the display row a key moves to

    CountAnnouncer announce_;
    std::vector<std::size_t> displayToList_;
    std::vector<std::size_t> listToDisplay_;
    std::set<std::size_t> selected_;
    std::optional<std::size_t> focus_;        // list row
    std::optional<std::size_t> anchor_;       // list row
    std::optional<std::size_t> pendingClick_; // list row a plain press on a selected row waits for
    std::size_t pageRows_ = 1;
    int depth_ = 0;
    std::size_t countBefore_ = 0;
};

} // namespace vantero
