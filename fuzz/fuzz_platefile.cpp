// A plate's line file: arbitrary bytes read as readings, which then serve every line of a small Union Jack
// and a grid. Whatever they hold, the evaluation ends with finite figures, the zone no wider than the plane.
#include "fuzzcheck.h"

#include "analysis/flatness.h"
#include "analysis/platefiles.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {
void evaluate(const PlateGeometry& geometry, const std::vector<double>& readings)
{
    PlateReadings plate;
    for (const PlateGeometry::Line& line : geometry.lines()) {
        std::vector<double> r;
        for (int i = 0; i < line.readings; ++i)
            r.push_back(readings[static_cast<size_t>(i) % readings.size()]);
        plate.lines.push_back(r);
    }
    const Flatness f = Flatness::evaluate(geometry, plate);
    FUZZ_CHECK(f.done());
    using F = Flatness::Figure;
    FUZZ_CHECK(std::isfinite(f.figure(F::LeastSquaresPlane)) && std::isfinite(f.figure(F::MinimumZone)));
    FUZZ_CHECK(f.figure(F::MinimumZone) <= f.figure(F::LeastSquaresPlane) * (1 + 1e-9));
    FUZZ_CHECK(std::isfinite(f.figure(F::Classic)) == (geometry.kind() == PlateGeometry::Kind::UnionJack));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto readings = PlateFiles::parse(bytes, QStringLiteral("f.txt"), &error);
    FUZZ_CHECK(readings.has_value() == error.isEmpty());
    if (!readings) {
        FUZZ_CHECK(error.startsWith(QLatin1String("f.txt:")));
        return 0;
    }
    const int n = static_cast<int>(std::min<size_t>(readings->size(), 12));
    if (n >= 2)
        evaluate(PlateGeometry::unionJack(n, n, n, 100, 100 * std::sqrt(2.0)), *readings);
    evaluate(PlateGeometry::grid(n + 1, 3, 50, 40), *readings);
    return 0;
}
