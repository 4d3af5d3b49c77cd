#include "analysis/measurementlog.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

using Log = MeasurementLog;

constexpr qint32 Missing = std::numeric_limits<qint32>::min();
constexpr qint32 Top = std::numeric_limits<qint32>::max();
constexpr int Blocks = Log::ChunkPoints / Log::BlockPoints;
constexpr quint8 InchFlag = 1;
constexpr double MmPerInch = 25.4;
// Far past any clock, yet a span between two such times still fits in 64 bits.
constexpr qint64 TimeLimit = qint64(1) << 60;

qint64 clampTime(qint64 t)
{
    return std::clamp(t, -TimeLimit, TimeLimit);
}

qint32 encode(double v, double scale)
{
    const double s = std::nearbyint(v * scale);
    return std::fabs(s) <= double(Top) ? static_cast<qint32>(s) : Missing;
}

double decode(qint32 v, double scale)
{
    return v == Missing ? Log::NoValue : v / scale;
}

// Min and max of both channels over some points; a channel with no value has max == Missing.
struct Summary {
    std::array<qint32, 2> min{Top, Top};
    std::array<qint32, 2> max{Missing, Missing};

    void add(qint32 a, qint32 b)
    {
        // Missing is below every value: it never raises a max, and it must not lower a min.
        min[0] = std::min(min[0], a == Missing ? Top : a);
        max[0] = std::max(max[0], a);
        min[1] = std::min(min[1], b == Missing ? Top : b);
        max[1] = std::max(max[1], b);
    }
    void add(const Summary& s)
    {
        for (size_t i = 0; i < 2; ++i) {
            min[i] = std::min(min[i], s.min[i]);
            max[i] = std::max(max[i], s.max[i]);
        }
    }
    [[nodiscard]] Log::Range range(size_t channel, double scale) const
    {
        if (max[channel] == Missing)
            return {};
        return {min[channel] / scale, max[channel] / scale};
    }
};

struct Chunk {
    qint64 base = 0;  // time of its first point; the points keep 32-bit offsets from it
    qint64 first = 0; // index of its first point since the log began
    int count = 0;
    Summary whole;
    std::array<Summary, Blocks> block{};
    std::array<quint32, Log::ChunkPoints> offset{};
    std::array<qint32, Log::ChunkPoints> a{};
    std::array<qint32, Log::ChunkPoints> b{};
    std::array<quint8, Log::ChunkPoints> flags{};

    [[nodiscard]] qint64 time(int k) const { return base + offset[size_t(k)]; }
    [[nodiscard]] qint64 last() const { return time(count - 1); }
    [[nodiscard]] qint64 end() const { return first + count; }
    void reset(qint64 baseTime, qint64 firstIndex)
    {
        base = baseTime;
        first = firstIndex;
        count = 0;
        whole = {};
        block.fill({});
    }
};

Log::AnglePoint anglePoint(const Chunk& c, int k)
{
    return {c.time(k), decode(c.a[size_t(k)], Log::AngleScale), decode(c.b[size_t(k)], Log::AngleScale)};
}

Log::TobarPoint tobarPoint(const Chunk& c, int k)
{
    return {c.time(k), decode(c.b[size_t(k)], Log::TobarScale), (c.flags[size_t(k)] & InchFlag) != 0};
}

} // namespace

// One kind of point in time order, in chunks; points are addressed by their index since the log began.
class MeasurementLog::Series {
public:
    explicit Series(qint64 maxChunks) : m_maxChunks(maxChunks) {}

    [[nodiscard]] qint64 begin() const { return m_chunks.empty() ? m_end : m_chunks.front()->first; }
    [[nodiscard]] qint64 end() const { return m_end; }
    [[nodiscard]] const Chunk* newest() const { return m_chunks.empty() ? nullptr : m_chunks.back().get(); }
    [[nodiscard]] const Chunk* oldest() const { return m_chunks.empty() ? nullptr : m_chunks.front().get(); }
    [[nodiscard]] qint64 chunkCount() const { return static_cast<qint64>(m_chunks.size()); }

    void append(qint64 time, qint32 a, qint32 b, quint8 flags)
    {
        Chunk* c = m_chunks.empty() ? nullptr : m_chunks.back().get();
        if (c)
            time = std::max(time, c->last());
        if (!c || c->count == ChunkPoints || time - c->base > qint64(std::numeric_limits<quint32>::max())) {
            std::unique_ptr<Chunk> fresh;
            if (chunkCount() >= m_maxChunks) {
                fresh = std::move(m_chunks.front()); // the oldest goes; its memory serves again
                m_chunks.pop_front();
            } else {
                fresh = std::make_unique<Chunk>();
            }
            fresh->reset(time, m_end);
            m_chunks.push_back(std::move(fresh));
            c = m_chunks.back().get();
        }
        const auto k = static_cast<size_t>(c->count++);
        c->offset[k] = static_cast<quint32>(time - c->base);
        c->a[k] = a;
        c->b[k] = b;
        c->flags[k] = flags;
        c->block[k / BlockPoints].add(a, b);
        c->whole.add(a, b);
        ++m_end;
    }

    // Index of the first point at or after time.
    [[nodiscard]] qint64 lowerBound(qint64 time) const
    {
        const auto it = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                             [time](const auto& c) { return c->last() < time; });
        if (it == m_chunks.end())
            return m_end;
        const Chunk& c = **it;
        if (time <= c.base)
            return c.first;
        const auto p = std::lower_bound(c.offset.begin(), c.offset.begin() + c.count,
                                        static_cast<quint32>(time - c.base));
        return c.first + (p - c.offset.begin());
    }

    // Points with t0 <= time <= t1, as indexes [i, j).
    [[nodiscard]] std::pair<qint64, qint64> span(qint64 t0, qint64 t1) const
    {
        t0 = clampTime(t0);
        t1 = clampTime(t1);
        if (t1 < t0)
            return {0, 0};
        return {lowerBound(t0), lowerBound(t1 + 1)};
    }

    // Min and max over the points [i, j): whole chunks and blocks from their summaries, the ends point by
    // point.
    [[nodiscard]] Summary summary(qint64 i, qint64 j) const
    {
        Summary s;
        for (size_t ci = chunkIndex(i); ci < m_chunks.size() && m_chunks[ci]->first < j; ++ci) {
            const Chunk& c = *m_chunks[ci];
            const int from = static_cast<int>(std::max<qint64>(i - c.first, 0));
            const int to = static_cast<int>(std::min<qint64>(j - c.first, c.count));
            if (from == 0 && to == c.count) {
                s.add(c.whole);
                continue;
            }
            int k = from;
            while (k < to) {
                const int blockEnd = std::min((k / BlockPoints + 1) * BlockPoints, c.count);
                if (k % BlockPoints == 0 && blockEnd <= to) {
                    s.add(c.block[size_t(k / BlockPoints)]);
                    k = blockEnd;
                    continue;
                }
                for (const int stop = std::min(blockEnd, to); k < stop; ++k)
                    s.add(c.a[size_t(k)], c.b[size_t(k)]);
            }
        }
        return s;
    }

    [[nodiscard]] std::vector<Summary> columns(qint64 t0, qint64 t1, int n) const
    {
        if (n < 1 || t1 < t0)
            return {};
        n = std::min(n, MaxColumns);
        std::vector<Summary> out(static_cast<size_t>(n));
        qint64 from = lowerBound(columnStart(t0, t1, n, 0));
        for (int c = 0; c < n && from < m_end; ++c) {
            const qint64 to = lowerBound(columnStart(t0, t1, n, c + 1));
            if (to > from)
                out[size_t(c)] = summary(from, to);
            from = to;
        }
        return out;
    }

    // Calls visit(chunk, k) for the points [i, j) until it returns false.
    template <typename F> void visit(qint64 i, qint64 j, F&& visit) const
    {
        for (size_t ci = chunkIndex(i); ci < m_chunks.size() && m_chunks[ci]->first < j; ++ci) {
            const Chunk& c = *m_chunks[ci];
            const int to = static_cast<int>(std::min<qint64>(j - c.first, c.count));
            for (int k = static_cast<int>(std::max<qint64>(i - c.first, 0)); k < to; ++k) {
                if (!visit(c, k))
                    return;
            }
        }
    }

    // The same for the points of [t0, t1], each made by point(chunk, k).
    template <typename Point, typename F> void visitTimes(qint64 t0, qint64 t1, Point point, F&& visit) const
    {
        const auto [i, j] = span(t0, t1);
        this->visit(i, j, [&](const Chunk& c, int k) { return visit(point(c, k)); });
    }

    // The points of [t0, t1] made by point(chunk, k), or none when there are more than limit.
    template <typename Point> auto points(qint64 t0, qint64 t1, qint64 limit, Point point) const
    {
        const auto [i, j] = span(t0, t1);
        std::vector<decltype(point(std::declval<const Chunk&>(), 0))> out;
        if (j - i > limit)
            return out;
        out.reserve(static_cast<size_t>(j - i));
        visit(i, j, [&](const Chunk& c, int k) {
            out.push_back(point(c, k));
            return true;
        });
        return out;
    }

    // The newest point made by point(chunk, k); none when there is none.
    template <typename Point> auto last(Point point) const
    {
        const Chunk* c = newest();
        return c ? std::optional(point(*c, c->count - 1)) : std::nullopt;
    }

    // The columns' summaries, each as a range made by range(summary).
    template <typename Range> auto columnRanges(qint64 t0, qint64 t1, int n, Range range) const
    {
        const std::vector<Summary> summaries = columns(t0, t1, n);
        std::vector<decltype(range(Summary{}))> out;
        out.reserve(summaries.size());
        for (const Summary& s : summaries)
            out.push_back(range(s));
        return out;
    }

private:
    [[nodiscard]] size_t chunkIndex(qint64 i) const
    {
        const auto it = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                             [i](const auto& c) { return c->end() <= i; });
        return static_cast<size_t>(it - m_chunks.begin());
    }

    std::deque<std::unique_ptr<Chunk>> m_chunks;
    qint64 m_maxChunks;
    qint64 m_end = 0;
};

MeasurementLog::MeasurementLog(qint64 chunks)
    : m_maxChunks(std::clamp<qint64>(chunks, 1, qint64(1) << 20)),
      m_angles(std::make_unique<Series>(m_maxChunks)), m_tobar(std::make_unique<Series>(m_maxChunks))
{
    m_startWall = QDateTime::currentMSecsSinceEpoch();
}

MeasurementLog::~MeasurementLog() = default;

qint64 MeasurementLog::now() const
{
    return QDateTime::currentMSecsSinceEpoch() - m_startWall;
}

void MeasurementLog::appendAngles(qint64 time, double x, double y, qint16 status)
{
    appendAnglesAt(time, (status & 1) ? x : NoValue, (status & 2) ? y : NoValue);
}

void MeasurementLog::appendAnglesAt(qint64 time, double x, double y)
{
    m_angles->append(clampTime(time), encode(x, AngleScale), encode(y, AngleScale), 0);
}

void MeasurementLog::appendTobarAt(qint64 time, double value, bool inch)
{
    // The summaries hold millimetres so that a change of unit does not break the curve.
    const qint32 asArrived = encode(value, TobarScale);
    const qint32 mm = asArrived == Missing ? Missing : encode(inch ? value * MmPerInch : value, TobarScale);
    m_tobar->append(clampTime(time), mm, mm == Missing ? Missing : asArrived, inch ? InchFlag : 0);
}

void MeasurementLog::markStoredAt(qint64 time)
{
    time = clampTime(time);
    if (!m_marks.empty())
        time = std::max(time, m_marks.back());
    m_marks.push_back(time);
    if (markCount() > MaxMarks)
        m_marks.pop_front();
}

const MeasurementLog::Series& MeasurementLog::series(Kind kind) const
{
    return kind == Kind::Angles ? *m_angles : *m_tobar;
}

qint64 MeasurementLog::count(Kind kind) const
{
    return series(kind).end() - series(kind).begin();
}

qint64 MeasurementLog::firstTime(Kind kind) const
{
    const Chunk* c = series(kind).oldest();
    return c ? c->base : 0;
}

qint64 MeasurementLog::lastTime(Kind kind) const
{
    const Chunk* c = series(kind).newest();
    return c ? c->last() : 0;
}

std::optional<MeasurementLog::AnglePoint> MeasurementLog::lastAngles() const
{
    return m_angles->last(anglePoint);
}

std::optional<MeasurementLog::TobarPoint> MeasurementLog::lastTobar() const
{
    return m_tobar->last(tobarPoint);
}

qint64 MeasurementLog::countBetween(Kind kind, qint64 t0, qint64 t1) const
{
    const auto [i, j] = series(kind).span(t0, t1);
    return j - i;
}

std::vector<MeasurementLog::AnglePoint> MeasurementLog::anglePoints(qint64 t0, qint64 t1, qint64 limit) const
{
    return m_angles->points(t0, t1, limit, anglePoint);
}

std::vector<MeasurementLog::TobarPoint> MeasurementLog::tobarPoints(qint64 t0, qint64 t1, qint64 limit) const
{
    return m_tobar->points(t0, t1, limit, tobarPoint);
}

void MeasurementLog::visitAngles(qint64 t0, qint64 t1,
                                 const std::function<bool(const AnglePoint&)>& visit) const
{
    m_angles->visitTimes(t0, t1, anglePoint, visit);
}

void MeasurementLog::visitTobar(qint64 t0, qint64 t1,
                                const std::function<bool(const TobarPoint&)>& visit) const
{
    m_tobar->visitTimes(t0, t1, tobarPoint, visit);
}

std::vector<MeasurementLog::AngleColumn> MeasurementLog::angleColumns(qint64 t0, qint64 t1, int n) const
{
    return m_angles->columnRanges(t0, t1, n, [](const Summary& s) {
        return AngleColumn{s.range(0, AngleScale), s.range(1, AngleScale)};
    });
}

std::vector<MeasurementLog::Range> MeasurementLog::tobarColumns(qint64 t0, qint64 t1, int n, bool inch) const
{
    const double scale = inch ? TobarScale * MmPerInch : TobarScale;
    return m_tobar->columnRanges(t0, t1, n, [scale](const Summary& s) { return s.range(0, scale); });
}

qint64 MeasurementLog::columnStart(qint64 t0, qint64 t1, int n, int c)
{
    t0 = clampTime(t0);
    t1 = clampTime(t1);
    n = std::clamp(n, 1, MaxColumns);
    c = std::clamp(c, 0, n);
    // Column c starts at t0 + ceil(span * c / n), so the time t0 + d lies in column d * n / span.
    const qint64 span = std::max<qint64>(t1 - t0 + 1, 0);
    const qint64 q = span / n;
    const qint64 r = span % n;
    return t0 + q * c + (r * c + n - 1) / n;
}

std::vector<qint64> MeasurementLog::marks(qint64 t0, qint64 t1) const
{
    if (t1 < t0)
        return {};
    return {std::lower_bound(m_marks.begin(), m_marks.end(), t0),
            std::upper_bound(m_marks.begin(), m_marks.end(), t1)};
}

qint64 MeasurementLog::bytes() const
{
    const qint64 perChunk = sizeof(Chunk) + sizeof(std::unique_ptr<Chunk>);
    return (m_angles->chunkCount() + m_tobar->chunkCount()) * perChunk +
           markCount() * qint64(sizeof(qint64)) + 2 * qint64(sizeof(Series)) + qint64(sizeof(MeasurementLog));
}
