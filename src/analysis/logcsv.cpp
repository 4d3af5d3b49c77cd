#include "analysis/logcsv.h"

#include "analysis/csvexport.h"
#include "platform/savefile.h"
#include "state/anglemanager.h"
#include "state/numbers.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <initializer_list>
#include <limits>

namespace LogCsv {

namespace {

// Rows are collected up to this size and then written, so a day of points never sits in memory as text.
constexpr qsizetype WriteChars = 1 << 19;

// Decimals that resolve the log's thousandth of an arcsecond in each unit but deg-min-sec: a value is
// written rounded to them, so no digits of the unit conversion's rounding follow.
constexpr int Decimals[] = {3, 7, 0, 6, 3};

// Thousandths of a second, with a full stop whatever the region.
QString degMinSec(double arcsec)
{
    QString text = AngleManager::formatDegMinSec(arcsec, 3).trimmed();
    return text.startsWith(QLatin1Char('.')) ? QString()
                                             : text.replace(QLocale().decimalPoint(), QStringLiteral("."));
}

// The file, the rows waiting to be written and whether every write so far succeeded. No field of the log's
// rows (times, numbers, unit names) holds a comma, a quote or a line break, so none is quoted.
class Writer {
public:
    Writer(const QString& fileName, const char* header) : m_file(fileName)
    {
        m_ok = m_file.open(QIODevice::WriteOnly) &&
               m_file.write(CsvExport::Bom) == qint64(sizeof CsvExport::Bom) - 1;
        m_rows = QLatin1String(header);
    }

    bool row(std::initializer_list<QString> fields)
    {
        for (const QString& f : fields) {
            m_rows += f;
            m_rows += QLatin1Char(',');
        }
        m_rows.back() = QLatin1Char('\r');
        m_rows += QLatin1Char('\n');
        if (m_rows.size() >= WriteChars)
            write();
        return m_ok;
    }

    bool finish()
    {
        if (!m_file.isOpen())
            return false;
        write();
        return finishSave(m_file, m_ok);
    }

private:
    void write()
    {
        const QByteArray bytes = m_rows.toUtf8();
        m_ok = m_ok && m_file.write(bytes) == bytes.size();
        m_rows.clear();
    }

    QSaveFile m_file;
    QString m_rows;
    bool m_ok = false;
};

// The local time of a point.
class LocalTime {
public:
    explicit LocalTime(qint64 start) : m_start(start) {}
    QString operator()(qint64 time)
    {
        const qint64 msecs = m_start + time;
        return CsvExport::timeText(msecs, m_offsets.at(msecs));
    }

private:
    qint64 m_start;
    CsvExport::UtcOffsets m_offsets;
};

} // namespace

QString angleText(double arcsec, AngleUnit unit)
{
    // An unknown unit converts to NaN: it never reaches the table of decimals.
    const double v = AngleManager::inUnit(arcsec, unit);
    if (!std::isfinite(v))
        return {};
    return unit == AngleUnit::DegMinSec ? degMinSec(arcsec)
                                        : Numbers::dotText(v, Decimals[AngleUnits::code(unit)]);
}

bool writeAngles(const MeasurementLog& log, qint64 t0, qint64 t1, AngleUnit unit, double zeroX, double zeroY,
                 const QString& fileName)
{
    const QString unitText = CsvExport::unitName(unit);
    if (unitText.isEmpty())
        return false;
    Writer out(fileName, "time,x,y,unit\r\n");
    LocalTime local(log.startMsecsSinceEpoch());
    log.visitAngles(t0, t1, [&](const MeasurementLog::AnglePoint& p) {
        return out.row({local(p.time), angleText(p.x - zeroX, unit), angleText(p.y - zeroY, unit), unitText});
    });
    return out.finish();
}

bool writeTobar(const MeasurementLog& log, qint64 t0, qint64 t1, const QString& fileName)
{
    Writer out(fileName, "time,value,unit\r\n");
    LocalTime local(log.startMsecsSinceEpoch());
    log.visitTobar(t0, t1, [&](const MeasurementLog::TobarPoint& p) {
        return out.row({local(p.time), Numbers::dotText(p.value),
                        p.inch ? QStringLiteral("inch") : QStringLiteral("mm")});
    });
    return out.finish();
}

} // namespace LogCsv
