// Table files: arbitrary bytes loaded into a table of either layout, checked cell by cell against an
// independent reading of the file, then saved again and checked against the text the rule asks for.
//
// Input: byte 0 chooses the layout (bit 0: TOBAR columns) and the separator (bit 1: decimal comma); the
// rest is the file.
#include "fuzzcheck.h"

#include "state/separator.h"
#include "tables/table.h"
#include "tables/tablefiles.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

struct Harness {
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Table> table;
};
Harness* harness = nullptr;

// Lines end at CR LF, a lone CR or a lone LF; the last line needs no end.
QByteArrayList referenceLines(const QByteArray& file)
{
    QByteArrayList lines;
    QByteArray line;
    bool started = false;
    for (qsizetype i = 0; i < file.size(); ++i) {
        const char c = file.at(i);
        if (c == '\r' || c == '\n') {
            lines << line;
            line.clear();
            started = false;
            if (c == '\r' && i + 1 < file.size() && file.at(i + 1) == '\n')
                ++i;
        } else {
            line.append(c);
            started = true;
        }
    }
    if (started)
        lines << line;
    return lines;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    harness = new Harness;
    harness->app = std::make_unique<QCoreApplication>(*argc, *argv);
    harness->dir = std::make_unique<QTemporaryDir>();
    harness->table = std::make_unique<Table>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    Table& table = *harness->table;
    const bool tobar = (data[0] & 1) != 0;
    const bool useComma = (data[0] & 2) != 0;
    const QByteArray file(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const QString path = harness->dir->filePath(QStringLiteral("table.txt"));
    {
        QFile out(path);
        FUZZ_CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(out.write(file) == file.size());
    }

    // A table with lines from an earlier input, which loading must replace.
    table.clear();
    table.setCols(tobar ? 6 : 3);
    table.appendLine(QStringLiteral("1\told\tline"));
    FUZZ_CHECK(TableFiles::loadTable(table, path));

    const QByteArrayList lines = referenceLines(file);
    const qint32 cols = table.cols();
    FUZZ_CHECK(table.rows() == lines.size() + 1);
    QByteArray expectedSave;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto row = static_cast<qint32>(i + 1);
        FUZZ_CHECK(table.cell(row, 0) == QString::number(row));
        const QByteArrayList fields = lines.at(i).split('\t');
        for (qint32 col = 1; col < cols; ++col) {
            const QString expected =
                col - 1 < fields.size() ? QString::fromLatin1(fields.at(col - 1)) : QString();
            FUZZ_CHECK(table.cell(row, col) == expected);
            QString cell = expected;
            expectedSave += setSeperator(cell, useComma).toLatin1();
            if (col < cols - 1)
                expectedSave += '\t';
        }
        expectedSave += "\r\n";
    }

    const QString savedPath = harness->dir->filePath(QStringLiteral("saved.txt"));
    FUZZ_CHECK(TableFiles::saveTable(table, savedPath, useComma));
    FUZZ_CHECK(readAll(savedPath) == expectedSave);
    FUZZ_CHECK(TableFiles::tableText(table, useComma).toLatin1() == expectedSave);
    return 0;
}
