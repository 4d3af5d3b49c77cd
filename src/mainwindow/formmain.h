#pragma once

#include "dialogs/formoptions.h"
#include "link/linkcalls.h"

#include <QString>
#include <QWidget>
#include <QtGlobal>

#include <array>
#include <memory>

struct AppState;
class AnalysisWindow;
class ComLink;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class TableSet;

// The main window: live angles or the TOBAR value, the ten tables, interval storing, and the buttons that
// open the other windows. It is the decoder's way out to the tables and to interval storing.
class FormMain : public QWidget, public MainWindowCalls, public OptionsHost {
    Q_OBJECT
public:
    FormMain(AppState& state, ComLink& link, QWidget* parent = nullptr);
    ~FormMain() override;

    [[nodiscard]] AppState& state() { return m_state; }
    [[nodiscard]] ComLink& link() { return m_link; }
    [[nodiscard]] TableSet& tables() { return *m_tables; }

    // Start-up and shut-down.
    void Form_Load();
    void Form_QueryUnload();

    // Display cycle.
    void TimerDisplay_Timer();
    void CommandSet_Click();
    void CommandReset_Click();
    void CommMean_Click();
    void OptionArcsec_Click();
    void OptionDegree_Click();
    void OptionSecMinDeg_Click();
    void OptionMrad_Click();
    void OptionMproM_Click();

    // Interval storing.
    void CommandStart_Click();
    void CommandStop_Click();
    void applyStoreInterval(double n);
    // Key filter of TextTimer: the key code may be changed; 0 discards the key.
    void TextTimer_KeyPress(int& keyAscii);
    void TextTimer_LostFocus();
    [[nodiscard]] bool isStoring() const { return m_isStoring; }

    // Mode layout and resize.
    void layoutForMode();
    void Form_Resize();
    void resizeTables(qint16 h);
    void CommandConnect_Click();
    void CommandLoadFromOrv_Click();

    // The options dialog and the about box, shown modally with the always-on-top level lifted meanwhile.
    void CommandOptions_Click();
    void Command2_Click();

    // Table files and the clipboard.
    void CommandOpen_Click();
    void CommandSave_Click();
    void Command1_Click();
    // "Export as CSV…" of the table's right-click menu.
    void exportCsv();
    // The right-click menu of the tables; its actions carry shortcuts that work in the whole window.
    QAction* ActionExportCsv = nullptr;
    QAction* ActionCopyTable = nullptr;
    // Opens the analysis window at its statistics page; in the tables' and the live values' menus.
    QAction* ActionStatistics = nullptr;
    QAction* ActionTrend = nullptr; // the trend and straightness pages likewise
    QAction* ActionStraightness = nullptr;
    [[nodiscard]] AnalysisWindow& analysis() { return *m_analysis; }
    [[nodiscard]] QString dataPath() const { return m_dataPath; }

    // Calls from the instrument link.
    void XY2Table() override;
    void setGridForLoad(qint16 g, qint32 r, qint16 c) override;
    void addLine(qint16 gridNum) override;
    void setColumn(const QString& s) override;
    void haveAngleMsg() override;

    // The options dialog if loaded; options() loads it without showing it.
    [[nodiscard]] FormOptions* optionsLoaded() const;
    FormOptions& options();

    // The window's outer geometry in twips.
    [[nodiscard]] double windowLeft() const;
    [[nodiscard]] double windowTop() const;
    [[nodiscard]] double windowWidth() const;
    [[nodiscard]] double windowHeight() const;
    void setWindowLeft(double twips);
    void setWindowTop(double twips);
    void setWindowWidth(double twips);
    void setWindowHeight(double twips) override;
    [[nodiscard]] QWidget* hostWindow() override { return this; }

    // Controls; the names are also their object names.
    QPushButton* CommandOpen = nullptr;
    QPushButton* CommandSave = nullptr;
    QPushButton* CommandConnect = nullptr;
    QPushButton* CommandOptions = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* LabelX = nullptr;
    QLabel* LabelY = nullptr;
    QLineEdit* TextX = nullptr;
    QLineEdit* TextY = nullptr;
    QRadioButton* OptionArcsec = nullptr;
    QRadioButton* OptionDegree = nullptr;
    QRadioButton* OptionSecMinDeg = nullptr;
    QRadioButton* OptionMrad = nullptr;
    QRadioButton* OptionMproM = nullptr;
    QPushButton* CommandSet = nullptr;
    QPushButton* CommandReset = nullptr;
    QLabel* LabelStore = nullptr;
    QLineEdit* TextTimer = nullptr;
    QLabel* LabelTH = nullptr;
    QLabel* LabelSeconds = nullptr;
    QPushButton* CommandStart = nullptr;
    QPushButton* CommandStop = nullptr;
    QLabel* LabelLine = nullptr;
    QLineEdit* TextLine = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* CommMean = nullptr;
    QLineEdit* TextTobar = nullptr;
    QLineEdit* TextGONG = nullptr;
    QLineEdit* TextReticle = nullptr;
    QPushButton* CommandVal2Table = nullptr;
    QPushButton* CommandDelete = nullptr;
    QPushButton* CommandClearGrid = nullptr;
    QPushButton* CommandLoadFromOrv = nullptr;
    std::array<QPushButton*, 10> CT{};
    QTimer* TimerDisplay = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void connectHandlers();
    void createTableMenu();
    void restoreWindowPosition();
    // The TOBAR value, its unit, the Go/NG verdict and the reticle from the state.
    void showTobar();
    // The memory readout button's caption names the instrument of the current mode.
    [[nodiscard]] QString loadButtonCaption() const;
    [[nodiscard]] QSize frameExtra() const;
    [[nodiscard]] QSize largestOuterSize() const;
    [[nodiscard]] double textTimerValue() const;

    AppState& m_state;
    ComLink& m_link;
    std::unique_ptr<TableSet> m_tables;
    AnalysisWindow* m_analysis = nullptr;
    FormOptions* m_options = nullptr;
    bool m_averagingShown = false;
    bool m_isStoring = false;
    bool m_closed = false;
    QString m_dataPath;
};
