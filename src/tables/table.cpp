#include "tables/table.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr char16_t Tab = u'\t';
// Characters per block; a longer row gets a block of its own.
constexpr qint32 BlockChars = 1 << 16;

// The next TAB at or after from, or -1. Rows are short: a plain loop beats a library search here.
qint32 nextTab(QStringView text, qint32 from)
{
    const char16_t* data = text.utf16();
    for (qint32 i = from, size = static_cast<qint32>(text.size()); i < size; ++i) {
        if (data[i] == Tab)
            return i;
    }
    return -1;
}

} // namespace

Table::Table(QObject* parent) : QObject(parent), m_rows(1), m_records(1), m_align(1) {}

Table::~Table() = default;

Table::Bulk::~Bulk()
{
    if (--m_table.m_bulk == 0) {
        m_table.m_spare.clear();
        m_table.appended(m_table.m_bulkFirst);
    }
}

bool Table::range(const Row& row, qint32 col, qint32& begin, qint32& end) const
{
    if (col < 0 || col >= row.cells)
        return false;
    if (row.ends) {
        const std::vector<qint32>& ends = *row.ends;
        begin = col == 0 ? 0 : ends[static_cast<size_t>(col) - 1] + 1;
        end = ends[static_cast<size_t>(col)];
        return true;
    }
    const QStringView all = rowText(row);
    if (col == row.cells - 1) {
        // The last cell is found from the end, which keeps writing the last cell of a wide row cheap.
        const qsizetype tab = all.lastIndexOf(QChar(Tab));
        begin = static_cast<qint32>(tab + 1);
        end = row.length;
        return true;
    }
    qint32 at = 0;
    for (qint32 c = 0; c < col; ++c)
        at = nextTab(all, at) + 1;
    const qint32 tab = nextTab(all, at);
    begin = at;
    end = tab < 0 ? row.length : tab;
    return true;
}

void Table::keepEnds(Row& row) const
{
    auto ends = std::make_unique<std::vector<qint32>>();
    if (row.cells > 0) {
        const QStringView all = rowText(row);
        for (qint32 at = nextTab(all, 0); at >= 0; at = nextTab(all, at + 1))
            ends->push_back(at);
        ends->push_back(row.length);
    }
    row.ends = std::move(ends);
}

void Table::truncate(Row& row, qint32 cols)
{
    cols = std::max(cols, 0);
    if (row.cells <= cols)
        return;
    qint32 cut = 0;
    if (cols > 0) {
        qint32 begin = 0;
        (void)range(row, cols - 1, begin, cut);
    }
    cutTo(row, cut);
    row.cells = cols;
    if (row.ends)
        row.ends->resize(static_cast<size_t>(cols));
}

bool Table::atTail(const Row& row) const
{
    if (row.capacity == 0 || m_blocks.empty() || row.block != static_cast<qint32>(m_blocks.size() - 1))
        return false;
    return row.offset + row.capacity == m_blocks.back().size;
}

void Table::extend(Row& row, QStringView text)
{
    const auto added = static_cast<qint32>(text.size());
    if (added == 0)
        return;
    m_hintRow = -1;
    const qint32 length = row.length + added;
    if (length > row.capacity && atTail(row) && m_blocks.back().room() >= length - row.capacity) {
        const qint32 grow = length - row.capacity;
        m_blocks.back().size += grow;
        m_stored += grow;
        m_used += grow;
        row.capacity = length;
    }
    if (row.capacity > 0 && length <= row.capacity) {
        char16_t* place = m_blocks[static_cast<size_t>(row.block)].chars.get() + row.offset;
        std::copy(text.utf16(), text.utf16() + added, place + row.length);
        row.length = length;
        return;
    }
    // Moved to the end; a row that grows gets as much again to grow into.
    const qint32 capacity = row.length > 0 ? 2 * length : length;
    if (m_blocks.empty() || m_blocks.back().room() < capacity)
        addBlock(capacity);
    Block& block = m_blocks.back();
    const qint32 offset = block.size;
    // Within the reserved size nothing moves, so the old text may be read while the new is written.
    block.size += capacity;
    m_stored += capacity;
    m_used += capacity - row.capacity; // the old place is left over
    char16_t* const place = block.chars.get() + offset;
    if (row.length > 0) {
        const char16_t* old = m_blocks[static_cast<size_t>(row.block)].chars.get() + row.offset;
        std::copy(old, old + row.length, place);
    }
    std::copy(text.utf16(), text.utf16() + added, place + row.length);
    row.block = static_cast<qint32>(m_blocks.size() - 1);
    row.offset = offset;
    row.length = length;
    row.capacity = capacity;
}

void Table::addBlock(qint32 capacity)
{
    if (!m_spare.empty() && m_spare.back().capacity >= capacity) {
        m_blocks.push_back(std::move(m_spare.back()));
        m_spare.pop_back();
        return;
    }
    Block& block = m_blocks.emplace_back();
    block.capacity = std::max(BlockChars, capacity);
    // Left unset: every character is written before it is read.
    block.chars.reset(new char16_t[static_cast<size_t>(block.capacity)]);
}

void Table::cutTo(Row& row, qint32 length)
{
    if (length >= row.length)
        return;
    m_hintRow = -1;
    row.length = length;
    if (atTail(row)) {
        // The room at the tail goes back to the block.
        const qint32 freed = row.capacity - length;
        m_blocks.back().size -= freed;
        m_stored -= freed;
        m_used -= freed;
        row.capacity = length;
    }
}

void Table::compactIfWasteful()
{
    const qint64 waste = m_stored - m_used;
    if (waste <= m_used || waste <= BlockChars)
        return;
    std::vector<Block> old;
    old.swap(m_blocks);
    m_used = m_stored = 0;
    for (Row& row : m_rows) {
        const qint32 length = row.length;
        row.length = row.capacity = 0;
        if (length > 0)
            extend(row, QStringView(old[static_cast<size_t>(row.block)].chars.get() + row.offset, length));
    }
}

void Table::clearData()
{
    Row& header = m_rows.front();
    m_scratch = rowText(header).toString();
    header.length = header.capacity = 0;
    // Within a bulk append the blocks are kept as spares for the lines that follow at once.
    if (m_bulk > 0) {
        for (Block& block : m_blocks) {
            block.size = 0;
            m_spare.push_back(std::move(block));
        }
    }
    m_blocks.clear();
    m_used = m_stored = 0;
    extend(header, m_scratch);
}

QStringView Table::cellView(qint32 row, qint32 col) const
{
    if (row < 0 || row >= rows() || col < 0 || col >= m_cols)
        return {};
    const Row& r = m_rows[static_cast<size_t>(row)];
    qint32 begin = 0;
    qint32 end = 0;
    if (row == m_hintRow && col == m_hintCol + 1 && !r.ends) {
        // The next cell of the row looked up last begins after that one's separator.
        if (col >= r.cells)
            return {};
        begin = m_hintEnd + 1;
        const qint32 tab = nextTab(rowText(r), begin);
        end = tab < 0 ? r.length : tab;
    } else if (!range(r, col, begin, end)) {
        return {};
    }
    m_hintRow = row;
    m_hintCol = col;
    m_hintEnd = end;
    return rowText(r).sliced(begin, end - begin);
}

void Table::appended(qint32 first)
{
    if (m_bulk == 0 && rows() > first)
        emit linesInserted(first, rows() - first);
}

void Table::writeCell(qint32 row, qint32 col, const QString& newText)
{
    Row& r = m_rows[static_cast<size_t>(row)];
    if (!r.ends && newText.contains(QChar(Tab)))
        keepEnds(r);
    m_scratch.resize(0);
    if (col >= r.cells) {
        // Empty cells up to col, each after its separator, then the text: appended to the row.
        for (qint32 c = r.cells; c <= col; ++c) {
            if (c > 0)
                m_scratch.append(QChar(Tab));
            if (r.ends)
                r.ends->push_back(r.length + static_cast<qint32>(m_scratch.size()));
        }
        m_scratch.append(newText);
        if (r.ends)
            r.ends->back() = r.length + static_cast<qint32>(m_scratch.size());
        r.cells = col + 1;
        extend(r, m_scratch);
    } else {
        qint32 begin = 0;
        qint32 end = 0;
        (void)range(r, col, begin, end);
        const auto shift = static_cast<qint32>(newText.size()) - (end - begin);
        if (col == r.cells - 1) {
            // The last cell: the row is cut before it and the new text appended.
            cutTo(r, begin);
            extend(r, newText);
        } else {
            const QStringView current = rowText(r);
            m_scratch.append(current.first(begin));
            m_scratch.append(newText);
            m_scratch.append(current.sliced(end));
            cutTo(r, 0);
            extend(r, m_scratch);
        }
        if (r.ends) {
            for (size_t c = static_cast<size_t>(col); c < r.ends->size(); ++c)
                (*r.ends)[c] += shift;
        }
    }
    compactIfWasteful();
}

void Table::setCell(qint32 row, qint32 col, const QString& text)
{
    if (row < 0 || row >= rows() || col < 0 || col >= m_cols)
        return;
    writeCell(row, col, text);
    emit cellsChanged(row, row);
}

void Table::setRecord(qint32 row, const LineRecord& record)
{
    if (row < 1 || row >= rows())
        return;
    const auto r = static_cast<size_t>(row);
    m_records[r] = record;
    m_rows[r].recorded = true;
    emit cellsChanged(row, row);
}

void Table::appendRow(QStringView tabSeparated, const LineRecord* record)
{
    // Only the fields that have a column are kept.
    qint32 cells = 1;
    qint32 at = -1;
    for (;;) {
        const qint32 tab = nextTab(tabSeparated, at + 1);
        if (tab < 0)
            break;
        if (cells == m_cols) {
            tabSeparated = tabSeparated.first(tab);
            break;
        }
        at = tab;
        ++cells;
    }
    Row row;
    row.cells = cells;
    extend(row, tabSeparated);
    row.recorded = record != nullptr;
    m_rows.push_back(std::move(row));
    m_records.push_back(record ? *record : LineRecord{});
}

qint32 Table::appendLine(QStringView tabSeparated, const LineRecord* record)
{
    const qint32 row = rows();
    appendRow(tabSeparated, record);
    appended(row);
    return row;
}

qint32 Table::appendNumberedLine(QByteArrayView latin1, const LineRecord* record)
{
    const qint32 number = rows();
    char digits[16];
    const auto count =
        static_cast<qint32>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
    const qint32 fields = m_cols - 1; // the columns for the fields
    const auto bytes = static_cast<qint32>(fields > 0 ? latin1.size() : 0);
    const qint32 most = count + 1 + bytes;
    if (m_blocks.empty() || m_blocks.back().room() < most)
        addBlock(most);
    // Written straight into the blocks: a file of 32k lines is loaded without a copy per line.
    Block& block = m_blocks.back();
    char16_t* const place = block.chars.get() + block.size;
    char16_t* out = std::copy(digits, digits + count, place);
    qint32 cells = 1;
    if (fields > 0) {
        *out++ = Tab;
        // Widened and counted in one plain pass, which the compiler vectorises.
        const char* in = latin1.data();
        qint32 tabs = 0;
        for (qint32 i = 0; i < bytes; ++i) {
            out[i] = static_cast<unsigned char>(in[i]);
            tabs += in[i] == '\t' ? 1 : 0;
        }
        qint32 kept = bytes;
        if (tabs >= fields) {
            // More fields than columns: the line ends before the TAB that starts the first extra one.
            qint32 seen = 0;
            kept = 0;
            while (in[kept] != '\t' || ++seen < fields)
                ++kept;
            tabs = fields - 1;
        }
        out += kept;
        cells = tabs + 2;
    }
    const auto length = static_cast<qint32>(out - place);
    Row& row = m_rows.emplace_back();
    row.block = static_cast<qint32>(m_blocks.size() - 1);
    row.offset = block.size;
    row.length = row.capacity = length;
    row.cells = cells;
    row.recorded = record != nullptr;
    block.size += length;
    m_stored += length;
    m_used += length;
    m_records.push_back(record ? *record : LineRecord{});
    appended(number);
    return number;
}

qint32 Table::appendLine(std::initializer_list<QString> cells, const LineRecord* record)
{
    const qint32 row = rows();
    // Cells without a TAB go in as one text, written once.
    const bool plain =
        std::none_of(cells.begin(), cells.end(), [](const QString& c) { return c.contains(QChar(Tab)); });
    if (plain) {
        m_scratch.resize(0);
        for (const QString& text : cells) {
            if (&text != cells.begin())
                m_scratch.append(QChar(Tab));
            m_scratch.append(text);
        }
        appendRow(m_scratch, record);
    } else {
        appendRow({}, record);
        qint32 col = 0;
        for (const QString& text : cells) {
            if (col >= m_cols)
                break;
            if (!text.isEmpty())
                writeCell(row, col, text);
            ++col;
        }
    }
    appended(row);
    return row;
}

void Table::setRows(qint32 count)
{
    count = std::max(count, 1);
    const qint32 old = rows();
    if (count < old) {
        removeLines(count, old - count);
        return;
    }
    if (count == old)
        return;
    m_rows.resize(static_cast<size_t>(count));
    m_records.resize(m_rows.size());
    appended(old);
}

void Table::removeLines(qint32 first, qint32 count)
{
    const qint32 old = rows();
    if (count <= 0 || first < 1 || first >= old)
        return;
    count = std::min(count, old - first);
    const auto begin = m_rows.begin() + first;
    const auto end = begin + count;
    m_hintRow = -1;
    for (auto it = begin; it != end; ++it)
        m_used -= it->capacity;
    m_rows.erase(begin, end);
    m_records.erase(m_records.begin() + first, m_records.begin() + first + count);
    if (rows() == 1)
        clearData();
    else
        compactIfWasteful();
    m_bulkFirst = std::min(m_bulkFirst, rows());
    emit linesRemoved(first, count);
}

void Table::renumber()
{
    const qint32 count = rows();
    if (count < 2)
        return;
    for (qint32 i = 1; i < count; ++i)
        writeCell(i, 0, QString::number(i));
    emit cellsChanged(1, count - 1);
}

void Table::setCols(qint32 cols)
{
    cols = std::max(cols, 1);
    if (cols == m_cols)
        return;
    if (cols > m_cols) {
        m_align.resize(static_cast<size_t>(cols), Align::General);
    } else {
        m_align.resize(static_cast<size_t>(cols));
        for (Row& row : m_rows)
            truncate(row, cols);
        compactIfWasteful();
    }
    m_cols = cols;
    emit columnsChanged();
}

void Table::setFormat(const QString& format)
{
    m_format = format;
    const QStringList fields = format.split(QLatin1Char('|'));
    setCols(static_cast<qint32>(fields.size()));
    for (qint32 col = 0; col < fields.size(); ++col) {
        QString text = fields.at(col);
        Align align = Align::General;
        if (text.startsWith(QLatin1Char('^')))
            align = Align::Centre;
        else if (text.startsWith(QLatin1Char('<')))
            align = Align::Left;
        else if (text.startsWith(QLatin1Char('>')))
            align = Align::Right;
        if (align != Align::General)
            text.remove(0, 1);
        m_align[static_cast<size_t>(col)] = align;
        writeCell(0, col, text);
    }
    emit formatChanged();
}
