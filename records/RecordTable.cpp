#include "records/RecordTable.h"

#include "records/Ascii.h"
#include "records/ReplaceFile.h"

#include <algorithm>
#include <cstring>

namespace vantero {

RecordTable::RecordTable() {
    // The record id is first in every record and is never exported or shown.
    fields_.push_back({kRecIdField, FieldKind::Calculated, 0});
}

void RecordTable::AddStringField(std::string name, std::size_t maxLength) {
    if (open_)
        throw RecordTableError("Cannot perform this operation on an open dataset");
    if (FieldIndex(name))
        throw RecordTableError("Duplicate field name '" + name + "'");
    fields_.push_back({std::move(name), FieldKind::Data, maxLength});
}

std::optional<std::size_t> RecordTable::FieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (EqualsIgnoringAsciiCase(fields_[i].name, name))
            return i;
    return std::nullopt;
}

void RecordTable::Open() {
    if (open_)
        return;
    open_ = true;
}

void RecordTable::Close() {
    if (!open_)
        return;
    open_ = false;
    records_.clear();
    pending_.reset();
    current_.reset();
    lastId_ = 0;
    Notify([](RecordTableObserver& o) { o.tableEmptied(); });
}

void RecordTable::Append() {
    RequireOpen();
    if (pending_)
        Post();
    // The id is only handed out when the record is posted, so a cancelled append uses none.
    pending_ = Record{lastId_ + 1, std::vector<std::optional<std::string>>(fields_.size())};
}

void RecordTable::Post() {
    RequireOpen();
    if (!pending_)
        return;
    lastId_ = pending_->id;
    records_.push_back(std::move(*pending_));
    pending_.reset();
    const std::size_t row = records_.size() - 1;
    Notify([row](RecordTableObserver& o) { o.recordAppended(row); });
    SetCurrent(row);
}

void RecordTable::Cancel() {
    pending_.reset();
}

void RecordTable::Delete() {
    RequireOpen();
    if (pending_) {
        pending_.reset();
        return;
    }
    if (!current_)
        throw RecordTableError("Cannot perform this operation on an empty dataset");
    const std::size_t row = *current_;
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(row));
    current_ = records_.empty() ? std::nullopt
                                : std::optional<std::size_t>(std::min(row, records_.size() - 1));
    Notify([row](RecordTableObserver& o) { o.recordDeleted(row); });
    Notify([next = current_](RecordTableObserver& o) { o.currentMoved(next); });
}

void RecordTable::DeleteRows(const std::vector<std::size_t>& rows) {
    RequireOpen();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] >= records_.size() || (i > 0 && rows[i] <= rows[i - 1]))
            throw RecordTableError("Record index out of range");
    if (rows.empty())
        return;
    // As with moving to a record first: an unposted append is kept, not lost.
    if (pending_)
        Post();
    std::size_t kept = 0;
    auto next = rows.begin();
    for (std::size_t row = 0; row < records_.size(); ++row) {
        if (next != rows.end() && *next == row) {
            ++next;
            continue;
        }
        if (kept != row)
            records_[kept] = std::move(records_[row]);
        ++kept;
    }
    records_.resize(kept);
    current_ = records_.empty()
                   ? std::nullopt
                   : std::optional<std::size_t>(std::min(rows.front(), records_.size() - 1));
    Notify([&rows](RecordTableObserver& o) { o.recordsDeleted(rows); });
    Notify([next = current_](RecordTableObserver& o) { o.currentMoved(next); });
}

void RecordTable::SetString(std::string_view field, std::string_view text) {
    SetString(RequireField(field), text);
}

void RecordTable::SetString(std::size_t index, std::string_view text) {
    RequireOpen();
    if (index >= fields_.size())
        throw RecordTableError("Field index out of range");
    const FieldDef& def = fields_[index];
    if (def.kind != FieldKind::Data)
        throw RecordTableError("Field '" + def.name + "' cannot be modified");
    Record* record = CurrentRecord();
    if (!record)
        throw RecordTableError("Dataset not in edit or insert mode");
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    if (text.size() > def.maxLength)
        text = text.substr(0, def.maxLength);
    record->values[index] = std::string(text);
    if (!pending_)
        Notify([row = *current_](RecordTableObserver& o) { o.recordChanged(row); });
}

std::string RecordTable::GetString(std::string_view field) const {
    RequireOpen();
    const std::size_t index = RequireField(field);
    const Record* record = CurrentRecord();
    if (!record)
        return {};
    if (fields_[index].kind == FieldKind::Calculated && index == 0)
        return std::to_string(record->id);
    return record->values[index].value_or(std::string());
}

Bookmark RecordTable::GetBookmark() const {
    if (!open_ || pending_ || !current_)
        return {};
    return {records_[*current_].id};
}

void RecordTable::GotoBookmark(const Bookmark& bookmark) {
    if (bookmark.empty())
        return;
    RequireOpen();
    const auto row = RowOfRecId(*bookmark.id);
    if (!row)
        throw RecordTableError("Bookmark not found");
    if (pending_)
        Post();
    SetCurrent(*row);
}

void RecordTable::MoveTo(std::size_t row) {
    RequireOpen();
    if (pending_)
        Post();
    if (row >= records_.size())
        throw RecordTableError("Record index out of range");
    SetCurrent(row);
}

std::string RecordTable::ValueAt(std::size_t row, std::size_t fieldIndex) const {
    const Record& record = records_.at(row);
    if (fieldIndex == 0)
        return std::to_string(record.id);
    return record.values.at(fieldIndex).value_or(std::string());
}

std::string_view RecordTable::StringAt(std::size_t row, std::size_t fieldIndex) const {
    if (fieldIndex == 0)
        throw RecordTableError("Field '" + fields_[0].name + "' holds no string");
    const std::optional<std::string>& value = records_.at(row).values.at(fieldIndex);
    return value ? std::string_view(*value) : std::string_view();
}

std::int32_t RecordTable::RecIdAt(std::size_t row) const {
    return records_.at(row).id;
}

std::optional<std::size_t> RecordTable::RowOfRecId(std::int32_t id) const {
    // Ids rise with the row, deletions only leave gaps, so a binary search finds the record.
    const auto it = std::lower_bound(records_.begin(), records_.end(), id,
                                     [](const Record& r, std::int32_t v) { return r.id < v; });
    if (it == records_.end() || it->id != id)
        return std::nullopt;
    return static_cast<std::size_t>(it - records_.begin());
}

std::string RecordTable::ExportContent() const {
    std::vector<std::size_t> exported;
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].kind == FieldKind::Data)
            exported.push_back(i);

    std::string out;
    auto line = [&](auto&& valueOf) {
        for (std::size_t k = 0; k < exported.size(); ++k) {
            if (k)
                out += '\t';
            out += valueOf(exported[k]);
        }
        out += "\r\n";
    };
    line([&](std::size_t i) -> const std::string& { return fields_[i].name; });
    for (const Record& record : records_)
        line([&](std::size_t i) { return record.values[i].value_or(std::string()); });
    return out;
}

void RecordTable::ExportText(const std::string& fileName) {
    if (!open_)
        return;
    // The export reads rows by position and leaves the cursor where it was, so grids need no
    // redraw. An unposted append is not part of the table yet and is not written.
    if (!ReplaceFileContents(fileName, ExportContent()))
        throw RecordTableError("Cannot create file " + fileName);
}

void RecordTable::AddObserver(RecordTableObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void RecordTable::RemoveObserver(RecordTableObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void RecordTable::RequireOpen() const {
    if (!open_)
        throw RecordTableError("Cannot perform this operation on a closed dataset");
}

std::size_t RecordTable::RequireField(std::string_view name) const {
    const auto index = FieldIndex(name);
    if (!index)
        throw RecordTableError("Field '" + std::string(name) + "' not found");
    return *index;
}

RecordTable::Record* RecordTable::CurrentRecord() {
    if (pending_)
        return &*pending_;
    return current_ ? &records_[*current_] : nullptr;
}

const RecordTable::Record* RecordTable::CurrentRecord() const {
    if (pending_)
        return &*pending_;
    return current_ ? &records_[*current_] : nullptr;
}

void RecordTable::SetCurrent(std::optional<std::size_t> row) {
    if (row == current_)
        return;
    current_ = row;
    Notify([row](RecordTableObserver& o) { o.currentMoved(row); });
}

} // namespace vantero
