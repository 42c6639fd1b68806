#include "ui/GridSelection.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace vantero {

// One gesture: the count is compared, and announced, only when the outermost one ends.
class GridSelection::Unit {
public:
    explicit Unit(GridSelection& grid) : m_grid(grid) { m_grid.beginGesture(); }
    ~Unit() { m_grid.endGesture(); }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

private:
    GridSelection& m_grid;
};

GridSelection::GridSelection(CountAnnouncer announce) : m_announce(std::move(announce)) {}

void GridSelection::beginGesture() {
    if (m_depth++ == 0)
        m_countBefore = count();
}

void GridSelection::endGesture() {
    if (--m_depth == 0 && count() != m_countBefore && m_announce)
        m_announce(count());
}

void GridSelection::rowAppended() {
    const std::size_t row = m_displayToList.size();
    m_displayToList.push_back(row);
    m_listToDisplay.push_back(m_displayToList.size() - 1);
}

void GridSelection::emptied() {
    const Unit unit(*this);
    m_displayToList.clear();
    m_listToDisplay.clear();
    m_selected.clear();
    m_focus.reset();
    m_anchor.reset();
    m_pendingClick.reset();
}

void GridSelection::rowDeleted(std::size_t listRow) {
    if (listRow >= m_displayToList.size())
        throw std::out_of_range("no such row");
    const Unit unit(*this);
    const std::size_t shownAt = m_listToDisplay[listRow];
    m_displayToList.erase(m_displayToList.begin() + static_cast<std::ptrdiff_t>(shownAt));
    for (std::size_t& row : m_displayToList)
        if (row > listRow)
            --row;
    rebuildInverse();

    std::set<std::size_t> kept;
    for (const std::size_t row : m_selected)
        if (row != listRow)
            kept.insert(row > listRow ? row - 1 : row);
    m_selected = std::move(kept);

    const auto shift = [listRow](std::optional<std::size_t>& row) {
        if (row && *row > listRow)
            --*row;
    };
    if (m_focus == listRow) {
        // The focus stays where it was on screen: on the row that moved up into the place.
        if (m_displayToList.empty())
            m_focus.reset();
        else
            m_focus = m_displayToList[std::min(shownAt, m_displayToList.size() - 1)];
    } else {
        shift(m_focus);
    }
    if (m_anchor == listRow)
        m_anchor.reset();
    else
        shift(m_anchor);
    m_pendingClick.reset();
}

void GridSelection::rowsDeleted(const std::vector<std::size_t>& listRows) {
    const std::size_t count = m_displayToList.size();
    for (std::size_t i = 0; i < listRows.size(); ++i)
        if (listRows[i] >= count || (i > 0 && listRows[i] <= listRows[i - 1]))
            throw std::out_of_range("no such row");
    if (listRows.empty())
        return;
    const Unit unit(*this);
    std::vector<bool> gone(count);
    for (const std::size_t row : listRows)
        gone[row] = true;
    // A kept row's new place: its old one less the deleted rows before it.
    std::vector<std::size_t> renumbered(count);
    std::size_t removed = 0;
    for (std::size_t row = 0; row < count; ++row) {
        renumbered[row] = row - removed;
        removed += gone[row] ? 1 : 0;
    }

    // Row by row, a deleted focus passes to the row that moves up into its place, or to the last
    // one at the bottom; over all the deletions that is the first kept row below it on screen, or
    // else the last kept row above it.
    std::optional<std::size_t> focus;
    if (m_focus && gone[*m_focus]) {
        const std::size_t shownAt = m_listToDisplay[*m_focus];
        for (std::size_t d = shownAt + 1; d < count && !focus; ++d)
            if (!gone[m_displayToList[d]])
                focus = m_displayToList[d];
        for (std::size_t d = shownAt; d > 0 && !focus; --d)
            if (!gone[m_displayToList[d - 1]])
                focus = m_displayToList[d - 1];
        if (focus)
            focus = renumbered[*focus];
    } else if (m_focus) {
        focus = renumbered[*m_focus];
    }
    m_focus = focus;
    if (m_anchor)
        m_anchor =
            gone[*m_anchor] ? std::nullopt : std::optional<std::size_t>(renumbered[*m_anchor]);
    m_pendingClick.reset();

    std::vector<std::size_t> order;
    order.reserve(count - listRows.size());
    for (const std::size_t row : m_displayToList)
        if (!gone[row])
            order.push_back(renumbered[row]);
    m_displayToList = std::move(order);
    rebuildInverse();

    std::set<std::size_t> kept;
    for (const std::size_t row : m_selected)
        if (!gone[row])
            kept.insert(kept.end(), renumbered[row]);
    m_selected = std::move(kept);
}

void GridSelection::setDisplayOrder(std::vector<std::size_t> displayToList) {
    std::vector<bool> seen(displayToList.size());
    for (const std::size_t row : displayToList) {
        if (row >= seen.size() || seen[row] || displayToList.size() != m_displayToList.size())
            throw std::invalid_argument("display order is not a permutation of the rows");
        seen[row] = true;
    }
    m_displayToList = std::move(displayToList);
    rebuildInverse();
}

void GridSelection::setFocusedRow(std::optional<std::size_t> listRow) {
    if (listRow && *listRow >= m_displayToList.size())
        throw std::out_of_range("no such row");
    m_focus = listRow;
}

void GridSelection::rebuildInverse() {
    m_listToDisplay.assign(m_displayToList.size(), 0);
    for (std::size_t d = 0; d < m_displayToList.size(); ++d)
        m_listToDisplay[m_displayToList[d]] = d;
}

std::optional<std::size_t> GridSelection::focusDisplay() const {
    if (!m_focus)
        return std::nullopt;
    return m_listToDisplay[*m_focus];
}

void GridSelection::selectRange(std::size_t fromList, std::size_t toList) {
    const std::size_t a = m_listToDisplay[fromList];
    const std::size_t b = m_listToDisplay[toList];
    // Sorted first, the rows go into the set at its end, without a search for each: a range of
    // every row of a long list stays quick.
    std::vector<std::size_t> rows(
        m_displayToList.begin() + static_cast<std::ptrdiff_t>(std::min(a, b)),
        m_displayToList.begin() + static_cast<std::ptrdiff_t>(std::max(a, b)) + 1);
    std::sort(rows.begin(), rows.end());
    m_selected = std::set<std::size_t>(rows.begin(), rows.end());
}

void GridSelection::mousePress(std::size_t displayRow, bool ctrl, bool shift, bool rightButton) {
    if (displayRow >= m_displayToList.size())
        return;
    const Unit unit(*this);
    const std::size_t row = m_displayToList[displayRow];
    m_pendingClick.reset();
    if (rightButton && isSelected(row))
        return;
    if (ctrl && shift && !rightButton) {
        const std::size_t from = focusDisplay().value_or(displayRow);
        for (std::size_t d = std::min(from, displayRow); d <= std::max(from, displayRow); ++d)
            m_selected.insert(m_displayToList[d]);
    } else if (shift && !rightButton) {
        selectRange(m_anchor.value_or(m_focus.value_or(row)), row);
    } else if (ctrl && !rightButton) {
        if (!m_selected.erase(row))
            m_selected.insert(row);
        m_anchor = row;
    } else if (isSelected(row)) {
        // Decided on release, so that a press on a selection can start a drag of all of it.
        m_pendingClick = row;
    } else {
        m_selected = {row};
        m_anchor = row;
    }
    m_focus = row;
}

void GridSelection::mouseRelease(std::optional<std::size_t> displayRow) {
    const std::optional<std::size_t> pending = m_pendingClick;
    m_pendingClick.reset();
    if (!pending || !displayRow || *displayRow >= m_displayToList.size() ||
        m_displayToList[*displayRow] != *pending)
        return;
    const Unit unit(*this);
    m_selected = {*pending};
    m_anchor = *pending;
}

std::optional<std::size_t> GridSelection::moved(GridKey key) const {
    const std::size_t count = m_displayToList.size();
    if (count == 0)
        return std::nullopt;
    const std::optional<std::size_t> at = focusDisplay();
    const std::size_t last = count - 1;
    // A grid that has had no focused row yet starts at its first row, End at its last.
    if (!at)
        return key == GridKey::End ? last : 0;
    switch (key) {
    case GridKey::Up:
        return *at == 0 ? 0 : *at - 1;
    case GridKey::Down:
        return std::min(*at + 1, last);
    case GridKey::Home:
        return 0;
    case GridKey::End:
        return last;
    case GridKey::PageUp:
        return *at >= m_pageRows ? *at - m_pageRows : 0;
    case GridKey::PageDown:
        return std::min(*at + m_pageRows, last);
    default:
        return at;
    }
}

void GridSelection::keyPress(GridKey key, bool ctrl, bool shift) {
    const Unit unit(*this);
    const bool navigation = key == GridKey::Up || key == GridKey::Down || key == GridKey::Home ||
                            key == GridKey::End || key == GridKey::PageUp ||
                            key == GridKey::PageDown;
    m_pendingClick.reset();
    if (navigation) {
        const std::optional<std::size_t> to = moved(key);
        if (!to)
            return;
        if (ctrl) {
            m_focus = m_displayToList[*to];
            return;
        }
        if (shift) {
            if (!m_anchor)
                m_anchor = m_focus.value_or(m_displayToList[*to]);
            m_focus = m_displayToList[*to];
            selectRange(*m_anchor, *m_focus);
        } else {
            const std::optional<std::size_t> at = focusDisplay();
            const bool downOnLast = key == GridKey::Down && at && *at + 1 == m_displayToList.size();
            const bool upOnFirstAlone = key == GridKey::Up && at && *at == 0 && count() == 1;
            if (!downOnLast && !upOnFirstAlone)
                m_selected.clear();
            m_focus = m_displayToList[*to];
            m_anchor.reset();
        }
    } else if (key == GridKey::Space && ctrl) {
        if (m_focus) {
            if (!m_selected.erase(*m_focus))
                m_selected.insert(*m_focus);
            m_anchor = m_focus;
        }
    } else if (key == GridKey::Delete && ctrl) {
        return; // the grid asks first, then removes rows
    }
    // A grid with a focused row never stays without a selection after a key.
    if (m_selected.empty() && m_focus)
        m_selected.insert(*m_focus);
}

std::vector<std::size_t> GridSelection::rowsToDelete() const {
    if (count() >= 2)
        return selectedRows();
    if (m_focus)
        return {*m_focus};
    return {};
}

} // namespace vantero
