#include "records/RecordTable.h"

#include "base/Ascii.h"
#include "records/ReplaceFile.h"

#include <algorithm>
#include <cstring>

namespace vantero {

RecordTable::RecordTable() {
    // The record id is first in every record and is never exported or shown.
    m_fields.push_back({kRecIdField, FieldKind::Calculated, 0});
}

void RecordTable::addStringField(std::string name, std::size_t maxLength) {
    if (m_open)
        throw RecordTableError("Cannot perform this operation on an open dataset");
    if (fieldIndex(name))
        throw RecordTableError("Duplicate field name '" + name + "'");
    m_fields.push_back({std::move(name), FieldKind::Data, maxLength});
}

std::optional<std::size_t> RecordTable::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (equalsIgnoringAsciiCase(m_fields[i].name, name))
            return i;
    return std::nullopt;
}

void RecordTable::open() {
    if (m_open)
        return;
    m_open = true;
}

void RecordTable::close() {
    if (!m_open)
        return;
    m_open = false;
    m_records.clear();
    m_pending.reset();
    m_current.reset();
    m_lastId = 0;
    notify([](RecordTableObserver& o) { o.tableEmptied(); });
}

void RecordTable::append() {
    requireOpen();
    if (m_pending)
        post();
    // The id is only handed out when the record is posted, so a cancelled append uses none.
    m_pending = Record{m_lastId + 1, std::vector<std::optional<std::string>>(m_fields.size())};
}

void RecordTable::post() {
    requireOpen();
    if (!m_pending)
        return;
    m_lastId = m_pending->id;
    m_records.push_back(std::move(*m_pending));
    m_pending.reset();
    const std::size_t row = m_records.size() - 1;
    notify([row](RecordTableObserver& o) { o.recordAppended(row); });
    setCurrent(row);
}

void RecordTable::cancel() {
    m_pending.reset();
}

void RecordTable::deleteCurrent() {
    requireOpen();
    if (m_pending) {
        m_pending.reset();
        return;
    }
    if (!m_current)
        throw RecordTableError("Cannot perform this operation on an empty dataset");
    const std::size_t row = *m_current;
    m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(row));
    m_current = m_records.empty() ? std::nullopt
                                  : std::optional<std::size_t>(std::min(row, m_records.size() - 1));
    notify([row](RecordTableObserver& o) { o.recordDeleted(row); });
    notify([next = m_current](RecordTableObserver& o) { o.currentMoved(next); });
}

void RecordTable::deleteRows(const std::vector<std::size_t>& rows) {
    requireOpen();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] >= m_records.size() || (i > 0 && rows[i] <= rows[i - 1]))
            throw RecordTableError("Record index out of range");
    if (rows.empty())
        return;
    // As with moving to a record first: an unposted append is kept, not lost.
    if (m_pending)
        post();
    std::size_t kept = 0;
    auto next = rows.begin();
    for (std::size_t row = 0; row < m_records.size(); ++row) {
        if (next != rows.end() && *next == row) {
            ++next;
            continue;
        }
        if (kept != row)
            m_records[kept] = std::move(m_records[row]);
        ++kept;
    }
    m_records.resize(kept);
    m_current = m_records.empty()
                    ? std::nullopt
                    : std::optional<std::size_t>(std::min(rows.front(), m_records.size() - 1));
    notify([&rows](RecordTableObserver& o) { o.recordsDeleted(rows); });
    notify([next = m_current](RecordTableObserver& o) { o.currentMoved(next); });
}

void RecordTable::setString(std::string_view field, std::string_view text) {
    setString(requireField(field), text);
}

void RecordTable::setString(std::size_t index, std::string_view text) {
    requireOpen();
    if (index >= m_fields.size())
        throw RecordTableError("Field index out of range");
    const FieldDef& def = m_fields[index];
    if (def.kind != FieldKind::Data)
        throw RecordTableError("Field '" + def.name + "' cannot be modified");
    Record* record = currentRecord();
    if (!record)
        throw RecordTableError("Dataset not in edit or insert mode");
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    if (text.size() > def.maxLength)
        text = text.substr(0, def.maxLength);
    record->values[index] = std::string(text);
    if (!m_pending)
        notify([row = *m_current](RecordTableObserver& o) { o.recordChanged(row); });
}

std::string RecordTable::getString(std::string_view field) const {
    requireOpen();
    const std::size_t index = requireField(field);
    const Record* record = currentRecord();
    if (!record)
        return {};
    if (m_fields[index].kind == FieldKind::Calculated && index == 0)
        return std::to_string(record->id);
    return record->values[index].value_or(std::string());
}

Bookmark RecordTable::getBookmark() const {
    if (!m_open || m_pending || !m_current)
        return {};
    return {m_records[*m_current].id};
}

void RecordTable::gotoBookmark(const Bookmark& bookmark) {
    if (bookmark.empty())
        return;
    requireOpen();
    const auto row = rowOfRecId(*bookmark.id);
    if (!row)
        throw RecordTableError("Bookmark not found");
    if (m_pending)
        post();
    setCurrent(*row);
}

void RecordTable::moveTo(std::size_t row) {
    requireOpen();
    if (m_pending)
        post();
    if (row >= m_records.size())
        throw RecordTableError("Record index out of range");
    setCurrent(row);
}

std::string RecordTable::valueAt(std::size_t row, std::size_t fieldIndex) const {
    const Record& record = m_records.at(row);
    if (fieldIndex == 0)
        return std::to_string(record.id);
    return record.values.at(fieldIndex).value_or(std::string());
}

std::string_view RecordTable::stringAt(std::size_t row, std::size_t fieldIndex) const {
    if (fieldIndex == 0)
        throw RecordTableError("Field '" + m_fields[0].name + "' holds no string");
    const std::optional<std::string>& value = m_records.at(row).values.at(fieldIndex);
    return value ? std::string_view(*value) : std::string_view();
}

std::int32_t RecordTable::recIdAt(std::size_t row) const {
    return m_records.at(row).id;
}

std::optional<std::size_t> RecordTable::rowOfRecId(std::int32_t id) const {
    // Ids rise with the row, deletions only leave gaps, so a binary search finds the record.
    const auto it = std::lower_bound(m_records.begin(), m_records.end(), id,
                                     [](const Record& r, std::int32_t v) { return r.id < v; });
    if (it == m_records.end() || it->id != id)
        return std::nullopt;
    return static_cast<std::size_t>(it - m_records.begin());
}

std::string RecordTable::exportContent() const {
    std::vector<std::size_t> exported;
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].kind == FieldKind::Data)
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
    line([&](std::size_t i) -> const std::string& { return m_fields[i].name; });
    for (const Record& record : m_records)
        line([&](std::size_t i) { return record.values[i].value_or(std::string()); });
    return out;
}

void RecordTable::exportText(const std::string& fileName) {
    if (!m_open)
        return;
    // The export reads rows by position and leaves the cursor where it was, so grids need no
    // redraw. An unposted append is not part of the table yet and is not written.
    try {
        replaceFileContents(fileName, exportContent());
    } catch (const Failure& failure) {
        throw RecordTableError("Cannot create file " + fileName,
                               std::string(failure.what()) + ": " + failure.reason());
    }
}

void RecordTable::addObserver(RecordTableObserver* observer) {
    if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void RecordTable::removeObserver(RecordTableObserver* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer),
                      m_observers.end());
}

void RecordTable::requireOpen() const {
    if (!m_open)
        throw RecordTableError("Cannot perform this operation on a closed dataset");
}

std::size_t RecordTable::requireField(std::string_view name) const {
    const auto index = fieldIndex(name);
    if (!index)
        throw RecordTableError("Field '" + std::string(name) + "' not found");
    return *index;
}

RecordTable::Record* RecordTable::currentRecord() {
    if (m_pending)
        return &*m_pending;
    return m_current ? &m_records[*m_current] : nullptr;
}

const RecordTable::Record* RecordTable::currentRecord() const {
    if (m_pending)
        return &*m_pending;
    return m_current ? &m_records[*m_current] : nullptr;
}

void RecordTable::setCurrent(std::optional<std::size_t> row) {
    if (row == m_current)
        return;
    m_current = row;
    notify([row](RecordTableObserver& o) { o.currentMoved(row); });
}

} // namespace vantero
