#pragma once

#include "analysis/linerecord.h"
#include "analysis/stationtables.h"
#include "tables/table.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

struct AppState;
class Link;
class MeasurementLog;

// The ten measurement tables, the current one, and the writing of lines into them.
class Tables : public QObject, public StationTables {
    Q_OBJECT
public:
    // Lines 1 .. 32766 take angle pairs, line 32767 the "table filled." marker.
    static constexpr qint32 FullRows = 32768;
    static constexpr int Count = 10;

    explicit Tables(AppState& state, QObject* parent = nullptr);
    ~Tables() override;

    // Where the times of stored measurements are marked; null: nowhere.
    void setLog(MeasurementLog* log) { m_log = log; }
    // Takes the lines the instrument asks to store and its memory readout, and marks stored times in the
    // link's log.
    void follow(Link& link);

    // Table number 1 .. 10 (clamped).
    [[nodiscard]] Table& table(int number) { return *m_tables[index(number)]; }
    [[nodiscard]] const Table& table(int number) const { return *m_tables[index(number)]; }
    [[nodiscard]] Table& current() { return table(m_current); }
    [[nodiscard]] int currentNumber() const override { return m_current; }
    void setCurrent(int number) override;
    [[nodiscard]] const TableLines& lines(int number) const override { return table(number); }
    // The file table n was last opened from or saved to; empty when none, or since the table was emptied.
    [[nodiscard]] QString fileName(int number) const { return m_fileNames[index(number)]; }
    void setFileName(int number, const QString& name) { m_fileNames[index(number)] = name; }
    // Header format of table n in the ORVELAN or TOBAR layout.
    [[nodiscard]] static QString formatString(int number, bool tobar);

    // All ten tables emptied (with recovery copies) and given the columns of the mode in use; table 1
    // becomes the current one.
    void setupForMode();
    // Empties the current table, keeping a recovery copy.
    void clearCurrent();

    [[nodiscard]] LineRecord recordNow(LineRecord::Source source, std::optional<qint64> msecs) const override;
    // A line of the angles shown into the current table, timed msecs (ms since the epoch: the message that
    // asked for it) or now; the marker instead when it is full.
    void XY2Table(LineRecord::Source source = LineRecord::Source::Button, std::optional<qint64> msecs = {});
    // A station of a guided run, written in the unit shown; the record's unit, x and y are set from it.
    qint32 storeStation(int number, double x, double y, LineRecord record) override;
    void removeLine(int number, qint32 line) override;
    // A line of the TOBAR value, verdict and reticle texts shown.
    void tobar2Table(const QString& value, const QString& verdict, const QString& reticle);
    // The instrument's memory readout: table g emptied for c columns, then lines, then their cells.
    void setGridForLoad(qint16 g, qint32 r, qint16 c);
    void addLine(qint16 gridNum);
    void setColumn(const QString& s);
    // Removes lines first .. first + count - 1 of the current table and numbers the rest anew.
    void deleteLines(qint32 first, qint32 count);
    void renumber() { current().renumber(); }

signals:
    void currentChanged(int number);
    // A line stored from the current values.
    void lineStored(int number, qint32 line);
    // A line begun by the memory readout.
    void readoutLineAdded(int number, qint32 line);
    // An angle table reached its marker line.
    void tableFilled();

private:
    [[nodiscard]] static size_t index(int number)
    {
        return static_cast<size_t>(std::clamp(number, 1, Count) - 1);
    }
    // The record of a line written at msecs: its time and the zero offsets in effect.
    [[nodiscard]] LineRecord recordAt(LineRecord::Source source, qint64 msecs) const;
    void stored(int number, qint32 line, qint64 msecs);

    AppState& m_state;
    std::array<std::unique_ptr<Table>, Count> m_tables;
    std::array<QString, Count> m_fileNames;
    int m_current = 1;
    // Where the memory readout writes next: it moves only with the readout.
    int m_readoutTable = 1;
    qint32 m_readoutRow = 0;
    qint32 m_readoutCol = 0;
    MeasurementLog* m_log = nullptr;
};
