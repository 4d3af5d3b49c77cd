#include "publish/payloads.h"

#include "analysis/csvexport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace {

// JSON has no NaN: a value that is not known is null.
void number(QByteArray& out, double v)
{
    if (std::isfinite(v))
        out += QByteArray::number(v == 0 ? 0.0 : v, 'g', QLocale::FloatingPointShortest);
    else
        out += "null";
}

QJsonValue json(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

// Measurements come a hundred a second: their text is put together by hand.
void timeField(QByteArray& out, qint64 msecs, qint32 utcOffset)
{
    out += "{\"time\":\"";
    out += CsvExport::timeText(msecs, utcOffset).toLatin1();
    out += '"';
}

const char* flag(bool on)
{
    return on ? "true" : "false";
}

} // namespace

namespace Payloads {

QByteArray angles(qint64 msecs, qint32 utcOffset, double x, double y)
{
    QByteArray out;
    out.reserve(112);
    timeField(out, msecs, utcOffset);
    out += ",\"x\":";
    number(out, x);
    out += ",\"y\":";
    number(out, y);
    out += ",\"x_valid\":";
    out += flag(std::isfinite(x));
    out += ",\"y_valid\":";
    out += flag(std::isfinite(y));
    out += '}';
    return out;
}

QByteArray tobar(qint64 msecs, qint32 utcOffset, double value, bool inch)
{
    QByteArray out;
    timeField(out, msecs, utcOffset);
    out += ",\"value\":";
    number(out, value);
    out += inch ? ",\"unit\":\"inch\"" : ",\"unit\":\"mm\"";
    out += ",\"valid\":";
    out += flag(std::isfinite(value));
    out += '}';
    return out;
}

QByteArray line(int table, qint32 line, const QStringList& cells, const LineRecord* record)
{
    QJsonObject o{{QStringLiteral("table"), table},
                  {QStringLiteral("line"), line},
                  {QStringLiteral("cells"), QJsonArray::fromStringList(cells)}};
    if (record) {
        QJsonObject r;
        r.insert(QStringLiteral("time"),
                 record->hasTime() ? QJsonValue(CsvExport::timeText(record->msecs, record->utcOffset))
                                   : QJsonValue(QJsonValue::Null));
        if (record->source == LineRecord::Source::Tobar) {
            r.insert(QStringLiteral("unit"), record->inch ? QStringLiteral("inch") : QStringLiteral("mm"));
            r.insert(QStringLiteral("value"), json(record->x));
        } else {
            r.insert(QStringLiteral("unit"), record->unit ? QJsonValue(CsvExport::unitName(*record->unit))
                                                          : QJsonValue(QJsonValue::Null));
            r.insert(QStringLiteral("x"), json(record->x));
            r.insert(QStringLiteral("y"), json(record->y));
            r.insert(QStringLiteral("zero_x"), json(record->zeroX));
            r.insert(QStringLiteral("zero_y"), json(record->zeroY));
        }
        r.insert(QStringLiteral("cause"), CsvExport::sourceName(record->source));
        o.insert(QStringLiteral("record"), r);
    } else {
        o.insert(QStringLiteral("record"), QJsonValue(QJsonValue::Null));
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray online(const QString& mode, const QString& device)
{
    const QJsonObject o{{QStringLiteral("state"), QStringLiteral("online")},
                        {QStringLiteral("mode"), mode},
                        {QStringLiteral("device"), device.isEmpty() ? QJsonValue() : QJsonValue(device)},
                        {QStringLiteral("version"), version()}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray offline()
{
    return QByteArrayLiteral("{\"state\":\"offline\"}");
}

QString version()
{
    return QStringLiteral(TARNOLUX_VERSION);
}

} // namespace Payloads
