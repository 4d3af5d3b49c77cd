#pragma once

#include "analysis/trendseries.h"

#include <QSize>
#include <QWidget>
#include <QtGlobal>

class MeasurementLog;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QLabel;
class QPushButton;

// Every measurement of the log against time, for the last seconds up to the whole day: following the
// newest point until the operator pans or zooms.
class TrendPage : public QWidget {
    Q_OBJECT
public:
    // The spans to choose, in ms; 0: everything the log holds.
    static constexpr qint64 Spans[] = {30000, 300000, 3600000, 0};

    TrendPage(const MeasurementLog& log, QWidget* parent = nullptr);

    // How the main window shows values: the plot draws them the same way.
    struct View {
        bool tobar = false;
        AngleUnit unit = AngleUnit::Arcsec;
        double zeroX = 0, zeroY = 0;
        friend bool operator!=(const View& a, const View& b)
        {
            return a.tobar != b.tobar || a.unit != b.unit || a.zeroX != b.zeroX || a.zeroY != b.zeroY;
        }
    };
    // The display tick: while following, the span moves on to the newest point and is drawn again.
    void follow(const View& view);
    [[nodiscard]] bool following() const { return m_following; }
    // Log times of the span shown.
    [[nodiscard]] qint64 shownFrom() const { return m_t0; }
    [[nodiscard]] qint64 shownTo() const { return m_t1; }
    // The text under the plot for a point of the plot's area (pixels).
    void showCursor(const QPoint& at);
    // The PNG size from the store, and into it.
    void restoreInputs();
    void storeInputs() const;
    // The sizes "PNG…" offers, in pixels.
    static constexpr QSize PngSizes[] = {{1280, 720}, {1600, 900}, {1920, 1080}, {2560, 1440}, {3840, 2160}};

private:
    void setFollowing(bool on);
    // The span from the time axis after the operator moved it.
    void takeAxisRange();
    // columns: how many the series is built for; 0: the plot area's width in pixels.
    void draw(int columns = 0);
    [[nodiscard]] QString title() const;
    [[nodiscard]] QSize chosenPngSize() const;
    void exportPng();
    void exportCsv();
    [[nodiscard]] QString unitName() const;

    QComboBox* m_spanBox = nullptr;
    QPushButton* m_followButton = nullptr;
    QCheckBox* m_fixedScaleCheck = nullptr;
    QComboBox* m_pngSizeBox = nullptr;
    QPushButton* m_pngButton = nullptr;
    QPushButton* m_csvButton = nullptr;
    QCustomPlot* m_plot = nullptr;
    QLabel* m_cursorLabel = nullptr;
    const MeasurementLog& m_log;
    View m_view;
    qint64 m_t0 = 0, m_t1 = 0;
    bool m_following = true;
    bool m_drawing = false; // our own changes of the axes, which are not the operator's
    bool m_inch = false;
};
