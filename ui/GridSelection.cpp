#include "ui/GridSelection.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace vantero {

// One gesture: the count is compared, and announced, only when the outermost one ends.
class GridSelection::Unit {
public:
    explicit Unit(GridSelection& grid) : grid_(grid) { grid_.BeginGesture(); }
    ~Unit() { grid_.EndGesture(); }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

private:
    GridSelection& grid_;
};

GridSelection::GridSelection(CountAnnouncer announce) : announce_(std::move(announce)) {}

void GridSelection::BeginGesture() {
    if (depth_++ == 0)
        countBefore_ = Count();
}

void GridSelection::EndGesture() {
    if (--depth_ == 0 && Count() != countBefore_ && announce_)
        announce_(Count());
}

void GridSelection::RowAppended() {
    const std::size_t row = displayToList_.size();
    displayToList_.push_back(row);
    listToDisplay_.push_back(displayToList_.size() - 1);
}

void GridSelection::Emptied() {
    const Unit unit(*this);
    displayToList_.clear();
    listToDisplay_.clear();
    selected_.clear();
    focus_.reset();
    anchor_.reset();
    pendingClick_.reset();
}

void GridSelection::RowDeleted(std::size_t listRow) {
    if (listRow >= displayToList_.size())
        throw std::out_of_range("no such row");
    const Unit unit(*this);
    const std::size_t shownAt = listToDisplay_[listRow];
    displayToList_.erase(displayToList_.begin() + static_cast<std::ptrdiff_t>(shownAt));
    for (std::size_t& row : displayToList_)
        if (row > listRow)
            --row;
    RebuildInverse();

    std::set<std::size_t> kept;
    for (const std::size_t row : selected_)
        if (row != listRow)
            kept.insert(row > listRow ? row - 1 : row);
    selected_ = std::move(kept);

    const auto shift = [listRow](std::optional<std::size_t>& row) {
        if (row && *row > listRow)
            --*row;
    };
    if (focus_ == listRow) {
        // The focus stays where it was on screen: on the row that moved up into the place.
        if (displayToList_.empty())
            focus_.reset();
        else
            focus_ = displayToList_[std::min(shownAt, displayToList_.size() - 1)];
    } else {
        shift(focus_);
    }
    if (anchor_ == listRow)
        anchor_.reset();
    else
        shift(anchor_);
    pendingClick_.reset();
}

void GridSelection::RowsDeleted(const std::vector<std::size_t>& listRows) {
    const std::size_t count = displayToList_.size();
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
    if (focus_ && gone[*focus_]) {
        const std::size_t shownAt = listToDisplay_[*focus_];
        for (std::size_t d = shownAt + 1; d < count && !focus; ++d)
            if (!gone[displayToList_[d]])
                focus = displayToList_[d];
        for (std::size_t d = shownAt; d > 0 && !focus; --d)
            if (!gone[displayToList_[d - 1]])
                focus = displayToList_[d - 1];
        if (focus)
            focus = renumbered[*focus];
    } else if (focus_) {
        focus = renumbered[*focus_];
    }
    focus_ = focus;
    if (anchor_)
        anchor_ = gone[*anchor_] ? std::nullopt : std::optional<std::size_t>(renumbered[*anchor_]);
    pendingClick_.reset();

    std::vector<std::size_t> order;
    order.reserve(count - listRows.size());
    for (const std::size_t row : displayToList_)
        if (!gone[row])
            order.push_back(renumbered[row]);
    displayToList_ = std::move(order);
    RebuildInverse();

    std::set<std::size_t> kept;
    for (const std::size_t row : selected_)
        if (!gone[row])
            kept.insert(kept.end(), renumbered[row]);
    selected_ = std::move(kept);
}

void GridSelection::SetDisplayOrder(std::vector<std::size_t> displayToList) {
    std::vector<bool> seen(displayToList.size());
    for (const std::size_t row : displayToList) {
        if (row >= seen.size() || seen[row] || displayToList.size() != displayToList_.size())
            throw std::invalid_argument("display order is not a permutation of the rows");
        seen[row] = true;
    }
    displayToList_ = std::move(displayToList);
    RebuildInverse();
}

void GridSelection::SetFocusedRow(std::optional<std::size_t> listRow) {
    if (listRow && *listRow >= displayToList_.size())
        throw std::out_of_range("no such row");
    focus_ = listRow;
}

void GridSelection::RebuildInverse() {
    listToDisplay_.assign(displayToList_.size(), 0);
    for (std::size_t d = 0; d < displayToList_.size(); ++d)
        listToDisplay_[displayToList_[d]] = d;
}

std::optional<std::size_t> GridSelection::FocusDisplay() const {
    if (!focus_)
        return std::nullopt;
    return listToDisplay_[*focus_];
}

void GridSelection::SelectRange(std::size_t fromList, std::size_t toList) {
    const std::size_t a = listToDisplay_[fromList];
    const std::size_t b = listToDisplay_[toList];
    // Sorted first, the rows go into the set at its end, without a search for each: a range of
    // every row of a long list stays quick.
    std::vector<std::size_t> rows(
        displayToList_.begin() + static_cast<std::ptrdiff_t>(std::min(a, b)),
        displayToList_.begin() + static_cast<std::ptrdiff_t>(std::max(a, b)) + 1);
    std::sort(rows.begin(), rows.end());
    selected_ = std::set<std::size_t>(rows.begin(), rows.end());
}

void GridSelection::MousePress(std::size_t displayRow, bool ctrl, bool shift, bool rightButton) {
    if (displayRow >= displayToList_.size())
        return;
    const Unit unit(*this);
    const std::size_t row = displayToList_[displayRow];
    pendingClick_.reset();
    if (rightButton && IsSelected(row))
        return;
    if (ctrl && shift && !rightButton) {
        const std::size_t from = FocusDisplay().value_or(displayRow);
        for (std::size_t d = std::min(from, displayRow); d <= std::max(from, displayRow); ++d)
            selected_.insert(displayToList_[d]);
    } else if (shift && !rightButton) {
        SelectRange(anchor_.value_or(focus_.value_or(row)), row);
    } else if (ctrl && !rightButton) {
        if (!selected_.erase(row))
            selected_.insert(row);
        anchor_ = row;
    } else if (IsSelected(row)) {
        // Decided on release, so that a press on a selection can start a drag of all of it.
        pendingClick_ = row;
    } else {
        selected_ = {row};
        anchor_ = row;
    }
    focus_ = row;
}

void GridSelection::MouseRelease(std::optional<std::size_t> displayRow) {
    const std::optional<std::size_t> pending = pendingClick_;
    pendingClick_.reset();
    if (!pending || !displayRow || *displayRow >= displayToList_.size() ||
        displayToList_[*displayRow] != *pending)
        return;
    const Unit unit(*this);
    selected_ = {*pending};
    anchor_ = *pending;
}

std::optional<std::size_t> GridSelection::Moved(GridKey key) const {
    const std::size_t count = displayToList_.size();
    if (count == 0)
        return std::nullopt;
    const std::optional<std::size_t> at = FocusDisplay();
    if (!at)
        return 0;
    const std::size_t last = count - 1;
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
        return *at >= pageRows_ ? *at - pageRows_ : 0;
    case GridKey::PageDown:
        return std::min(*at + pageRows_, last);
    default:
        return at;
    }
}

void GridSelection::KeyPress(GridKey key, bool ctrl, bool shift) {
    const Unit unit(*this);
    const bool navigation = key == GridKey::Up || key == GridKey::Down || key == GridKey::Home ||
                            key == GridKey::End || key == GridKey::PageUp ||
                            key == GridKey::PageDown;
    pendingClick_.reset();
    if (navigation) {
        const std::optional<std::size_t> to = Moved(key);
        if (!to)
            return;
        if (ctrl) {
            focus_ = displayToList_[*to];
            return;
        }
        if (shift) {
            if (!anchor_)
                anchor_ = focus_.value_or(displayToList_[*to]);
            focus_ = displayToList_[*to];
            SelectRange(*anchor_, *focus_);
        } else {
            const std::optional<std::size_t> at = FocusDisplay();
            const bool downOnLast = key == GridKey::Down && at && *at + 1 == displayToList_.size();
            const bool upOnFirstAlone = key == GridKey::Up && at && *at == 0 && Count() == 1;
            if (!downOnLast && !upOnFirstAlone)
                selected_.clear();
            focus_ = displayToList_[*to];
            anchor_.reset();
        }
    } else if (key == GridKey::Space && ctrl) {
        if (focus_) {
            if (!selected_.erase(*focus_))
                selected_.insert(*focus_);
            anchor_ = focus_;
        }
    } else if (key == GridKey::Delete && ctrl) {
        return; // the grid asks first, then removes rows
    }
    // A grid with a focused row never stays without a selection after a key.
    if (selected_.empty() && focus_)
        selected_.insert(*focus_);
}

std::vector<std::size_t> GridSelection::RowsToDelete() const {
    if (Count() >= 2)
        return SelectedRows();
    if (focus_)
        return {*focus_};
    return {};
}

} // namespace vantero
