#include "analysis/straightnessjob.h"

#include "platform/savefile.h"
#include "settings/settingkeys.h"
#include "settings/settingvalues.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>

#include <cmath>

namespace {
const int FormatVersion = 1;
const qint64 MaxJobFileBytes = 1 << 20; // a job is a few hundred bytes; anything this large is not one
const int MaxTables = 10;

QString runsText(StraightnessJob::Runs runs)
{
    return runs == StraightnessJob::Runs::Forward ? QStringLiteral("forward")
                                                  : QStringLiteral("forward and backward");
}

QString referenceText(Straightness::Reference r)
{
    switch (r) {
    case Straightness::Reference::EndPoints:
        return QStringLiteral("end points");
    case Straightness::Reference::LeastSquares:
        return QStringLiteral("least squares");
    case Straightness::Reference::MinimumZone:
        break;
    }
    return QStringLiteral("minimum zone");
}

QJsonValue number(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

// Reads the members of one object, remembering the first member that is not what it must be.
class Reader {
public:
    explicit Reader(const QJsonObject& object) : m_object(object) {}

    void text(const char* name, QString& out)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (v.isUndefined())
            return;
        if (!v.isString())
            return fail(name, QStringLiteral("a text"));
        out = v.toString();
    }
    // nullable: null reads as NaN.
    void number(const char* name, double& out, bool nullable = false, double min = -HUGE_VAL)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (v.isUndefined())
            return;
        if (nullable && v.isNull()) {
            out = StraightnessJob::NaN;
            return;
        }
        if (!v.isDouble() || !(v.toDouble() >= min))
            return fail(name,
                        min == 0 ? QStringLiteral("a number of at least 0") : QStringLiteral("a number"));
        out = v.toDouble();
    }
    template <typename T> void whole(const char* name, T& out, double min, double max)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (v.isUndefined())
            return;
        const double d = v.toDouble(NAN);
        if (!v.isDouble() || d != std::floor(d) || d < min || d > max)
            return fail(name, QStringLiteral("a whole number from %1 to %2").arg(min).arg(max, 0, 'f', 0));
        out = static_cast<T>(d);
    }
    // One of the texts; its index.
    void choice(const char* name, int& out, const QStringList& texts)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (v.isUndefined())
            return;
        const qsizetype at = v.isString() ? texts.indexOf(v.toString()) : -1;
        if (at < 0)
            return fail(name, QStringLiteral("one of \"%1\"").arg(texts.join(QStringLiteral("\", \""))));
        out = static_cast<int>(at);
    }
    [[nodiscard]] const QString& error() const { return m_error; }

private:
    void fail(const char* name, const QString& what)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("\"%1\" must be %2.").arg(QLatin1String(name), what);
    }
    const QJsonObject& m_object;
    QString m_error;
};
} // namespace

int StraightnessJob::readingCount() const
{
    if (lineLength > 0 && baseLength > 0) {
        const double n = std::round(lineLength / baseLength);
        return n > 1e9 ? 1000000000 : static_cast<int>(n);
    }
    return readings;
}

QString StraightnessJob::problem() const
{
    if (!(baseLength > 0 && baseLength <= Straightness::MaxBaseLength))
        return QStringLiteral("The base length must be a number of millimetres above 0 and at most %1.")
            .arg(Straightness::MaxBaseLength, 0, 'f', 0);
    if (!(lineLength >= 0))
        return QStringLiteral("The line length must not be negative.");
    const int n = readingCount();
    if (n < 1 || n > MaxReadings)
        return QStringLiteral("A run needs 1 to %1 stations; this job has %2.").arg(MaxReadings).arg(n);
    if (!(settleSeconds > 0))
        return QStringLiteral("The settle time must be above 0 seconds.");
    if (!(settleBand > 0))
        return QStringLiteral("The settle band must be above 0 arcsec.");
    if (!(angleUncertaintyA >= 0) || !(angleUncertaintyB >= 0) || !(baseLengthUncertainty >= 0))
        return QStringLiteral("An uncertainty must not be negative.");
    if (!std::isnan(tolerance) && !(tolerance > 0))
        return QStringLiteral("The tolerance must be above 0 \u00b5m, or none.");
    if (axis != 1 && axis != 2)
        return QStringLiteral("The axis must be X or Y.");
    return {};
}

QByteArray StraightnessJob::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), FormatVersion);
    o.insert(QStringLiteral("id"), static_cast<double>(id));
    o.insert(QStringLiteral("objectId"), objectId);
    o.insert(QStringLiteral("objectDescription"), objectDescription);
    o.insert(QStringLiteral("operator"), operatorName);
    o.insert(QStringLiteral("instrumentType"), instrumentType);
    o.insert(QStringLiteral("instrumentSerial"), instrumentSerial);
    o.insert(QStringLiteral("angleUncertaintyA"), number(angleUncertaintyA));
    o.insert(QStringLiteral("angleUncertaintyB"), number(angleUncertaintyB));
    o.insert(QStringLiteral("temperature"), number(temperature));
    o.insert(QStringLiteral("axis"), axis == 2 ? QStringLiteral("Y") : QStringLiteral("X"));
    o.insert(QStringLiteral("baseLength"), number(baseLength));
    o.insert(QStringLiteral("baseLengthUncertainty"), number(baseLengthUncertainty));
    o.insert(QStringLiteral("readings"), readings);
    o.insert(QStringLiteral("lineLength"), number(lineLength));
    o.insert(QStringLiteral("runs"), runsText(runs));
    o.insert(QStringLiteral("tolerance"), number(tolerance));
    o.insert(QStringLiteral("reference"), referenceText(reference));
    o.insert(QStringLiteral("settleSeconds"), number(settleSeconds));
    o.insert(QStringLiteral("settleBand"), number(settleBand));
    o.insert(QStringLiteral("remarks"), remarks);
    o.insert(QStringLiteral("forwardTable"), forwardTable);
    o.insert(QStringLiteral("backwardTable"), backwardTable);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<StraightnessJob> StraightnessJob::fromJson(const QByteArray& json, QString* error)
{
    const auto failed = [error](const QString& text) -> std::optional<StraightnessJob> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return failed(
            QStringLiteral("Not a job file: %1 at byte %2.").arg(parse.errorString()).arg(parse.offset));
    if (!doc.isObject())
        return failed(QStringLiteral("Not a job file: it holds no object."));
    const QJsonObject o = doc.object();
    Reader r(o);
    int format = FormatVersion;
    r.whole("format", format, 1, 1e9);
    if (r.error().isEmpty() && format > FormatVersion)
        return failed(QStringLiteral("The job file has format %1; this program reads format %2.")
                          .arg(format)
                          .arg(FormatVersion));

    StraightnessJob job;
    r.whole("id", job.id, 0, 4294967295.0);
    r.text("objectId", job.objectId);
    r.text("objectDescription", job.objectDescription);
    r.text("operator", job.operatorName);
    r.text("instrumentType", job.instrumentType);
    r.text("instrumentSerial", job.instrumentSerial);
    r.number("angleUncertaintyA", job.angleUncertaintyA, false, 0);
    r.number("angleUncertaintyB", job.angleUncertaintyB, false, 0);
    r.number("temperature", job.temperature, true);
    int axis = job.axis - 1;
    r.choice("axis", axis, {QStringLiteral("X"), QStringLiteral("Y")});
    job.axis = axis + 1;
    r.number("baseLength", job.baseLength);
    r.number("baseLengthUncertainty", job.baseLengthUncertainty, false, 0);
    r.whole("readings", job.readings, 0, MaxReadings);
    r.number("lineLength", job.lineLength, false, 0);
    int runs = static_cast<int>(job.runs);
    r.choice("runs", runs, {runsText(Runs::Forward), runsText(Runs::ForwardBackward)});
    job.runs = static_cast<Runs>(runs);
    r.number("tolerance", job.tolerance, true);
    int reference = static_cast<int>(job.reference);
    QStringList references;
    for (const Straightness::Reference ref : Straightness::References)
        references << referenceText(ref);
    r.choice("reference", reference, references);
    job.reference = static_cast<Straightness::Reference>(reference);
    r.number("settleSeconds", job.settleSeconds);
    r.number("settleBand", job.settleBand);
    r.text("remarks", job.remarks);
    r.whole("forwardTable", job.forwardTable, 0, MaxTables);
    r.whole("backwardTable", job.backwardTable, 0, MaxTables);
    if (!r.error().isEmpty())
        return failed(r.error());
    return job;
}

bool StraightnessJob::save(const QString& path, QString* error) const
{
    QSaveFile file(path);
    const QByteArray json = toJson();
    if (!file.open(QIODevice::WriteOnly) || !finishSave(file, file.write(json) == json.size())) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<StraightnessJob> StraightnessJob::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > MaxJobFileBytes) {
        if (error)
            *error = QStringLiteral("%1 is too large for a job file.").arg(path);
        return std::nullopt;
    }
    return fromJson(file.readAll(), error);
}

StraightnessJob StraightnessJob::last()
{
    const QString text = SettingValues::readText(SettingKeys::LastJob);
    StraightnessJob job = fromJson(text.toUtf8(), nullptr).value_or(StraightnessJob{});
    job.id = 0;
    job.forwardTable = 0;
    job.backwardTable = 0;
    return job;
}

void StraightnessJob::rememberAsLast() const
{
    StraightnessJob fields = *this;
    fields.id = 0;
    fields.forwardTable = 0;
    fields.backwardTable = 0;
    // One line: the settings store keeps it as a single value.
    const QByteArray compact = QJsonDocument::fromJson(fields.toJson()).toJson(QJsonDocument::Compact);
    SettingValues::writeText(SettingKeys::LastJob, QString::fromUtf8(compact));
}

void JobBook::put(const StraightnessJob& job)
{
    for (StraightnessJob& j : m_jobs) {
        if (j.id == job.id) {
            j = job;
            emit changed(job.id);
            return;
        }
    }
    m_jobs.push_back(job);
    emit changed(job.id);
}

const StraightnessJob* JobBook::find(quint32 id) const
{
    for (const StraightnessJob& j : m_jobs) {
        if (j.id == id)
            return &j;
    }
    return nullptr;
}
