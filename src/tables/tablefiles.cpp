#include "tables/tablefiles.h"

#include "analysis/linerecord.h"
#include "platform/codepage.h"
#include "platform/savefile.h"
#include "state/separator.h"
#include "tables/table.h"

#include <QFile>
#include <QSaveFile>
#include <QVarLengthArray>

#include <algorithm>
#include <charconv>

namespace TableFiles {

namespace {
// The table text into text; after each line lineDone(text) may take what was built so far, and stops the
// text by returning false. The rule is applied on the way out, so the table's cells are neither copied
// nor changed.
template <typename LineDone>
bool buildText(const Table& table, bool useComma, QString& text, LineDone lineDone)
{
    const qint32 rows = table.rows();
    const qint32 cols = table.cols();
    const QChar separator = seperatorFor(useComma);
    QVarLengthArray<QStringView, 8> cells;
    for (qint32 i = 1; i < rows; ++i) {
        // The line is sized first and then filled: appending piece by piece costs more than the copying.
        cells.clear();
        qsizetype length = 2; // CR LF
        for (qint32 j = 1; j < cols; ++j) {
            cells.append(table.cellView(i, j));
            length += cells.back().size() + (j < cols - 1 ? 1 : 0);
        }
        const qsizetype start = text.size();
        text.resize(start + length);
        QChar* out = text.data() + start;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QStringView cell = cells[c];
            std::copy(cell.begin(), cell.end(), out);
            const qsizetype at = seperatorIndex(cell, useComma);
            if (at >= 0)
                out[at] = separator;
            out += cell.size();
            if (c < cells.size() - 1)
                *out++ = QLatin1Char('\t');
        }
        *out++ = QLatin1Char('\r');
        *out = QLatin1Char('\n');
        if (!lineDone(text))
            return false;
    }
    return true;
}
} // namespace

QString tableText(const Table& table, bool useComma)
{
    QString text;
    (void)buildText(table, useComma, text, [](QString&) { return true; });
    return text;
}

bool saveTable(const Table& table, const QString& fileName, bool useComma)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Written in pieces through two buffers: a whole table's text at once costs fresh memory every time.
    constexpr qsizetype PieceChars = 1 << 15;
    QString piece;
    QByteArray bytes;
    piece.reserve(PieceChars + 1024);
    bytes.reserve(PieceChars + 1024);
    const auto write = [&file, &bytes](QString& text) {
        bytes.resize(0);
        CodePage::appendBytes(bytes, text);
        text.resize(0);
        return file.write(bytes) == bytes.size();
    };
    const bool built = buildText(table, useComma, piece,
                                 [&write](QString& text) { return text.size() < PieceChars || write(text); });
    return finishSave(file, built && write(piece));
}

namespace {
// Splits the file into lines ending at CR LF, a lone CR or a lone LF.
class LineReader {
public:
    explicit LineReader(QFile& file) : m_file(file) {}

    // The next line, valid until the next call; false at the end of the file (a read error ends loading
    // the same way).
    bool next(QByteArrayView& line)
    {
        if (!m_carry.isEmpty())
            m_carry.resize(0);
        bool started = false;
        for (;;) {
            if (m_pos == m_end && !fill()) {
                line = m_carry; // a last line needs no terminator
                return started;
            }
            if (m_skipLf) {
                m_skipLf = false;
                if (*m_pos == '\n') {
                    ++m_pos;
                    continue;
                }
            }
            const char* end = std::find_if(m_pos, m_end, [](char c) { return c == '\r' || c == '\n'; });
            const QByteArrayView piece(m_pos, end - m_pos);
            started = started || !piece.isEmpty();
            if (end == m_end) {
                // The line goes on in the next chunk.
                m_carry.append(piece);
                m_pos = m_end;
                continue;
            }
            m_pos = end + 1;
            m_skipLf = *end == '\r'; // the LF of a CR LF
            if (m_carry.isEmpty()) {
                line = piece;
            } else {
                m_carry.append(piece);
                line = m_carry;
            }
            return true;
        }
    }

private:
    static constexpr qint64 ChunkSize = 1 << 16;

    // The next chunk into the one buffer; false at the end.
    bool fill()
    {
        m_buffer.resize(ChunkSize);
        const qint64 read = m_file.read(m_buffer.data(), ChunkSize);
        m_pos = m_buffer.constData();
        m_end = m_pos + std::max<qint64>(read, 0);
        return m_end != m_pos;
    }

    QFile& m_file;
    QByteArray m_buffer;
    QByteArray m_carry;
    const char* m_pos = nullptr;
    const char* m_end = nullptr;
    bool m_skipLf = false;
};
} // namespace

bool loadTable(Table& table, const QString& fileName, std::optional<AngleUnit> unit)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const Table::Bulk bulk(table);
    table.clear();
    LineReader reader(file);
    QByteArrayView line;
    // Lines from a file have no time of measurement and no angle numbers: their texts are read in the unit
    // shown now, whatever is chosen later.
    LineRecord fromFile{LineRecord::Source::File};
    fromFile.unit = unit;
    if constexpr (CodePage::IsLatin1) {
        // Every byte is its character: the bytes go into the table as they are, numbered by their rows.
        while (reader.next(line))
            (void)table.appendNumberedLine(line, &fromFile);
        return true;
    }
    // The table line "n TAB line" is put together in one buffer, kept from line to line.
    QString item;
    char number[16];
    for (qint32 n = 1; reader.next(line); ++n) {
        const std::to_chars_result digits = std::to_chars(number, number + sizeof number, n);
        const qsizetype length = digits.ptr - number;
        item.resize(length + 1);
        QChar* out = item.data();
        for (qsizetype i = 0; i < length; ++i)
            out[i] = QLatin1Char(number[i]);
        out[length] = QLatin1Char('\t');
        CodePage::appendUnicode(item, line);
        (void)table.appendLine(item, &fromFile);
    }
    return true;
}

} // namespace TableFiles
