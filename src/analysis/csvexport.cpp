#include "analysis/csvexport.h"

#include "platform/savefile.h"
#include "state/numbers.h"

#include <QDateTime>
#include <QStringList>

#include <cmath>
#include <limits>

namespace CsvExport {

namespace {
void field(QByteArray& out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\r') || bytes.contains('\n')) {
        QByteArray quoted = bytes;
        out += '"' + quoted.replace("\"", "\"\"") + '"';
    } else {
        out += bytes;
    }
}

void row(QByteArray& out, const QStringList& fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        field(out, fields.at(i));
    }
    out += "\r\n";
}

QString recordTime(const LineRecord* r)
{
    return r && r->hasTime() ? timeText(r->msecs, r->utcOffset) : QString();
}
} // namespace

qint32 UtcOffsets::at(qint64 msecs)
{
    const qint64 minute = msecs >= 0 ? msecs / 60000 : (msecs - 59999) / 60000;
    auto found = m_minutes.constFind(minute);
    if (found == m_minutes.cend()) {
        if (m_minutes.size() >= 64)
            m_minutes.clear();
        found = m_minutes.insert(minute, QDateTime::fromMSecsSinceEpoch(msecs).offsetFromUtc());
    }
    return *found;
}

// Lines of one second share the costly date formatting.
QString timeText(qint64 msecs, qint32 utcOffset)
{
    static qint64 second = std::numeric_limits<qint64>::min();
    static qint32 offset = 0;
    static QString date;
    static QString zone;
    const qint64 s = msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000;
    if (s != second || utcOffset != offset) {
        second = s;
        offset = utcOffset;
        const QString full =
            QDateTime::fromMSecsSinceEpoch(s * 1000, Qt::OffsetFromUTC, offset).toString(Qt::ISODateWithMs);
        const qsizetype point = full.indexOf(QLatin1Char('.'));
        date = full.left(point + 1); // up to the milliseconds' point
        zone = full.mid(point + 4);  // the offset after them
    }
    const qint64 ms = msecs - s * 1000;
    return date + QStringLiteral("%1").arg(ms, 3, 10, QLatin1Char('0')) + zone;
}

QString unitName(AngleUnit unit)
{
    static const char* const names[] = {"arcsec", "degree", "deg-min-sec", "mrad", "\u00b5/m"};
    return AngleUnits::isKnown(unit) ? QString::fromUtf8(names[AngleUnits::code(unit)]) : QString();
}

QString sourceName(LineRecord::Source source)
{
    switch (source) {
    case LineRecord::Source::Button:
        return QStringLiteral("button");
    case LineRecord::Source::Interval:
        return QStringLiteral("interval");
    case LineRecord::Source::InstrumentKey:
        return QStringLiteral("instrument key");
    case LineRecord::Source::RemoteControl:
        return QStringLiteral("remote control");
    case LineRecord::Source::Readout:
        return QStringLiteral("memory readout");
    case LineRecord::Source::File:
        return QStringLiteral("file");
    case LineRecord::Source::Tobar:
        return QStringLiteral("TOBAR");
    }
    return {};
}

QByteArray text(const Table& table)
{
    QByteArray out(Bom);
    out += table.tobar ? "line,time,value,unit,type,go_ng,comment,source\r\n"
                       : "line,time,x,y,unit,x_arcsec,y_arcsec,zero_x_arcsec,zero_y_arcsec,source\r\n";
    for (qint32 line = 1; line <= table.lines; ++line) {
        const LineRecord* r = table.record ? table.record(line) : nullptr;
        QStringList fields{table.cell(line, 0), recordTime(r)};
        if (table.tobar) {
            for (qint32 col = 1; col <= 5; ++col)
                fields << table.cell(line, col);
        } else {
            const QString unit = r && r->unit ? unitName(*r->unit) : QString();
            fields << table.cell(line, 1) << table.cell(line, 2) << unit;
            if (r)
                fields << Numbers::dotText(r->x) << Numbers::dotText(r->y) << Numbers::dotText(r->zeroX)
                       << Numbers::dotText(r->zeroY);
            else
                fields << QString() << QString() << QString() << QString();
        }
        fields << (r ? sourceName(r->source) : QString());
        row(out, fields);
    }
    return out;
}

bool writeRows(const QList<QStringList>& rows, const QString& fileName)
{
    QByteArray out(Bom);
    for (const QStringList& fields : rows)
        row(out, fields);
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && finishSave(file, file.write(out) == out.size());
}

bool write(const Table& table, const QString& fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text(table);
    return finishSave(file, file.write(bytes) == bytes.size());
}

} // namespace CsvExport
