#include "mainwindow/mainwindowfixture.h"
#include "widgets/twips.h"
#include "widgets/windowlayer.h"
#include "dialogs/formoptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {
const QString FailText =
    QStringLiteral("Path for background file does not exist.\r\n"
                   "Use an existing path or uncheck the \"Hold current angles ...\" box.");
constexpr qint32 NotApplied = 777; // a divisor no close step sets in these tests

QString stored(const QString& key)
{
    return MainWindowFixture::store()->value(key).toString();
}
} // namespace

// The options dialog, alone (no main window) or opened from a main window, on a hermetic settings store.
class TestFormOptions : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_f;
    std::unique_ptr<QTemporaryDir> m_files;

    // The shared state without a main window.
    AppState& state()
    {
        if (!m_f->state) {
            m_f->state = std::make_unique<AppState>();
            m_f->link = std::make_unique<ComLink>(*m_f->state);
        }
        return *m_f->state;
    }

    // A dialog without a main window, loaded from the shared state.
    QPointer<FormOptions> loadAlone()
    {
        state();
        return new FormOptions(*m_f->state, m_f->link->receiver(), nullptr);
    }

    // A main window started in the given instrument mode, laid out by its first tick.
    FormMain& startTicking(bool tobar)
    {
        MainWindowFixture::store()->setValue(QStringLiteral("options/display"),
                                             tobar ? QStringLiteral("True") : QStringLiteral("False"));
        FormMain& w = m_f->start();
        w.TimerDisplay->stop(); // the tests tick by hand
        w.TimerDisplay_Timer();
        return w;
    }

    // Opens the options from the main window; act runs while the dialog is shown modally and must close it.
    void openOptions(FormMain& w, const std::function<void(FormOptions&)>& act)
    {
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            ran = true;
            auto* dialog = qobject_cast<FormOptions*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            act(*dialog);
        });
        w.CommandOptions_Click();
        QVERIFY(ran);
    }

    // Background logging on with the given path, closed with OK.
    bool closeWithBackground(FormOptions& dialog, const QString& path,
                             const QString& seconds = QStringLiteral("3"))
    {
        dialog.show();
        dialog.CheckBackground->setChecked(true);
        dialog.TextPath->setText(path);
        dialog.TextSeconds->setText(seconds);
        m_f->state->internal.updateSignalEvery = NotApplied;
        dialog.CommandOK->click();
        return dialog.isVisible();
    }

private slots:
    void init()
    {
        m_f = std::make_unique<MainWindowFixture>();
        m_files = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        m_f.reset();
        m_files.reset();
    }

    void design_data()
    {
        struct Row {
            const char* name;
            const char* parent;
            const char* caption;
            QRect twips;
        };
        const Row rows[] = {
            {"FrameDisplay", "FormOptions", "Display options", {120, 120, 2175, 1575}},
            {"CTobar", "FrameDisplay", "TOBAR", {120, 1080, 1695, 255}},
            {"CheckOnTop", "FormOptions", "Always on top", {240, 480, 1575, 255}},
            {"CheckShowTable", "FormOptions", "Show table", {240, 840, 1455, 255}},
            {"FrameTransfer", "FormOptions", "Transfer options", {2520, 120, 1935, 1815}},
            {"CheckComma", "FormOptions", "Comma seperator", {2640, 480, 1695, 255}},
            {"LabelTransfer", "FrameTransfer", "Transfer data from Vemtor with:", {120, 720, 1575, 375}},
            {"CheckExitKey", "FrameTransfer", "exit key", {120, 1200, 1695, 255}},
            {"CheckIR", "FrameTransfer", "remote control", {120, 1440, 1695, 255}},
            {"FrameBackground", "FormOptions", "Background actions", {120, 2040, 4335, 2415}},
            {"CheckBackground",
             "FrameBackground",
             "Save current masurement values to background file",
             {120, 360, 4095, 255}},
            {"LabelPath", "FrameBackground", "Path and file name", {120, 720, 1575, 255}},
            {"TextPath", "FrameBackground", "", {120, 960, 4095, 285}},
            {"LabelUpdate", "FrameBackground", "Update values every", {120, 1440, 1575, 255}},
            {"TextSeconds", "FrameBackground", "1", {1680, 1440, 735, 285}},
            {"LabelSecond", "FrameBackground", "th measurement", {2520, 1440, 1215, 255}},
            {"CheckMean", "FrameBackground", "Built mean values between updates", {120, 1920, 3135, 255}},
            {"CommandOK", "FormOptions", "OK", {3240, 4560, 1215, 375}},
        };
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        for (const Row& row : rows)
            QTest::newRow(row.name) << QString::fromLatin1(row.name) << QString::fromLatin1(row.parent)
                                    << QString::fromLatin1(row.caption) << row.twips;
    }
    void design()
    {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QPointer<FormOptions> dialog = loadAlone();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("TARNOLUX options"));
        QCOMPARE(dialog->size(), QSize(4575 / 15, 5010 / 15));
        auto* widget = dialog->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QString text;
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            text = box->title();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(widget))
            text = edit->text();
        QCOMPARE(text, caption);
        QCOMPARE(widget->geometry(), QRect(Twips::toPixels(twips.x()), Twips::toPixels(twips.y()),
                                           Twips::toPixels(twips.width()), Twips::toPixels(twips.height())));
        delete dialog;
    }

    void keyFilter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result");
        QTest::newRow("digits pass") << "0123456789"
                                     << "0123456789";
        QTest::newRow("letters") << "1a2Z"
                                 << "12";
        QTest::newRow("point, comma, minus, blank") << ".3,4-5 6"
                                                    << "3456";
        QTest::newRow("control characters") << "7\t8\r9\x1b"
                                            << "789";
    }
    void keyFilter()
    {
        QFETCH(QString, typed);
        QFETCH(QString, result);
        QPointer<FormOptions> dialog = loadAlone();
        dialog->show();
        dialog->CheckBackground->setChecked(true);
        QLineEdit* edit = dialog->TextSeconds;
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), result);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), result.chopped(1));
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Delete); // moving and deleting keys type no character
        QCOMPARE(edit->text(), result.chopped(1).mid(1));
        delete dialog;
    }

    void pasteIsNotFiltered()
    {
        QPointer<FormOptions> dialog = loadAlone();
        dialog->TextSeconds->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("4x"));
        dialog->TextSeconds->paste();
        QCOMPARE(dialog->TextSeconds->text(), QStringLiteral("4x"));
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(stored(QStringLiteral("options/updateSeconds")), QStringLiteral("4")); // the leading number
        QCOMPARE(m_f->state->options.backgroundSeconds, 4.0);
    }

    void loadChangesNothing_data()
    {
        QTest::addColumn<bool>("flag");
        QTest::newRow("all off") << false;
        QTest::newRow("all on") << true;
    }
    void loadChangesNothing()
    {
        QFETCH(bool, flag);
        AppState& s = state();
        MainOptions& o = s.options;
        o.modeTobar = o.onTop = o.showTable = o.useComma = o.useBackground = o.useMean = flag;
        s.link.storeAtExitkey = s.link.storeAtIR = flag;
        o.updatePath = QStringLiteral("/some/where");
        o.backgroundSeconds = 25;
        QPointer<FormOptions> dialog = loadAlone();
        QCOMPARE(o.modeTobar, flag);
        QCOMPARE(o.onTop, flag);
        QCOMPARE(o.showTable, flag);
        QCOMPARE(o.useComma, flag);
        QCOMPARE(o.useBackground, flag);
        QCOMPARE(o.useMean, flag);
        QCOMPARE(s.link.storeAtExitkey, flag);
        QCOMPARE(s.link.storeAtIR, flag);
        QCOMPARE(o.updatePath, QStringLiteral("/some/where"));
        QCOMPARE(o.backgroundSeconds, 25.0);
        for (QCheckBox* box :
             {dialog->CTobar, dialog->CheckOnTop, dialog->CheckShowTable, dialog->CheckComma,
              dialog->CheckExitKey, dialog->CheckIR, dialog->CheckBackground, dialog->CheckMean})
            QCOMPARE(box->isChecked(), flag);
        QCOMPARE(dialog->TextPath->text(), QStringLiteral("/some/where"));
        QCOMPARE(dialog->TextSeconds->text(), QStringLiteral("25"));
        QCOMPARE(dialog->TextSeconds->isEnabled(), flag);
        delete dialog;
    }

    void immediateActions()
    {
        QPointer<FormOptions> dialog = loadAlone();
        AppState& s = *m_f->state;
        dialog->show();
        dialog->CTobar->click();
        dialog->CheckComma->click();
        dialog->CheckExitKey->click();
        dialog->CheckIR->click();
        dialog->CheckOnTop->click();
        dialog->CheckMean->setChecked(true);
        QVERIFY(s.options.modeTobar);
        QVERIFY(s.options.useComma);
        QVERIFY(s.link.storeAtExitkey);
        QVERIFY(s.link.storeAtIR);
        QVERIFY(!s.options.onTop); // applied by the close step
        QVERIFY(!s.options.useMean);
        dialog->CTobar->click();
        QVERIFY(!s.options.modeTobar);
        delete dialog;
    }

    void backgroundControlsFollowTheBox()
    {
        QPointer<FormOptions> dialog = loadAlone();
        const QList<QWidget*> six{dialog->LabelPath,   dialog->TextPath,    dialog->LabelUpdate,
                                  dialog->LabelSecond, dialog->TextSeconds, dialog->CheckMean};
        dialog->show();
        for (QWidget* w : six)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        dialog->CheckBackground->click();
        for (QWidget* w : six)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        dialog->CheckBackground->click();
        for (QWidget* w : six)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(!m_f->state->options.useBackground);
        delete dialog;
    }

    void closeStoresAndUnloads()
    {
        QPointer<FormOptions> dialog = loadAlone();
        AppState& s = *m_f->state;
        dialog->move(Twips::toPixels(600), Twips::toPixels(450));
        dialog->show();
        dialog->CheckOnTop->click();
        dialog->CheckComma->click();
        dialog->CheckMean->setChecked(true); // kept even though logging is off
        dialog->TextPath->setText(QStringLiteral("/no/such/folder/bg.txt"));
        dialog->TextSeconds->setText(QStringLiteral("12"));
        dialog->CommandOK->click();
        QVERIFY(m_f->messages.isEmpty()); // unchecked logging: no check of the path
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(stored(QStringLiteral("pos/yO")), QStringLiteral("450"));
        QCOMPARE(stored(QStringLiteral("pos/xO")), QStringLiteral("600"));
        QCOMPARE(stored(QStringLiteral("options/onTop")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("options/showTable")), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("options/comma")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("options/exitKey")), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("options/IR")), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("options/updatePath")), QStringLiteral("/no/such/folder/bg.txt"));
        QCOMPARE(stored(QStringLiteral("options/enableBackground")), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("options/enableMean")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("options/updateSeconds")), QStringLiteral("12"));
        QVERIFY(s.options.onTop);
        QVERIFY(s.options.useMean);
        QVERIFY(!s.options.useBackground);
        QCOMPARE(s.options.updatePath, QStringLiteral("/no/such/folder/bg.txt"));
        QCOMPARE(s.options.backgroundSeconds, 12.0);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/no/such/folder")));
    }

    void escapeRunsTheCloseStep()
    {
        QPointer<FormOptions> dialog = loadAlone();
        dialog->show();
        dialog->CheckShowTable->click();
        QTest::keyClick(dialog->CheckShowTable, Qt::Key_Escape);
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(stored(QStringLiteral("options/showTable")), QStringLiteral("1"));
    }

    void secondsAtClose_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint32>("divisor");
        QTest::newRow("empty reads 0") << ""
                                       << "0" << 0.0 << 1;
        QTest::newRow("plain") << "250"
                               << "250" << 250.0 << 250;
        QTest::newRow("largest") << "2147483647"
                                 << "2147483647" << 2147483647.0 << 2147483647;
        QTest::newRow("40 digits") << QString(40, QLatin1Char('9')) << "2147483647" << 2147483647.0
                                   << 2147483647;
    }
    void secondsAtClose()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QFETCH(double, seconds);
        QFETCH(qint32, divisor);
        QPointer<FormOptions> dialog = loadAlone();
        const QString path = m_files->filePath(QStringLiteral("bg.txt"));
        QVERIFY(!closeWithBackground(*dialog, path, text));
        QCOMPARE(::stored(QStringLiteral("options/updateSeconds")), stored);
        QCOMPARE(m_f->state->options.backgroundSeconds, seconds);
        QCOMPARE(m_f->state->internal.updateSignalEvery, divisor);
    }

    void backgroundCheckFails_data()
    {
        QTest::addColumn<QString>("path");
        const QString dir = QDir::tempPath(); // like the default: the TEMP folder itself
        QTest::newRow("a folder") << dir;
        QTest::newRow("missing folder") << QStringLiteral("/no/such/folder/bg.txt");
        QTest::newRow("empty") << QString();
    }
    void backgroundCheckFails()
    {
        QFETCH(QString, path);
        QPointer<FormOptions> dialog = loadAlone();
        AppState& s = *m_f->state;
        QVERIFY(closeWithBackground(*dialog, path, QStringLiteral("8")));
        QCOMPARE(m_f->messages, QStringList{FailText});
        QVERIFY(!dialog.isNull());
        // The steps before the check stay done.
        QCOMPARE(stored(QStringLiteral("options/enableBackground")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("options/updatePath")), path);
        QCOMPARE(stored(QStringLiteral("options/updateSeconds")), QStringLiteral("8"));
        QVERIFY(s.options.useBackground);
        QCOMPARE(s.options.updatePath, path);
        QCOMPARE(s.options.backgroundSeconds, 8.0);
        QCOMPARE(s.internal.updateSignalEvery, NotApplied);
        delete dialog;
    }

    void backgroundCheckPasses()
    {
        QPointer<FormOptions> dialog = loadAlone();
        const QString fresh = m_files->filePath(QStringLiteral("new.txt"));
        QVERIFY(!closeWithBackground(*dialog, fresh, QStringLiteral("5")));
        QVERIFY(m_f->messages.isEmpty());
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(QFileInfo::exists(fresh));
        QCOMPARE(QFileInfo(fresh).size(), 0);
        QCOMPARE(m_f->state->internal.updateSignalEvery, 5);

        // An existing file is emptied.
        const QString old = m_files->filePath(QStringLiteral("old.txt"));
        QFile file(old);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1.000\t2.000\r\n");
        file.close();
        dialog = loadAlone();
        QVERIFY(!closeWithBackground(*dialog, old));
        QCOMPARE(QFileInfo(old).size(), 0);
    }

    void shutdownNeverRefuses()
    {
        QPointer<FormOptions> dialog = loadAlone();
        dialog->CheckBackground->setChecked(true);
        dialog->TextPath->setText(QStringLiteral("/no/such/folder/bg.txt"));
        m_f->state->internal.updateSignalEvery = NotApplied;
        dialog->closeForShutdown();
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(m_f->messages.isEmpty());
        QCOMPARE(stored(QStringLiteral("options/enableBackground")), QStringLiteral("1"));
        QCOMPARE(m_f->state->internal.updateSignalEvery, NotApplied);
    }

    void position_data()
    {
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("expectTop"); // -1: screen bound
        QTest::addColumn<int>("expectLeft");
        QTest::newRow("absent") << QString() << QString() << 0 << 0;
        QTest::newRow("negative") << "-500"
                                  << "-15" << 0 << 0;
        QTest::newRow("inside") << "300"
                                << "450" << 300 << 450;
        QTest::newRow("beyond the screen") << "900000"
                                           << "900000" << -1 << -1;
    }
    void position()
    {
        QFETCH(QString, top);
        QFETCH(QString, left);
        QFETCH(int, expectTop);
        QFETCH(int, expectLeft);
        if (!top.isEmpty()) {
            MainWindowFixture::store()->setValue(QStringLiteral("pos/yO"), top);
            MainWindowFixture::store()->setValue(QStringLiteral("pos/xO"), left);
        }
        QPointer<FormOptions> dialog = loadAlone();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        if (expectTop < 0)
            expectTop = (screen.height() - dialog->frameGeometry().height()) * 15;
        if (expectLeft < 0)
            expectLeft = (screen.width() - dialog->frameGeometry().width()) * 15;
        QCOMPARE(int(dialog->dialogTop()), expectTop);
        QCOMPARE(int(dialog->dialogLeft()), expectLeft);
        delete dialog;
    }

    // With a main window.

    void showTableSetsMainHeight()
    {
        // Heights in whole pixels.
        FormMain& w = startTicking(true);
        QTRY_COMPARE(w.frameGeometry().height(), Twips::toPixels(2300));
        FormOptions& dialog = w.options();
        dialog.CheckShowTable->click();
        QVERIFY(m_f->state->options.showTable);
        QTRY_COMPARE(w.frameGeometry().height(), Twips::toPixels(7000));
        dialog.CheckShowTable->click();
        QVERIFY(!m_f->state->options.showTable);
        // 2800, then the compact height of TOBAR mode.
        QTRY_COMPARE(w.frameGeometry().height(), Twips::toPixels(2300));
    }

    void onTopAfterClosing_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<bool>("clickOnTop");
        QTest::addColumn<bool>("after");
        QTest::newRow("checked now") << false << true << true;
        QTest::newRow("unchecked now") << true << true << false;
        QTest::newRow("kept on") << true << false << true;
        QTest::newRow("kept off") << false << false << false;
    }
    void onTopAfterClosing()
    {
        QFETCH(bool, before);
        QFETCH(bool, clickOnTop);
        QFETCH(bool, after);
        MainWindowFixture::store()->setValue(QStringLiteral("options/onTop"),
                                             before ? QStringLiteral("1") : QStringLiteral("0"));
        FormMain& w = startTicking(false);
        QCOMPARE(WindowLayer::isTopmost(&w), before);
        bool topmostWhileShown = true;
        openOptions(w, [&](FormOptions& dialog) {
            topmostWhileShown = WindowLayer::isTopmost(&w);
            if (clickOnTop)
                dialog.CheckOnTop->click();
            dialog.CommandOK->click();
        });
        QVERIFY(!topmostWhileShown);
        QCOMPARE(WindowLayer::isTopmost(&w), after);
        QCOMPARE(m_f->state->options.onTop, after);
        QCOMPARE(stored(QStringLiteral("options/onTop")), after ? QStringLiteral("1") : QStringLiteral("0"));
        QVERIFY(!w.optionsLoaded()); // closed is unloaded
    }

    void refusedCloseKeepsTheDialogOpen()
    {
        FormMain& w = startTicking(false);
        const QString missing = QStringLiteral("/no/such/folder/bg.txt");
        bool stillShown = false;
        openOptions(w, [&](FormOptions& dialog) {
            dialog.CheckBackground->click();
            dialog.TextPath->setText(missing);
            dialog.CommandOK->click();
            stillShown = dialog.isVisible() && QApplication::activeModalWidget() == &dialog;
            dialog.CheckBackground->click();
            dialog.CommandOK->click();
        });
        QVERIFY(stillShown);
        QCOMPARE(m_f->messages, QStringList{FailText});
        QVERIFY(!w.optionsLoaded());
        QVERIFY(!m_f->state->options.useBackground);
    }

    void transferOptionsFollowTheLinkModeAtOpening()
    {
        // Loaded at the first tick in compatible mode, then the link goes to text mode.
        FormMain& w = startTicking(false);
        QVERIFY(w.optionsLoaded());
        QVERIFY(w.options().CheckIR->isHidden());
        m_f->state->link.portMode = 1;
        bool shown = false;
        openOptions(w, [&](FormOptions& dialog) {
            shown = dialog.LabelTransfer->isVisible() && dialog.CheckExitKey->isVisible() &&
                    dialog.CheckIR->isVisible();
            dialog.CommandOK->click();
        });
        QVERIFY(shown);
        m_f->state->link.portMode = 0;
        bool commaShown = false;
        openOptions(w, [&](FormOptions& dialog) {
            shown = dialog.LabelTransfer->isVisible() || dialog.CheckExitKey->isVisible() ||
                    dialog.CheckIR->isVisible();
            commaShown = dialog.CheckComma->isVisible() && dialog.FrameTransfer->isVisible();
            dialog.CommandOK->click();
        });
        QVERIFY(!shown);
        QVERIFY(commaShown);
    }

    void storeTriggersDisabledInTobarLayout()
    {
        FormMain& w = startTicking(true);
        QVERIFY(w.optionsLoaded());
        QVERIFY(!w.options().CheckIR->isEnabled());
        QVERIFY(!w.options().CheckExitKey->isEnabled());
        // Loaded afresh after a close, the dialog still shows the TOBAR layout's state.
        bool enabled = true;
        for (int round = 0; round < 2; ++round) {
            openOptions(w, [&](FormOptions& dialog) {
                enabled = dialog.CheckIR->isEnabled() || dialog.CheckExitKey->isEnabled();
                dialog.CommandOK->click();
            });
            QVERIFY(!enabled);
        }
        m_f->state->options.modeTobar = false;
        w.TimerDisplay_Timer();
        QVERIFY(w.options().CheckIR->isEnabled());
    }
};

QTEST_MAIN(TestFormOptions)
#include "test_formoptions.moc"
