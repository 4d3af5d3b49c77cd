#pragma once

#include "analysis/straightness.h"

#include <QWidget>
#include <QtGlobal>

#include <array>
#include <utility>

class QComboBox;
class Table;
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

    // Evaluates table `number` again when its lines, the selection, the unit shown or the inputs changed;
    // selected: the operator's current line and the selection's other end; changedFrom: the first line
    // changed since the last call. fileName: the table's file, if any.
    void follow(const Table& table, int number, std::pair<qint32, qint32> selected, qint32 changedFrom,
                bool tobar, AngleUnit unit, const QString& fileName);
    [[nodiscard]] const Straightness& result() const { return m_result; }
    [[nodiscard]] Straightness::Reference reference() const;
    // Axis, base length and direction from the store, and into it.
    void restoreInputs();
    void storeInputs() const;

private:
    void evaluate();
    void show();
    void writeReport();
    void writeCsv();

    QComboBox* m_axisBox = nullptr;
    QDoubleSpinBox* m_baseLengthBox = nullptr;
    QComboBox* m_directionBox = nullptr;
    QComboBox* m_referenceBox = nullptr;
    QLabel* m_scopeLabel = nullptr;
    QLabel* m_messageLabel = nullptr;
    std::array<QLabel*, 3> m_deviationLabels{}; // end points, least squares, minimum zone
    QCustomPlot* m_plot = nullptr;
    QTableView* m_stationTable = nullptr;
    QPushButton* m_reportButton = nullptr;
    QPushButton* m_csvButton = nullptr;
    Straightness m_result;
    StationModel* m_model = nullptr;
    const Table* m_table = nullptr;
    int m_number = 0;
    bool m_tobar = false;
    AngleUnit m_unit = AngleUnit::Arcsec;
    QString m_fileName;
    Straightness::Input m_scope; // the lines and unit last evaluated
    bool m_stale = true;         // the inputs changed since
};
