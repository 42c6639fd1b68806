#include "ui/RecordTableModel.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string_view>

namespace vantero {

RecordTableModel::RecordTableModel(RecordTable& table, std::vector<GridColumn> columns,
                                   QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_columns(std::move(columns)) {
    for (const GridColumn& column : m_columns)
        m_fieldIndexes.push_back(m_table.requireField(column.field));
    m_table.addObserver(this);
}

RecordTableModel::~RecordTableModel() {
    m_table.removeObserver(this);
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_table.recordCount());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    // The values are the file system's bytes; a name that is not in the locale's encoding still
    // shows, with replacement characters.
    return text(static_cast<std::size_t>(index.row()), index.column());
}

QString RecordTableModel::text(std::size_t row, int column) const {
    return QString::fromLocal8Bit(
        m_table.valueAt(row, m_fieldIndexes.at(static_cast<std::size_t>(column))));
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= static_cast<int>(m_columns.size()))
        return {};
    return m_columns[static_cast<std::size_t>(section)].caption;
}

std::vector<std::size_t> RecordTableModel::sortedRows(int column, Qt::SortOrder order) const {
    const std::size_t field = m_fieldIndexes.at(static_cast<std::size_t>(column));
    const std::size_t count = m_table.recordCount();
    const bool descending = order == Qt::DescendingOrder;
    std::vector<std::size_t> rows(count);
    std::iota(rows.begin(), rows.end(), std::size_t{0});

    // Texts of plain ASCII, nearly all of them in practice, sort in that order byte by byte as
    // they are stored.
    std::vector<std::string_view> bytes;
    bool ascii = field != 0;
    if (ascii) {
        bytes.resize(count);
        for (std::size_t row = 0; row < count && ascii; ++row) {
            bytes[row] = m_table.stringAt(row, field);
            ascii = std::all_of(bytes[row].begin(), bytes[row].end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        }
    }
    if (!ascii) {
        std::vector<QString> texts(count);
        for (std::size_t row = 0; row < count; ++row)
            texts[row] = text(row, column);
        std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
            const int c = QString::compare(texts[a], texts[b], Qt::CaseSensitive);
            return descending ? c > 0 : c < 0;
        });
        return rows;
    }

    // The texts of one listing share a long start (the folder, in the paths). The 16 bytes after
    // it are kept with each row, so that most comparisons touch neither the strings nor memory
    // far away; the row number breaks ties, which keeps equal texts in list order.
    std::size_t common = count ? bytes[0].size() : 0;
    for (std::size_t row = 1; row < count && common > 0; ++row) {
        const std::string_view text = bytes[row].substr(0, common);
        common = static_cast<std::size_t>(
            std::mismatch(text.begin(), text.end(), bytes[0].begin()).first - text.begin());
    }
    constexpr std::size_t kInline = 16;
    struct Entry {
        std::uint64_t high = 0, low = 0;
        std::size_t row = 0;
    };
    std::vector<Entry> entries(count);
    for (std::size_t row = 0; row < count; ++row) {
        Entry& entry = entries[row];
        entry.row = row;
        const std::string_view text = bytes[row];
        for (std::size_t i = 0; i < kInline; ++i) {
            // Strings hold no NUL, so the zero padding sorts a shorter text first.
            const std::uint64_t byte =
                common + i < text.size() ? static_cast<unsigned char>(text[common + i]) : 0;
            std::uint64_t& word = i < 8 ? entry.high : entry.low;
            word = word << 8 | byte;
        }
    }
    const auto rest = [&](std::size_t row) {
        const std::string_view text = bytes[row];
        return text.substr(std::min(text.size(), common + kInline));
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        int c = 0;
        if (a.high != b.high)
            c = a.high < b.high ? -1 : 1;
        else if (a.low != b.low)
            c = a.low < b.low ? -1 : 1;
        else
            c = rest(a.row).compare(rest(b.row));
        if (c == 0)
            return a.row < b.row;
        return descending ? c > 0 : c < 0;
    });
    for (std::size_t i = 0; i < count; ++i)
        rows[i] = entries[i].row;
    return rows;
}

void RecordTableModel::recordAppended(std::size_t row) {
    const int at = static_cast<int>(row);
    beginInsertRows({}, at, at);
    endInsertRows();
}

void RecordTableModel::tableEmptied() {
    beginResetModel();
    endResetModel();
}

void RecordTableModel::currentMoved(std::optional<std::size_t>) {}

void RecordTableModel::recordDeleted(std::size_t row) {
    // The record is gone already; the view learns it in one step.
    const int at = static_cast<int>(row);
    beginRemoveRows({}, at, at);
    endRemoveRows();
}

void RecordTableModel::recordsDeleted(const std::vector<std::size_t>& rows) {
    emit rowsRemovalStarting(rows);
    for (std::size_t end = rows.size(); end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] + 1 == rows[begin])
            --begin;
        beginRemoveRows({}, static_cast<int>(rows[begin]), static_cast<int>(rows[end - 1]));
        endRemoveRows();
        end = begin;
    }
    emit rowsRemovalDone(rows);
}

void RecordTableModel::recordChanged(std::size_t row) {
    const int at = static_cast<int>(row);
    emit dataChanged(index(at, 0), index(at, columnCount() - 1));
}

} // namespace vantero
