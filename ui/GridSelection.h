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
    void rowAppended(); // a new last list row, shown last
    void emptied();     // every row gone
    void rowDeleted(std::size_t listRow);
    // Many rows at once, ascending list rows: the same end as deleting them one by one from the
    // last, in one pass.
    void rowsDeleted(const std::vector<std::size_t>& listRows);
    // displayToList[d] is the list row shown at display position d; a permutation of the rows.
    void setDisplayOrder(std::vector<std::size_t> displayToList);
    void setPageRows(std::size_t rows) { m_pageRows = rows == 0 ? 1 : rows; }
    void setFocusedRow(std::optional<std::size_t> listRow);

    // Several steps that the user sees as one (a deletion of many rows): one announcement at the
    // end at most.
    void beginGesture();
    void endGesture();

    // Mouse: a press, then its release on the row under the pointer (none when off the rows).
    void mousePress(std::size_t displayRow, bool ctrl, bool shift, bool rightButton = false);
    void mouseRelease(std::optional<std::size_t> displayRow);
    void keyPress(GridKey key, bool ctrl, bool shift);

    std::size_t count() const { return m_selected.size(); }
    // The selected list rows, ascending: table-list order, whatever the display order.
    std::vector<std::size_t> selectedRows() const { return {m_selected.begin(), m_selected.end()}; }
    bool isSelected(std::size_t listRow) const { return m_selected.count(listRow) != 0; }
    std::optional<std::size_t> focusedRow() const { return m_focus; }
    std::optional<std::size_t> anchor() const { return m_anchor; }
    std::size_t rowCount() const { return m_displayToList.size(); }
    std::size_t displayRowOf(std::size_t listRow) const { return m_listToDisplay.at(listRow); }
    std::size_t listRowAt(std::size_t displayRow) const { return m_displayToList.at(displayRow); }
    // What Ctrl+Del removes: every selected row when two or more are, else the focused row.
    std::vector<std::size_t> rowsToDelete() const;

private:
    class Unit;
    void selectRange(std::size_t fromList, std::size_t toList); // replaces the selection
    void rebuildInverse();
    std::optional<std::size_t> focusDisplay() const;
    std::optional<std::size_t> moved(GridKey key) const; // the display row a key moves to

    CountAnnouncer m_announce;
    std::vector<std::size_t> m_displayToList;
    std::vector<std::size_t> m_listToDisplay;
    std::set<std::size_t> m_selected;
    std::optional<std::size_t> m_focus;        // list row
    std::optional<std::size_t> m_anchor;       // list row
    std::optional<std::size_t> m_pendingClick; // list row a plain press on a selected row waits for
    std::size_t m_pageRows = 1;
    int m_depth = 0;
    std::size_t m_countBefore = 0;
};

} // namespace vantero
