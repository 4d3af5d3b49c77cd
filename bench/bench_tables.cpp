// The tables: writing a table full, saving, loading and copying it, deleting selections, and rebuilding ten
// full tables for the other instrument mode.
#include "benchsupport.h"

#include "analysis/csvexport.h"
#include "mainwindow/tableviews.h"
#include "tables/recovery.h"
#include "tables/tablefiles.h"
#include "tables/tables.h"
#include "widgets/flexgrid.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace Bench {

// Fills the current table as interval storing does, with angles that change from line to line.
void fillByXY2Table(Program& program, int lines)
{
    AppState& s = program.state;
    s.link.conStatus = 1; // values, not the placeholders of a closed link
    s.link.angleStatus = 3;
    for (int i = 0; i < lines; ++i) {
        s.link.angleX = 1234.56 - 0.37 * i;
        s.link.angleY = -87.5 + 0.011 * i;
        program.tables.XY2Table(LineRecord::Source::RemoteControl);
    }
}

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The plain baselines: the same bytes, line by line, through buffered stdio.
struct PlainFile {
    QByteArray bytes;
    std::vector<std::pair<qsizetype, qsizetype>> lines; // offset, length with CR LF

    explicit PlainFile(const QByteArray& content) : bytes(content)
    {
        qsizetype at = 0;
        while (at < bytes.size()) {
            const qsizetype end = bytes.indexOf('\n', at);
            const qsizetype next = end < 0 ? bytes.size() : end + 1;
            lines.emplace_back(at, next - at);
            at = next;
        }
    }

    [[nodiscard]] bool write(const QString& path) const
    {
        FILE* f = std::fopen(qPrintable(path), "wb");
        if (!f)
            return false;
        for (const auto& [offset, length] : lines)
            std::fwrite(bytes.constData() + offset, 1, static_cast<size_t>(length), f);
        return std::fclose(f) == 0;
    }

    // The same file steps as the program's save, which replaces a file whole and only once the new one is
    // on the disk: a new file beside it, synchronised, renamed over it.
    [[nodiscard]] bool writeReplacing(const QString& path) const
    {
        const QByteArray target = QFile::encodeName(path);
        const QByteArray temporary = target + ".new";
        FILE* f = std::fopen(temporary.constData(), "wb");
        if (!f)
            return false;
        for (const auto& [offset, length] : lines)
            std::fwrite(bytes.constData() + offset, 1, static_cast<size_t>(length), f);
        const bool synced = std::fflush(f) == 0 && ::fdatasync(fileno(f)) == 0;
        return std::fclose(f) == 0 && synced && std::rename(temporary.constData(), target.constData()) == 0;
    }

    // Lines read, or -1.
    [[nodiscard]] static long read(const QString& path)
    {
        FILE* f = std::fopen(qPrintable(path), "rb");
        if (!f)
            return -1;
        char* line = nullptr;
        size_t capacity = 0;
        long count = 0;
        long chars = 0;
        ssize_t n = 0;
        while ((n = getline(&line, &capacity, f)) > 0) {
            ++count;
            chars += n;
        }
        benchmark::DoNotOptimize(chars);
        free(line);
        std::fclose(f);
        return count;
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Times of table operations run until the views have learnt every change (rows, cells, selection,
// scrolling); the repaint that follows at the next event-loop turn is not part of them.
void catchUp(TableViews& views)
{
    for (int n = 1; n <= 10; ++n)
        views.grid(n)->flushView();
}

bool isFull(const FlexGrid& grid, int lines)
{
    return grid.Rows() == lines + 1 &&
           (lines < 32767 || grid.TextMatrix(32767, 1) == QLatin1String("table filled."));
}

void xy2Table(benchmark::State& state)
{
    const int lines = config().tableLines;
    Program program;
    TableViews& views = program.window->tableViews();
    AngleManager& angles = program.state.angles;
    for (auto _ : state) {
        program.window->tables().clearCurrent();
        Program::settle();
        Clock::time_point start = Clock::now();
        fillByXY2Table(program, lines);
        catchUp(views);
        const double ms = msSince(start);
        Program::settle();

        // The plain table: a vector of rows with the same texts.
        start = Clock::now();
        std::vector<std::array<QString, 3>> rows;
        LinkState& link = program.state.link;
        for (int i = 0; i < lines; ++i) {
            link.angleX = 1234.56 - 0.37 * i;
            link.angleY = -87.5 + 0.011 * i;
            rows.push_back({QString::number(i + 1), angles.angleXText(), angles.angleYText()});
        }
        benchmark::DoNotOptimize(rows.data());
        const double baseMs = msSince(start);

        const FlexGrid& grid = *views.currentGrid();
        if (!require(state,
                     isFull(grid, lines) && grid.TextMatrix(1, 1) == rows.front()[1] &&
                         grid.TextMatrix(lines - 1, 2) == rows[static_cast<size_t>(lines - 2)][2],
                     QStringLiteral("table holds %1 rows, not %2").arg(grid.Rows()).arg(lines + 1)))
            return;
        state.SetIterationTime(ms / 1000);
        sample(state, "xy2table", ms, baseMs);
    }
}

void tableFiles(benchmark::State& state)
{
    const int lines = config().tableLines;
    Program program;
    fillByXY2Table(program, lines);
    Program::settle();
    FlexGrid& grid = *program.window->tableViews().currentGrid();
    Table& table = grid.table();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.txt"));
    const QString basePath = dir.filePath(QStringLiteral("plain.txt"));
    // Decimal commas: the separator rule changes every value on the way out.
    const bool useComma = true;
    if (!require(state, dir.isValid() && TableFiles::saveTable(table, path, useComma),
                 QStringLiteral("no file")))
        return;
    const PlainFile plain(fileBytes(path));

    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        const bool saved = TableFiles::saveTable(table, path, useComma);
        const double saveMs = msSince(start);
        start = Clock::now();
        const bool plainSaved = plain.writeReplacing(basePath);
        const double plainSaveMs = msSince(start);

        start = Clock::now();
        const bool loaded = TableFiles::loadTable(table, path);
        grid.flushView();
        const double loadMs = msSince(start);
        Program::settle();
        start = Clock::now();
        const long plainLines = PlainFile::read(path); // the file just loaded
        const double plainLoadMs = msSince(start);

        start = Clock::now();
        program.window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        const double copyMs = msSince(start);
        QFile::remove(basePath); // a new file, as the first save of a table
        start = Clock::now();
        const bool plainCopied = plain.write(basePath);
        const double plainCopyMs = msSince(start);

        const QString clip = QGuiApplication::clipboard()->text();
        if (!require(state, saved && plainSaved && plainCopied && fileBytes(path) == plain.bytes,
                     QStringLiteral("saved file differs")) ||
            !require(state, loaded && grid.Rows() == lines + 1 && plainLines == lines,
                     QStringLiteral("loaded %1 rows").arg(grid.Rows())) ||
            !require(state, clip.size() == plain.bytes.size() && clip.endsWith(QLatin1String("\r\n")),
                     QStringLiteral("clipboard holds %1 characters, not %2")
                         .arg(clip.size())
                         .arg(plain.bytes.size())))
            return;
        state.SetIterationTime((saveMs + loadMs + copyMs) / 1000);
        sample(state, "save", saveMs, plainSaveMs);
        sample(state, "load", loadMs, plainLoadMs);
        sample(state, "copy", copyMs, plainCopyMs);
    }
}

// A program with a full current table, also saved to a file, so a figure can empty it and refill it.
struct FullTable {
    Program program;
    Tables& tables = program.window->tables();
    TableViews& views = program.window->tableViews();
    FlexGrid& grid = *views.currentGrid();
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("table.txt"));

    explicit FullTable(int lines)
    {
        fillByXY2Table(program, lines);
        Program::settle();
    }
    [[nodiscard]] bool saved() const { return TableFiles::saveTable(grid.table(), path, false); }
    void refill()
    {
        (void)TableFiles::loadTable(grid.table(), path);
        Program::settle();
    }
};

// "Clear table" on a full table, which first writes a recovery copy; the figure is what the copy adds.
void recoveryCopy(benchmark::State& state)
{
    FullTable full(config().tableLines);
    Tables& tables = full.tables;
    FlexGrid& grid = full.grid;
    if (!require(state, full.saved(), QStringLiteral("no file")))
        return;
    const QByteArray saved = fileBytes(full.path);
    const auto refill = [&full] { full.refill(); };
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        tables.clearCurrent();
        grid.flushView();
        const double clearMs = msSince(start);
        const QDir folder(Recovery::folder());
        const QStringList copies = folder.entryList(QDir::Files, QDir::Time);
        if (!require(state, !copies.isEmpty() && fileBytes(folder.filePath(copies.first())) == saved,
                     QStringLiteral("no recovery copy of the table")))
            return;
        refill();
        start = Clock::now();
        grid.table().clear();
        grid.flushView();
        const double plainMs = msSince(start);
        refill();
        state.SetIterationTime(clearMs / 1000);
        sample(state, "recovery", std::max(0.0, clearMs - plainMs), plainMs);
    }
}

// "Export as CSV…" of a full table, next to the table's own "Save".
void csvExport(benchmark::State& state)
{
    const int lines = config().tableLines;
    Program program;
    fillByXY2Table(program, lines);
    Program::settle();
    const Table& grid = program.window->tables().current();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.csv"));
    CsvExport::Table table;
    table.lines = grid.count();
    table.cell = [&grid](qint32 line, qint32 col) { return grid.cell(line, col); };
    table.record = [&grid](qint32 line) { return grid.record(line); };
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        const bool exported = CsvExport::write(table, path);
        const double exportMs = msSince(start);
        start = Clock::now();
        const bool saved = TableFiles::saveTable(grid, dir.filePath(QStringLiteral("table.txt")), false);
        const double saveMs = msSince(start);
        if (!require(state, exported && saved && fileBytes(path).count("\r\n") == lines + 1,
                     QStringLiteral("export incomplete")))
            return;
        state.SetIterationTime(exportMs / 1000);
        sample(state, "csv", exportMs, saveMs);
    }
}

// Rows of the table as plain string lists, for the baseline of deleting.
std::vector<QStringList> plainRows(const FlexGrid& grid)
{
    std::vector<QStringList> rows;
    for (qint32 r = 0; r < grid.Rows(); ++r)
        rows.push_back({grid.TextMatrix(r, 0), grid.TextMatrix(r, 1), grid.TextMatrix(r, 2)});
    return rows;
}

double plainDeleteMs(std::vector<QStringList> rows, int first, int count)
{
    const Clock::time_point start = Clock::now();
    rows.erase(rows.begin() + first, rows.begin() + first + count);
    for (size_t i = 1; i < rows.size(); ++i)
        rows[i][0] = QString::number(static_cast<qlonglong>(i));
    benchmark::DoNotOptimize(rows.data());
    return msSince(start);
}

void deleteSelection(benchmark::State& state)
{
    const int lines = config().tableLines;
    const int block = std::min(10000, lines / 3);
    const int first = (lines - block) / 2 + 1;
    FullTable full(lines);
    TableViews& views = full.views;
    FlexGrid& grid = full.grid;
    if (!require(state, full.saved(), QStringLiteral("no file")))
        return;
    const auto refill = [&full] { full.refill(); };
    refill();
    const std::vector<QStringList> rows = plainRows(grid);

    for (auto _ : state) {
        refill();
        grid.setRow(1);
        grid.setRowSel(lines);
        Program::settle();
        Clock::time_point start = Clock::now();
        views.deleteSelectedLines();
        catchUp(views);
        const double allMs = msSince(start);
        Program::settle();
        const bool allGone = grid.Rows() == 1;
        const double plainAllMs = plainDeleteMs(rows, 1, lines);

        refill();
        const QString after = grid.TextMatrix(first + block, 1);
        grid.setRow(first + block - 1);
        grid.setRowSel(first); // selected upward
        Program::settle();
        start = Clock::now();
        views.deleteSelectedLines();
        catchUp(views);
        const double blockMs = msSince(start);
        Program::settle();
        const double plainBlockMs = plainDeleteMs(rows, first, block);

        if (!require(state, allGone, QStringLiteral("%1 rows left after deleting all").arg(grid.Rows())) ||
            !require(state,
                     grid.Rows() == lines + 1 - block && grid.TextMatrix(first, 1) == after &&
                         grid.TextMatrix(lines - block, 0) == QString::number(lines - block) &&
                         grid.Row() == first && grid.RowSel() == first,
                     QStringLiteral("deleting the block left %1 rows").arg(grid.Rows())))
            return;
        state.SetIterationTime((allMs + blockMs) / 1000);
        sample(state, "delete_all", allMs, plainAllMs);
        sample(state, "delete_block", blockMs, plainBlockMs);
    }
}

void modeRebuild(benchmark::State& state)
{
    const int lines = config().tableLines;
    Program program;
    Tables& tables = program.window->tables();
    TableViews& views = program.window->tableViews();
    MainOptions& options = program.state.options;
    fillByXY2Table(program, lines);
    Program::settle();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.txt"));
    if (!require(state, TableFiles::saveTable(tables.current(), path, false), QStringLiteral("no file")))
        return;

    const auto fillAll = [&] {
        for (int n = 1; n <= 10; ++n)
            (void)TableFiles::loadTable(tables.table(n), path);
        Program::settle();
    };
    const auto rebuildMs = [&] {
        options.modeTobar = !options.modeTobar;
        const Clock::time_point start = Clock::now();
        program.window->layoutForMode();
        catchUp(views);
        const double ms = msSince(start);
        Program::settle();
        return ms;
    };
    const auto allEmpty = [&] {
        const int cols = options.modeTobar ? 6 : 3;
        for (int n = 1; n <= 10; ++n) {
            if (tables.table(n).rows() != 1 || tables.table(n).cols() != cols)
                return false;
        }
        return tables.currentNumber() == 1 && views.currentGrid()->isVisible();
    };

    for (auto _ : state) {
        // Both directions with ten full tables, and the same with ten empty ones.
        fillAll();
        const bool wereFull = isFull(*views.grid(10), lines);
        const double toTobar = rebuildMs();
        bool ok = allEmpty() && options.modeTobar;
        fillAll();
        const double toOrvelan = rebuildMs();
        ok = ok && allEmpty() && !options.modeTobar;
        const double emptyToTobar = rebuildMs();
        const double emptyToOrvelan = rebuildMs();
        if (!require(state, wereFull && ok, QStringLiteral("tables not rebuilt empty")))
            return;
        const double ms = std::max(toTobar, toOrvelan);
        state.SetIterationTime(ms / 1000);
        sample(state, "layout", ms, std::max(emptyToTobar, emptyToOrvelan));
    }
}

} // namespace

void registerTableBenchmarks()
{
    const int reps = config().repetitions;
    registerFigure("XY2TableFull", xy2Table, reps);
    registerFigure("TableFiles", tableFiles, reps);
    registerFigure("RecoveryCopy", recoveryCopy, reps);
    registerFigure("CsvExport", csvExport, reps);
    registerFigure("DeleteSelection", deleteSelection, reps);
    registerFigure("ModeRebuild", modeRebuild, reps);
}

} // namespace Bench
