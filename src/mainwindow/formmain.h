#pragma once

#include "analysis/linerecord.h"
#include "dialogs/formoptions.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <QtGlobal>

#include <array>
#include <memory>

struct AppState;
class AnalysisWindow;
class FormCom;
class Link;
class Publisher;
class PublishDialog;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class Tables;
class TableViews;

// The main window: live angles or the TOBAR value, the ten tables, interval storing, and the buttons that
// open the other windows. It follows the link's signals into the tables and interval storing.
class FormMain : public QWidget, public OptionsHost {
    Q_OBJECT
public:
    FormMain(AppState& state, Link& link, Tables& tables, QWidget* parent = nullptr);
    ~FormMain() override;

    [[nodiscard]] AppState& state() { return m_state; }
    [[nodiscard]] Link& link() { return m_link; }
    [[nodiscard]] Tables& tables() { return m_tables; }
    [[nodiscard]] TableViews& tableViews() { return *m_tableViews; }

    // The 200 ms display tick: the live values or the TOBAR reading, and the layout of a changed mode.
    void displayTick();
    // Starts storing every N-th measurement into the current table, N from "Store every".
    void startStoring();
    [[nodiscard]] bool isStoring() const { return m_isStoring; }
    // Shows the controls of the mode now in use, when it changed since the last layout.
    void layoutForMode();
    [[nodiscard]] AnalysisWindow& analysis() { return *m_analysis; }
    [[nodiscard]] QString dataPath() const { return m_dataPath; }

    // What the instrument link announces.
    // msecs: when the message that reached the interval arrived.
    void haveAngleMsg(qint64 msecs);

    // The connection window if created; connection() creates it without showing it.
    [[nodiscard]] FormCom* connectionLoaded() const;
    FormCom& connection();

    // The publisher that "Publishing (MQTT)" shows and sets; none: the action does nothing.
    void setPublisher(Publisher* publisher) { m_publisher = publisher; }
    // Opens "Publishing (MQTT)", created on first use.
    void showPublishing();

    // The options dialog if loaded; options() loads it without showing it.
    [[nodiscard]] FormOptions* optionsLoaded() const;
    FormOptions& options();

    // The window's outer geometry in twips.
    [[nodiscard]] double windowLeft() const;
    [[nodiscard]] double windowTop() const;
    [[nodiscard]] double windowWidth() const;
    [[nodiscard]] double windowHeight() const;
    void setWindowWidth(double twips);
    void setWindowHeight(double twips) override;
    [[nodiscard]] QWidget* hostWindow() override { return this; }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void connectHandlers();
    void createTableMenu();

    // Start-up and shut-down.
    void load();
    // Until the window is first drawn: once its frame is known, the outer place and size start-up set.
    void keepStartPlace(bool drawn);
    void saveAndClose();

    // Display cycle.
    void setZero();
    void resetZero();
    void toggleAveraging();
    void showInArcsec();
    void showInDegrees();
    void showInDegMinSec();
    void showInMrad();
    void showInMicronsPerMetre();
    // The TOBAR value, its unit, the Go/NG verdict and the reticle from the state.
    void showTobar();

    // Interval storing.
    void stopStoring();
    void applyStoreInterval(double n);
    // Key filter of "Store every": the key code may be changed; 0 discards the key.
    void filterIntervalKey(int& keyAscii);
    void applyTypedInterval();
    [[nodiscard]] double typedInterval() const;

    // Mode layout and resize.
    void applySizeRules();
    void resizeTables(qint16 h);
    void openConnection();
    void readInstrumentMemory();
    // The memory readout button's caption names the instrument of the current mode.
    [[nodiscard]] QString loadButtonCaption() const;
    [[nodiscard]] QSize frameExtra() const;
    [[nodiscard]] QSize largestOuterSize() const;

    // The options dialog and the about box, shown modally with the always-on-top level lifted meanwhile.
    void openOptions();
    void openAbout();

    // Table files and the clipboard.
    void openTable();
    void saveTable();
    void copyTableToClipboard();
    // "Export as CSV…" of the table's right-click menu.
    void exportCsv();

    AppState& m_state;
    Link& m_link;
    Tables& m_tables;
    std::unique_ptr<TableViews> m_tableViews;
    AnalysisWindow* m_analysis = nullptr;
    FormOptions* m_options = nullptr;
    QPointer<FormCom> m_connection;
    bool m_averagingShown = false;
    bool m_isStoring = false;
    bool m_closed = false;
    // Start-up sets outer values, which a frame that becomes known only once shown would move and widen.
    bool m_keepStartPlace = false;
    QPoint m_startPlace;
    // The frame's share of the outer size as last set, each way.
    QSize m_knownFrameExtra;
    QString m_dataPath;

    // The table-select keypad.
    std::array<QPushButton*, 10> m_tableButtons{};
    QPushButton* m_openButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_connectButton = nullptr;
    QPushButton* m_optionsButton = nullptr;
    QPushButton* m_copyTableButton = nullptr;
    QPushButton* m_aboutButton = nullptr;
    QLabel* m_xLabel = nullptr;
    QLabel* m_yLabel = nullptr;
    QLineEdit* m_xAngleBox = nullptr;
    QLineEdit* m_yAngleBox = nullptr;
    QRadioButton* m_arcsecOption = nullptr;
    QRadioButton* m_degreeOption = nullptr;
    QRadioButton* m_degMinSecOption = nullptr;
    QRadioButton* m_mradOption = nullptr;
    QRadioButton* m_micronsPerMetreOption = nullptr;
    QPushButton* m_setZeroButton = nullptr;
    QPushButton* m_resetZeroButton = nullptr;
    QLabel* m_storeEveryLabel = nullptr;
    QLineEdit* m_intervalBox = nullptr;
    QLabel* m_intervalSuffixLabel = nullptr;
    QLabel* m_intervalUnitLabel = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QLabel* m_lineLabel = nullptr;
    QLineEdit* m_lineBox = nullptr;
    QFrame* m_separator = nullptr;
    QPushButton* m_averagingButton = nullptr;
    QLineEdit* m_tobarValueBox = nullptr;
    QLineEdit* m_verdictBox = nullptr;
    QLineEdit* m_reticleBox = nullptr;
    QPushButton* m_storeValueButton = nullptr;
    QPushButton* m_clearSelectionButton = nullptr;
    QPushButton* m_clearTableButton = nullptr;
    QPushButton* m_readMemoryButton = nullptr;
    QTimer* m_displayTimer = nullptr;
    // The right-click menu of the tables; its actions carry shortcuts that work in the whole window.
    QAction* m_exportCsvAction = nullptr;
    QAction* m_copyTableAction = nullptr;
    // Open the analysis window at a page; in the tables' and the live values' menus.
    QAction* m_statisticsAction = nullptr;
    QAction* m_trendAction = nullptr;
    QAction* m_straightnessAction = nullptr;
    QAction* m_runAction = nullptr;
    QAction* m_flatnessAction = nullptr;
    QAction* m_publishingAction = nullptr;
    Publisher* m_publisher = nullptr;
    QPointer<PublishDialog> m_publishing;
};
