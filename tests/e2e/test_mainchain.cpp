// The whole chain as an operator meets it: the simulated instrument on a pseudo-terminal, the connection
// window, the live display and the tables.
#include "mainwindow/mainwindowfixture.h"
#include "widgets/filedialog.h"
#include "widgets/flexgrid.h"
#include "sim/ptyinstrument.h"
#include "tables/tableset.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestMainChain : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyInstrument> m_instrument;
    std::unique_ptr<MainWindowFixture> m_f;

    FormMain& connectThroughWindow(int mode)
    {
        m_f->store()->setValue(QStringLiteral("com/mode"), QString::number(mode));
        FormMain& w = m_f->start();
        QTimer::singleShot(0, this, [this] { m_f->link->form().CommandClose->click(); });
        w.CommandConnect->click();
        return w;
    }

private slots:
    void init()
    {
        m_instrument = std::make_unique<PtyInstrument>();
        QVERIFY(m_instrument->open());
        m_instrument->model().setFixedAngles(12.5, -3.25);
        m_f = std::make_unique<MainWindowFixture>();
        qputenv("TARNOLUX_COM1", m_instrument->devicePath().toLocal8Bit());
    }
    void cleanup()
    {
        m_f.reset();
        m_instrument.reset();
    }

    void liveAnglesIntoTable_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("text mode") << 1;
        QTest::newRow("compatible mode") << 0;
    }
    void liveAnglesIntoTable()
    {
        QFETCH(int, mode);
        FormMain& w = connectThroughWindow(mode);
        QTRY_COMPARE_WITH_TIMEOUT(w.TextX->text(), QStringLiteral("12.500"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(w.TextY->text(), QStringLiteral("-3.250"), 5000);
        w.CommandVal2Table->click();
        FlexGrid* grid = w.tables().grid(1);
        QCOMPARE(grid->Rows(), 2);
        QCOMPARE(grid->TextMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(grid->TextMatrix(1, 1), QStringLiteral("12.500"));
        QCOMPARE(grid->TextMatrix(1, 2), QStringLiteral("-3.250"));
    }

    void readoutAndTobarMode()
    {
        m_instrument->model().setStoredRecords(4);
        m_instrument->model().setStoredTable(3);
        FormMain& w = connectThroughWindow(1);
        QTRY_COMPARE_WITH_TIMEOUT(w.TextX->text(), QStringLiteral("12.500"), 5000);
        QVERIFY(!w.CommandLoadFromOrv->isHidden());
        w.CommandLoadFromOrv->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.tables().grid(3)->Rows(), 5, 5000);
        QCOMPARE(w.tables().currentGridNum(), qint16(3));

        m_instrument->model().setKind(InstrumentModel::Kind::Tobar);
        QTRY_VERIFY_WITH_TIMEOUT(!w.TextTobar->isHidden(), 5000);
        QVERIFY(w.TextX->isHidden());
        // The display polls the TOBAR value; its answer shows with a unit.
        const QRegularExpression valueWithUnit(QStringLiteral("^-?\\d+(\\.\\d+)?(mm|\")$"));
        QTRY_VERIFY_WITH_TIMEOUT(valueWithUnit.match(w.TextTobar->text()).hasMatch(), 5000);
        QVERIFY(!w.TextGONG->text().isEmpty());
    }

    // Start, measure, save, shut down; start again: the settings and the saved table come back.
    void wholeRunKeepsWhatTheOperatorProduced()
    {
        QTemporaryDir files;
        const QString tableFile = files.filePath(QStringLiteral("run.txt"));
        FileDialog::setChooser([&](FileDialog::Kind, const QString&) { return tableFile; });
        m_f->store()->setValue(QStringLiteral("options/comma"), QStringLiteral("1"));
        {
            FormMain& w = connectThroughWindow(1);
            w.OptionMrad->click();
            QTRY_COMPARE_WITH_TIMEOUT(w.TextX->text(), QStringLiteral("0.0606"), 5000);
            w.CT[2]->click();
            w.CommandVal2Table->click();
            w.CommandVal2Table->click();
            w.CommandSave->click();
            w.close();
        }
        QCOMPARE(m_f->store()->value(QStringLiteral("angles/unit")).toString(), QStringLiteral("3"));
        QCOMPARE(m_f->store()->value(QStringLiteral("com/mode")).toString(), QStringLiteral("1"));

        FormMain& again = connectThroughWindow(1);
        QVERIFY(again.OptionMrad->isChecked());
        QVERIFY(m_f->state->options.useComma);
        QCOMPARE(again.dataPath(), tableFile);
        QTRY_COMPARE_WITH_TIMEOUT(again.TextX->text(), QStringLiteral("0.0606"), 5000);
        again.CommandOpen->click();
        FlexGrid* grid = again.tables().currentGrid();
        QCOMPARE(grid->Rows(), 3);
        QCOMPARE(grid->TextMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(grid->TextMatrix(2, 1), QStringLiteral("0,0606"));
        QCOMPARE(grid->TextMatrix(2, 2), QStringLiteral("-0,0158"));
        FileDialog::setChooser({});
    }
};

QTEST_MAIN(TestMainChain)
#include "test_mainchain.moc"
