#pragma once

#include "analysis/readings.h"
#include "widgets/flexgrid.h"

// A grid's lines as the analysis reads them.
class GridLines : public TableLines {
public:
    explicit GridLines(const FlexGrid& grid) : m_grid(grid) {}
    [[nodiscard]] qint32 count() const override { return m_grid.Rows() - 1; }
    [[nodiscard]] QStringView text(qint32 line, qint32 col) const override
    {
        return m_grid.TextMatrixView(line, col);
    }
    [[nodiscard]] const LineRecord* record(qint32 line) const override { return m_grid.record(line); }

private:
    const FlexGrid& m_grid;
};
