#pragma once

#include "analysis/plateclassic.h"
#include "analysis/plategeometry.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A plate's lines as a folder of text files, one per line named after it (NW-SE.txt .. N-S.txt for a
// Union Jack, row-<i>.txt and col-<j>.txt for a grid): readings in arcsec, one per text line; lines that
// start with # and blank lines are skipped; CR LF, CR and LF all end a line. Every error names the file,
// and the line where there is one.
namespace PlateFiles {

// The readings of one file's text; name is the file's name for the error.
[[nodiscard]] std::optional<std::vector<double>> parse(const QByteArray& text, const QString& name,
                                                       QString* error);
[[nodiscard]] std::optional<std::vector<double>> read(const QString& path, QString* error);

struct Plate {
    PlateGeometry geometry;
    PlateReadings readings;
};

// A Union Jack's eight files; its steps come from their readings. diagonalBase 0 or NaN: the diagonals
// reach the corners.
[[nodiscard]] std::optional<Plate> readUnionJack(const QString& folder, double base, double diagonalBase,
                                                 QString* error);
// A grid's files row-1.txt .. row-<r>.txt and col-1.txt .. col-<c>.txt: r rows and c columns of stations.
[[nodiscard]] std::optional<Plate> readGrid(const QString& folder, double rowBase, double colBase,
                                            QString* error);

// One file per line into the folder (made when missing), a comment naming the line first.
[[nodiscard]] bool write(const QString& folder, const PlateGeometry& geometry, const PlateReadings& readings,
                         QString* error);

} // namespace PlateFiles
