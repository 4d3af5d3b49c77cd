#include "analysis/straightnessjob.h"

#include "platform/savefile.h"
#include "settings/settingkeys.h"
#include "settings/settingvalues.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>

#include <algorithm>
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
    // The member's object, when there is one; a member of another type fails.
    std::optional<QJsonObject> object(const char* name)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (v.isUndefined())
            return std::nullopt;
        if (!v.isObject()) {
            fail(name, QStringLiteral("an object"));
            return std::nullopt;
        }
        return v.toObject();
    }
    // Whole numbers from min to max, as many as there are.
    void wholes(const char* name, std::vector<int>& out, int min, int max)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (v.isUndefined())
            return;
        std::vector<int> values;
        const QJsonArray array = v.toArray();
        for (const QJsonValue& item : array) {
            const double d = item.toDouble(NAN);
            if (!item.isDouble() || d != std::floor(d) || d < min || d > max)
                return fail(name, QStringLiteral("a list of whole numbers from %1 to %2").arg(min).arg(max));
            values.push_back(static_cast<int>(d));
        }
        if (!v.isArray())
            return fail(name, QStringLiteral("a list of whole numbers from %1 to %2").arg(min).arg(max));
        out = values;
    }
    void take(const Reader& inner)
    {
        if (m_error.isEmpty())
            m_error = inner.m_error;
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

const QStringList& kindTexts()
{
    static const QStringList texts{QStringLiteral("union jack"), QStringLiteral("grid")};
    return texts;
}

const QStringList& gradeTexts()
{
    static const QStringList texts{QStringLiteral("none"), QStringLiteral("AA"), QStringLiteral("A"),
                                   QStringLiteral("B")};
    return texts;
}

QJsonObject plateJson(const PlatePlan& plan)
{
    QJsonObject o;
    o.insert(QStringLiteral("kind"), kindTexts().at(plan.kind == PlateGeometry::Kind::Grid ? 1 : 0));
    o.insert(QStringLiteral("plateLength"), number(plan.plateLength));
    o.insert(QStringLiteral("plateWidth"), number(plan.plateWidth));
    o.insert(QStringLiteral("stepsX"), plan.stepsX);
    o.insert(QStringLiteral("stepsY"), plan.stepsY);
    o.insert(QStringLiteral("diagonalBase"), number(plan.diagonalBase));
    o.insert(QStringLiteral("rows"), plan.rows);
    o.insert(QStringLiteral("cols"), plan.cols);
    o.insert(QStringLiteral("colBase"), number(plan.colBase));
    o.insert(QStringLiteral("grade"), gradeTexts().at(static_cast<int>(plan.grade)));
    QJsonArray tables;
    for (const int t : plan.lineTables)
        tables.append(t);
    o.insert(QStringLiteral("lineTables"), tables);
    return o;
}

PlatePlan plateFromJson(const QJsonObject& o, Reader& outer)
{
    PlatePlan plan;
    Reader r(o);
    int kind = plan.kind == PlateGeometry::Kind::Grid ? 1 : 0;
    r.choice("kind", kind, kindTexts());
    plan.kind = kind == 1 ? PlateGeometry::Kind::Grid : PlateGeometry::Kind::UnionJack;
    r.number("plateLength", plan.plateLength, false, 0);
    r.number("plateWidth", plan.plateWidth, false, 0);
    r.whole("stepsX", plan.stepsX, 0, PlateGeometry::MaxReadings);
    r.whole("stepsY", plan.stepsY, 0, PlateGeometry::MaxReadings);
    r.number("diagonalBase", plan.diagonalBase, false, 0);
    r.whole("rows", plan.rows, 0, PlateGeometry::MaxGridLines);
    r.whole("cols", plan.cols, 0, PlateGeometry::MaxGridLines);
    r.number("colBase", plan.colBase, false, 0);
    int grade = static_cast<int>(plan.grade);
    r.choice("grade", grade, gradeTexts());
    plan.grade = static_cast<PlateUncertainty::Grade>(grade);
    r.wholes("lineTables", plan.lineTables, 0, MaxTables);
    outer.take(r);
    return plan;
}
} // namespace

PlateGeometry PlatePlan::geometry(double base) const
{
    if (kind == PlateGeometry::Kind::Grid)
        return PlateGeometry::grid(rows, cols, base, colBase);
    if (stepsX <= 0 || stepsY <= 0)
        return PlateGeometry::unionJackForPlate(plateLength, plateWidth, base, diagonalBase);
    // The diagonals take as many of their steps as come nearest to the corners.
    const double diagonal = std::hypot(stepsX * base, stepsY * base);
    const double step = diagonalBase > 0 ? diagonalBase : base;
    const int nd = step > 0 ? static_cast<int>(std::clamp(std::round(diagonal / step), 2.0, 1e9)) : 0;
    return PlateGeometry::unionJack(stepsX, stepsY, nd, base, diagonalBase, plateLength, plateWidth);
}

std::vector<StraightnessJob::Pass> StraightnessJob::passes() const
{
    std::vector<Pass> out;
    if (plate) {
        const PlateGeometry g = plate->geometry(baseLength);
        for (size_t i = 0; i < g.lines().size(); ++i) {
            const PlateGeometry::Line& line = g.lines()[i];
            out.push_back({passTable(static_cast<int>(i)), line.readings, false, line.base, line.title});
        }
        return out;
    }
    const int n = readingCount();
    out.push_back({forwardTable, n, false, baseLength, {}});
    if (runs == Runs::ForwardBackward)
        out.push_back({backwardTable, n, true, baseLength, {}});
    return out;
}

int StraightnessJob::passTable(int i) const
{
    if (plate)
        return i >= 0 && i < static_cast<int>(plate->lineTables.size()) ? plate->lineTables[size_t(i)] : 0;
    return i == 0 ? forwardTable : i == 1 ? backwardTable : 0;
}

void StraightnessJob::setPassTable(int i, int table)
{
    if (plate) {
        if (i >= static_cast<int>(plate->lineTables.size()))
            plate->lineTables.resize(size_t(i) + 1, 0);
        if (i >= 0)
            plate->lineTables[size_t(i)] = table;
    } else if (i == 0) {
        forwardTable = table;
    } else if (i == 1) {
        backwardTable = table;
    }
}

std::vector<int> StraightnessJob::tables() const
{
    std::vector<int> out;
    for (const Pass& p : passes()) {
        if (p.table > 0)
            out.push_back(p.table);
    }
    return out;
}

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
    if (plate) {
        const PlateGeometry g = plate->geometry(baseLength);
        if (!g.problem().isEmpty())
            return g.problem();
        if (g.lines().size() > size_t(MaxTables))
            return QStringLiteral(
                       "This plate has %1 lines, more than the %2 tables: measure it as line files.")
                .arg(g.lines().size())
                .arg(MaxTables);
    } else if (const int n = readingCount(); n < 1 || n > MaxReadings) {
        return QStringLiteral("A run needs 1 to %1 stations; this job has %2.").arg(MaxReadings).arg(n);
    }
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
    if (plate)
        o.insert(QStringLiteral("plate"), plateJson(*plate));
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
    if (const std::optional<QJsonObject> plate = r.object("plate"))
        job.plate = plateFromJson(*plate, r);
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
    if (job.plate)
        job.plate->lineTables.clear();
    return job;
}

void StraightnessJob::rememberAsLast() const
{
    StraightnessJob fields = *this;
    fields.id = 0;
    fields.forwardTable = 0;
    fields.backwardTable = 0;
    if (fields.plate)
        fields.plate->lineTables.clear();
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
