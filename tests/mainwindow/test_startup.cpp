#include "mainwindowfixture.h"
#include "widgets/flexgrid.h"
#include "widgets/windowlayer.h"
#include "dialogs/formoptions.h"
#include "tables/tableset.h"

#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using StoredValues = QMap<QString, QString>;

class TestStartup : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_f;

    void storeAll(const QMap<QString, QString>& values)
    {
        auto s = m_f->store();
        for (auto it = values.begin(); it != values.end(); ++it)
            s->setValue(it.key(), it.value());
    }
    QString stored(const QString& key) { return m_f->store()->value(key).toString(); }
    // Sizes land on whole pixels of 15 twips.
    static bool near(double twips, int expected) { return qAbs(twips - expected) < 15; }
    static int screenTwipsHeight() { return QGuiApplication::primaryScreen()->geometry().height() * 15; }

private slots:
    void init()
    {
        m_f = std::make_unique<MainWindowFixture>();
        qputenv("TEMP", QByteArray("/tmp/tarnolux-temp-folder"));
    }
    void cleanup() { m_f.reset(); }

    void emptyStore()
    {
        FormMain& w = m_f->start();
        const AppState& s = *m_f->state;
        QCOMPARE(w.windowLeft(), 0.0);
        QCOMPARE(w.windowTop(), 0.0);
        QCOMPARE(int(w.windowWidth()), 6135);
        QVERIFY(near(w.windowHeight(), 2800));
        QVERIFY(!s.options.modeTobar);
        QVERIFY(s.options.oldModeTobar);
        QVERIFY(!s.options.showTable);
        QVERIFY(!s.options.onTop && !s.options.useComma && !s.options.useBackground && !s.options.useMean);
        QVERIFY(!s.link.storeAtExitkey && !s.link.storeAtIR);
        QCOMPARE(s.options.updatePath, QStringLiteral("/tmp/tarnolux-temp-folder"));
        QCOMPARE(s.options.backgroundSeconds, 1.0);
        QCOMPARE(s.options.heightWithTable, 7000);
        QCOMPARE(s.internal.updateSignalEvery, 1);
        QVERIFY(w.OptionArcsec->isChecked());
        QCOMPARE(s.angles.angleUnit, qint16(0));
        QCOMPARE(w.dataPath(), QString());
        QVERIFY(!WindowLayer::isTopmost(&w));
        QCOMPARE(w.tables().currentGridNum(), qint16(1));
        QVERIFY(!w.tables().grid(1)->isHidden());
        QVERIFY(w.tables().grid(2)->isHidden());
        QVERIFY(m_f->link->loaded() == nullptr); // the port stays closed until "Connection"
        QCOMPARE(s.link.portNum, qint16(0));
    }

    void unsetTempGivesEmptyPath()
    {
        qunsetenv("TEMP");
        m_f->start();
        QCOMPARE(m_f->state->options.updatePath, QString());
    }

    void storedValues_data()
    {
        QTest::addColumn<StoredValues>("values");
        QTest::addColumn<bool>("tobar");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("unit");
        QTest::newRow("tobar without table")
            << QMap<QString, QString>{{"options/display", "True"}} << true << 2300 << 0;
        QTest::newRow("table with stored height") << QMap<QString, QString>{{"options/showTable", "1"},
                                                                            {"pos/height", "7500"},
                                                                            {"angles/unit", "3"}}
                                                  << false << 7500 << 3;
        QTest::newRow("unknown unit selects none")
            << QMap<QString, QString>{{"angles/unit", "7"}} << false << 2800 << 7;
        QTest::newRow("check-state flag")
            << QMap<QString, QString>{{"options/display", "1"}} << true << 2300 << 0;
        QTest::newRow("garbage everywhere") << QMap<QString, QString>{{"options/display", "maybe"},
                                                                      {"pos/height", "tall"},
                                                                      {"pos/width", "wide"},
                                                                      {"angles/unit", "mrad"},
                                                                      {"options/showTable", "x"},
                                                                      {"options/updateSeconds", "often"},
                                                                      {"pos/x", "left"},
                                                                      {"pos/y", "?"}}
                                            << false << 2800 << 0;
    }
    void storedValues()
    {
        QFETCH(StoredValues, values);
        QFETCH(bool, tobar);
        QFETCH(int, height);
        QFETCH(int, unit);
        storeAll(values);
        FormMain& w = m_f->start();
        const AppState& s = *m_f->state;
        QCOMPARE(s.options.modeTobar, tobar);
        QCOMPARE(s.options.oldModeTobar, !tobar);
        QVERIFY(near(w.windowHeight(), height));
        QCOMPARE(int(s.angles.angleUnit), unit);
        QRadioButton* units[] = {w.OptionArcsec, w.OptionDegree, w.OptionSecMinDeg, w.OptionMrad,
                                 w.OptionMproM};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(units[i]->isChecked(), i == unit);
        QCOMPARE(s.options.backgroundSeconds, 1.0);
        QCOMPARE(w.tables().currentGrid()->Cols(), tobar ? 6 : 3);
    }

    void positionKeptOnScreen_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::newRow("negative") << "-500"
                                  << "-300" << 0 << 0;
        QTest::newRow("inside") << "150"
                                << "45" << 150 << 45;
        // The restore works with the initial layout height, not the compact height set later.
        QTest::newRow("too low") << "0"
                                 << "99999" << 0 << -1;
    }
    void positionKeptOnScreen()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(int, left);
        QFETCH(int, top);
        storeAll({{"pos/x", x}, {"pos/y", y}});
        FormMain& w = m_f->start();
        QCOMPARE(int(w.windowLeft()), left);
        const int frame = (w.frameGeometry().height() - w.height()) * 15;
        if (top < 0) // bottom edge of the initial layout size on the screen's bottom edge
            top = qMax(0, screenTwipsHeight() - 8895 - frame);
        QVERIFY2(near(w.windowTop(), top), qPrintable(QString::number(w.windowTop())));
    }

    void optionsApplied()
    {
        storeAll({{"options/onTop", "1"},
                  {"options/comma", "1"},
                  {"options/exitKey", "1"},
                  {"options/IR", "True"},
                  {"options/enableBackground", "1"},
                  {"options/updatePath", "/somewhere/value.txt"},
                  {"options/updateSeconds", "5"},
                  {"options/datapath", "/data/t.txt"}});
        FormMain& w = m_f->start();
        const AppState& s = *m_f->state;
        QVERIFY(s.options.onTop);
        QVERIFY(WindowLayer::isTopmost(&w));
        QVERIFY(s.options.useComma);
        QVERIFY(s.link.storeAtExitkey && s.link.storeAtIR);
        QVERIFY(s.options.useBackground);
        QCOMPARE(s.options.updatePath, QStringLiteral("/somewhere/value.txt"));
        QCOMPARE(s.internal.updateSignalEvery, 5);
        QCOMPARE(w.dataPath(), QStringLiteral("/data/t.txt"));
    }

    void shutDownWritesItsKeys()
    {
        storeAll({{"options/enableBackground", "1"}, {"options/showTable", "1"}, {"pos/height", "6500"}});
        FormMain& w = m_f->start();
        m_f->connectLink(1);
        w.OptionMproM->click();
        m_f->state->options.modeTobar = true;
        w.setWindowHeight(8000);
        QTRY_VERIFY(near(m_f->state->options.heightWithTable, 8000));
        w.close();
        QVERIFY(!w.TimerDisplay->isActive());
        QVERIFY(!m_f->state->options.useBackground);
        QCOMPARE(stored(QStringLiteral("options/enableBackground")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("angles/unit")), QStringLiteral("4"));
        QCOMPARE(stored(QStringLiteral("options/display")), QStringLiteral("True"));
        QCOMPARE(stored(QStringLiteral("pos/height")), QString::number(m_f->state->options.heightWithTable));
        QCOMPARE(stored(QStringLiteral("pos/width")), QStringLiteral("6135"));
        QCOMPARE(stored(QStringLiteral("pos/x")), QString::number(int(w.windowLeft())));
        QCOMPARE(stored(QStringLiteral("com/mode")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("com/port")), QStringLiteral("1"));
        QVERIFY(m_f->link->loaded() == nullptr);
        QVERIFY(w.optionsLoaded() == nullptr || w.optionsLoaded()->isHidden());
    }

    void garbageStoreClosesWithValidValues()
    {
        storeAll({{"pos/x", "nan"}, {"pos/y", "1e999"}, {"angles/unit", "99999999"}, {"pos/height", "-"}});
        FormMain& w = m_f->start();
        w.close();
        QCOMPARE(stored(QStringLiteral("angles/unit")), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("pos/height")), QStringLiteral("7000"));
        QCOMPARE(stored(QStringLiteral("pos/y")), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("options/display")), QStringLiteral("False"));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
