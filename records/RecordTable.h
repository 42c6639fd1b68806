#pragma once

// An in-memory, ordered table of string records: the data behind the table list and the run log.
// Values are byte strings; nothing is converted between code pages.

#include "base/Failure.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantero {

class RecordTableError : public Failure {
public:
    using Failure::Failure;
};

enum class FieldKind { Data, Calculated, Lookup, Blob };

struct FieldDef {
    std::string name;
    FieldKind kind = FieldKind::Data;
    std::size_t maxLength = 0; // bytes; 0 for fields that hold no string
};

// The 4-byte record id of a record; empty when taken with no current record.
struct Bookmark {
    std::optional<std::int32_t> id;
    bool empty() const { return !id.has_value(); }
};

// Told of every change so that a bound grid can redraw. Rows are positions among posted records.
class RecordTableObserver {
public:
    virtual ~RecordTableObserver() = default;
    virtual void recordAppended(std::size_t row) = 0;
    virtual void tableEmptied() = 0;
    virtual void currentMoved(std::optional<std::size_t> row) = 0;
    virtual void recordDeleted(std::size_t row) = 0;
    // Many records gone at once; rows are their positions before, ascending. An observer that
    // has nothing quicker is told of them one by one, from the last, as if deleted singly.
    virtual void recordsDeleted(const std::vector<std::size_t>& rows) {
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            recordDeleted(*row);
    }
    virtual void recordChanged(std::size_t /*row*/) {}
};

class RecordTable {
public:
    static constexpr const char* kRecIdField = "RecId";

    RecordTable();
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // Declarations are made before the table is first opened and stay across Close.
    void addStringField(std::string name, std::size_t maxLength);
    const std::vector<FieldDef>& fields() const { return m_fields; }
    std::optional<std::size_t> fieldIndex(std::string_view name) const;

    void open();
    void close();
    bool isOpen() const { return m_open; }
    bool isAppending() const { return m_pending.has_value(); }

    void append();
    void post();
    void cancel();
    void deleteCurrent();
    // Deletes the records at these positions, ascending, in one step: one notice for all of them,
    // then the current record is the one after the first deleted, or the last. The same end as
    // deleting them one by one from the last, without the cost of a shift for each.
    void deleteRows(const std::vector<std::size_t>& rows);

    void setString(std::string_view field, std::string_view text);
    std::string getString(std::string_view field) const;
    // The same by field position, for callers that fill many rows.
    void setString(std::size_t fieldIndex, std::string_view text);
    std::size_t requireField(std::string_view name) const;

    Bookmark getBookmark() const;
    void gotoBookmark(const Bookmark& bookmark);

    // Writes a header of field names and one line per record, TAB-joined, each line ended by
    // CR LF. An existing file is replaced only once the new one is complete.
    void exportText(const std::string& fileName);

    // Browsing by position, for grids and for the pack run.
    std::size_t recordCount() const { return m_records.size(); }
    std::optional<std::size_t> currentRow() const { return m_current; }
    void moveTo(std::size_t row);
    std::string valueAt(std::size_t row, std::size_t fieldIndex) const;
    // A string field's bytes in place, for reading many rows without copies; valid until the
    // table next changes. Empty for a null value.
    std::string_view stringAt(std::size_t row, std::size_t fieldIndex) const;
    std::int32_t recIdAt(std::size_t row) const;
    std::optional<std::size_t> rowOfRecId(std::int32_t id) const;

    void addObserver(RecordTableObserver* observer);
    void removeObserver(RecordTableObserver* observer);

private:
    struct Record {
        std::int32_t id = 0;
        std::vector<std::optional<std::string>> values; // one per field; null until set
    };

    void requireOpen() const;
    Record* currentRecord();
    const Record* currentRecord() const;
    void setCurrent(std::optional<std::size_t> row);
    std::string exportContent() const;

    template <typename F> void notify(F&& f) {
        // Copy: an observer may unregister itself while being told.
        const auto observers = m_observers;
        for (auto* o : observers)
            f(*o);
    }

    std::vector<FieldDef> m_fields;
    std::vector<Record> m_records;
    std::optional<Record> m_pending;
    std::optional<std::size_t> m_current;
    std::int32_t m_lastId = 0;
    bool m_open = false;
    std::vector<RecordTableObserver*> m_observers;
};

} // namespace vantero
