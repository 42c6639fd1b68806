#pragma once

// An in-memory, ordered table of string records: the data behind the table list and the run log.
// Values are byte strings; nothing is converted between code pages.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantero {

class RecordTableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
    void AddStringField(std::string name, std::size_t maxLength);
    const std::vector<FieldDef>& Fields() const { return fields_; }
    std::optional<std::size_t> FieldIndex(std::string_view name) const;

    void Open();
    void Close();
    bool IsOpen() const { return open_; }
    bool IsAppending() const { return pending_.has_value(); }

    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Deletes the records at these positions, ascending, in one step: one notice for all of them,
    // then the current record is the one after the first deleted, or the last. The same end as
    // deleting them one by one from the last, without the cost of a shift for each.
    void DeleteRows(const std::vector<std::size_t>& rows);

    void SetString(std::string_view field, std::string_view text);
    std::string GetString(std::string_view field) const;
    // The same by field position, for callers that fill many rows.
    void SetString(std::size_t fieldIndex, std::string_view text);
    std::size_t RequireField(std::string_view name) const;

    Bookmark GetBookmark() const;
    void GotoBookmark(const Bookmark& bookmark);

    // Writes a header of field names and one line per record, TAB-joined, each line ended by
    // CR LF. An existing file is replaced only once the new one is complete.
    void ExportText(const std::string& fileName);

    // Browsing by position, for grids and for the pack run.
    std::size_t RecordCount() const { return records_.size(); }
    std::optional<std::size_t> CurrentRow() const { return current_; }
    void MoveTo(std::size_t row);
    std::string ValueAt(std::size_t row, std::size_t fieldIndex) const;
    // A string field's bytes in place, for reading many rows without copies; valid until the
    // table next changes. Empty for a null value.
    std::string_view StringAt(std::size_t row, std::size_t fieldIndex) const;
    std::int32_t RecIdAt(std::size_t row) const;
    std::optional<std::size_t> RowOfRecId(std::int32_t id) const;

    void AddObserver(RecordTableObserver* observer);
    void RemoveObserver(RecordTableObserver* observer);

private:
    struct Record {
        std::int32_t id = 0;
        std::vector<std::optional<std::string>> values; // one per field; null until set
    };

    void RequireOpen() const;
    Record* CurrentRecord();
    const Record* CurrentRecord() const;
    void SetCurrent(std::optional<std::size_t> row);
    std::string ExportContent() const;

    template <typename F> void Notify(F&& f) {
        // Copy: an observer may unregister itself while being told.
        const auto observers = observers_;
        for (auto* o : observers)
            f(*o);
    }

    std::vector<FieldDef> fields_;
    std::vector<Record> records_;
    std::optional<Record> pending_;
    std::optional<std::size_t> current_;
    std::int32_t lastId_ = 0;
    bool open_ = false;
    std::vector<RecordTableObserver*> observers_;
};

} // namespace vantero
