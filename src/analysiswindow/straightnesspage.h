#pragma once

#include "analysis/straightness.h"

#include <QWidget>
#include <QtGlobal>

#include <array>

class FlexGrid;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableView;
class StationModel;

// The height profile of a guideway from the readings of the current table (or the selected lines), its
// deviation from three reference lines, a plot, the station table, a PDF report and CSV.
class StraightnessPage : public QWidget {
    Q_OBJECT
public:
    explicit StraightnessPage(QWidget* parent = nullptr);
    ~StraightnessPage() override;

    // Evaluates table `number` shown in `grid` again when its lines, the selection, the unit shown or the
    // inputs changed; changedFrom as the grid reported it. fileName: the table's file, if any.
    void follow(const FlexGrid& grid, int number, qint32 changedFrom, bool tobar, AngleUnit unit,
                const QString& fileName);
    [[nodiscard]] const Straightness& result() const { return m_result; }
    [[nodiscard]] Straightness::Reference reference() const;

    QComboBox* ComboAxis = nullptr;
    QDoubleSpinBox* SpinBaseLength = nullptr;
    QComboBox* ComboDirection = nullptr;
    QComboBox* ComboReference = nullptr;
    QLabel* LabelScope = nullptr;
    QLabel* LabelMessage = nullptr;
    std::array<QLabel*, 3> LabelDeviation{}; // end points, least squares, minimum zone
    QCustomPlot* plot = nullptr;
    QTableView* stations = nullptr;
    QPushButton* CommandReport = nullptr;
    QPushButton* CommandCsv = nullptr;

private:
    void evaluate();
    void show();
    void writeReport();
    void writeCsv();

    Straightness m_result;
    StationModel* m_model = nullptr;
    const FlexGrid* m_grid = nullptr;
    int m_number = 0;
    bool m_tobar = false;
    AngleUnit m_unit = AngleUnit::Arcsec;
    QString m_fileName;
    Straightness::Input m_scope; // the lines and unit last evaluated
    bool m_stale = true;         // the inputs changed since
};
