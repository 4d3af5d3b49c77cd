#include "tables/tablefiles.h"

#include "platform/codepage.h"
#include "platform/flexgrid.h"
#include "tables/separator.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>

namespace TableFiles {

QString tableText(const FlexGrid& grid, bool useComma)
{
    const qint32 rows = grid.Rows();
    const qint32 cols = grid.Cols();
    QString text;
    for (qint32 i = 1; i < rows; ++i) {
        for (qint32 j = 1; j < cols; ++j) {
            QString cell = grid.TextMatrix(i, j);
            text += setSeperator(cell, useComma);
            if (j < cols - 1)
                text += QLatin1Char('\t');
        }
        text += QLatin1String("\r\n");
    }
    return text;
}

bool saveTable(const FlexGrid& grid, const QString& fileName, bool useComma)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = CodePage::fromUnicode(tableText(grid, useComma));
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

namespace {
// Splits the file into lines ending at CR LF or a lone CR; a lone LF stays in the line.
class LineReader {
public:
    explicit LineReader(QFile& file) : m_file(file) {}

    // False at the end of the file (a read error ends loading the same way).
    bool next(QByteArray& line)
    {
        line.clear();
        bool started = false;
        for (;;) {
            if (m_pos >= m_buffer.size()) {
                m_buffer = m_file.read(ChunkSize);
                m_pos = 0;
                if (m_buffer.isEmpty())
                    return started; // a last line needs no terminator
            }
            if (m_skipLf) {
                m_skipLf = false;
                if (m_buffer.at(m_pos) == '\n') {
                    ++m_pos;
                    continue;
                }
            }
            const qsizetype cr = m_buffer.indexOf('\r', m_pos);
            const qsizetype end = cr < 0 ? m_buffer.size() : cr;
            if (end > m_pos) {
                line.append(m_buffer.constData() + m_pos, end - m_pos);
                started = true;
            }
            if (cr < 0) {
                m_pos = m_buffer.size();
                continue;
            }
            m_pos = cr + 1;
            m_skipLf = true;
            return true;
        }
    }

private:
    static constexpr qint64 ChunkSize = 1 << 16;

    QFile& m_file;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_skipLf = false;
};
} // namespace

bool loadTable(FlexGrid& grid, const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    grid.setRows(1);
    LineReader reader(file);
    QByteArray line;
    for (qint32 n = 1; reader.next(line); ++n)
        grid.AddItem(QString::number(n) + QLatin1Char('\t') + CodePage::toUnicode(line));
    return true;
}

void copyTableToClipboard(const FlexGrid& grid, bool useComma)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->clear();
    clipboard->setText(tableText(grid, useComma));
}

} // namespace TableFiles
