// Faults through the whole program: lifetimes, a damaged store, the line pulled, odd numbers, files.
#include "support/appfixture.h"
#include "support/recorder.h"

#include "state/numbers.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <ctime>
#include <unistd.h>

namespace K = SettingKeys;

static const QByteArray FortyDigits = "1234567890123456789012345678901234567890";

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    // The connection window's close box gives the line free and the window goes; the link stays.
    void windowsGoInOrder()
    {
        AppFixture app;
        QPointer<FormCom> form = &app.start().connection();
        form->show();
        QVERIFY(app.link->comPort().PortOpen());
        form->close();
        QVERIFY(!app.link->isLoaded());
        CommControl other;
        QVERIFY(other.setCommPort(1) == PortCode::Ok && other.setPortOpen(true) == PortCode::Ok);
        QTRY_VERIFY(form.isNull());

        // The loaded options dialog goes while the main window is whole: its destroyed signal writes there.
        app.start().close(); // closed before its first tick has loaded the dialog
        FormMain& w = app.start();
        QTRY_VERIFY(w.optionsLoaded());
        bool whole = false;
        QObject::connect(w.optionsLoaded(), &QObject::destroyed, [&whole, main = &w] {
            whole = qobject_cast<FormMain*>(static_cast<QObject*>(main));
        });
        app.window.reset();
        QVERIFY(whole);
    }

    // The same text in every key that is not a path: the program starts on the screen and within its
    // limits, closes normally and writes back values of each key's own form.
    void damagedStore_data()
    {
        columns<QString, bool>("value", "defaults");
        QTest::newRow("garbage") << "garbage" << true;
        QTest::newRow("forty digits") << QString::fromLatin1(FortyDigits) << false;
        QTest::newRow("largest 16-bit number") << "32767" << false;
    }
    void damagedStore()
    {
        QFETCH(QString, value);
        QFETCH(bool, defaults);
        AppFixture app;
        for (const K::Key& key : K::All)
            if (key.kind != K::Kind::Text)
                AppFixture::store()->setValue(K::path(key), value);
        FormMain& w = app.start();
        QTRY_VERIFY(w.optionsLoaded());
        const QRect screen = w.screen()->geometry(), outer = w.frameGeometry();
        QVERIFY(screen.contains(outer.topLeft()));
        QCOMPARE(outer.size().boundedTo(screen.size()), outer.size());
        QVERIFY(w.windowWidth() >= 6135 && w.windowHeight() >= 2300 - Twips::PerPixel);
        FormCom& form = w.connection(); // shown, the link writes the port back
        form.show();
        QVERIFY(control<QRadioButton>(form, "OptionCompatible")->isChecked());
        QVERIFY(!defaults || control<QLineEdit>(form, "TextStatus")->text() == "o.k.");
        form.hide();
        w.close();
        QVERIFY(app.messages.isEmpty());
        for (const K::Key& key : K::All) {
            const QString text = AppFixture::store()->value(K::path(key)).toString();
            const bool sane = key.kind == K::Kind::Flag
                                  ? QStringList({"0", "1", "True", "False"}).contains(text)
                              : key.kind == K::Kind::Int16  ? Numbers::strictInt16(text).has_value()
                              : key.kind == K::Kind::Int32  ? Numbers::strictInt32(text).has_value()
                              : key.kind == K::Kind::Number ? Numbers::strictNumber(text).has_value()
                                                            : true;
            QVERIFY2(sane && (!defaults || key.kind == K::Kind::Text || text == QLatin1String(key.def)),
                     qPrintable(K::path(key) + QLatin1Char('=') + text));
        }
    }

    // The cable pulled mid-message: told once, shown as gone, no busy loop; plugged in again, all works.
    void instrumentVanishes()
    {
        AppFixture app;
        QVERIFY(app.lineAtLink());
        FormMain& w = app.start();
        FormCom* form = app.connect(true);
        QTRY_COMPARE(control<QLineEdit>(w, "TextX")->text(), QStringLiteral("12.500"));

        for (const char* line : {"stream off", "text 1 103 1", "vanish"})
            QVERIFY(app.sim(QLatin1String(line)));
        QTRY_COMPARE(app.messages, QStringList{"No connection available"});
        QVERIFY(!app.link->comPort().PortOpen());
        QCOMPARE(control<QLineEdit>(form, "TextStatus")->text(), QStringLiteral("Port is not available"));
        const std::clock_t before = std::clock();
        QTest::qWait(1500);
        const double cpu = 1000.0 * double(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpu < 400, qPrintable(QStringLiteral("%1 ms CPU in 1.5 s after the line went").arg(cpu)));
        control<QPushButton>(w, "CommMean")->click();
        QCOMPARE(app.messages.size(), 1);
        // Tried while it is gone: the window says so, and the close step's command fails, told again.
        QCOMPARE(control<QLineEdit>(app.connect(true), "TextStatus")->text(), "Port is not available");
        QCOMPARE(app.messages.size(), 2);

        for (const char* line : {"return", "stream on", "angles -1.5 2.25"})
            QVERIFY(app.sim(QLatin1String(line)));
        QCOMPARE(control<QLineEdit>(app.connect(true), "TextStatus")->text(), QStringLiteral("o.k."));
        QTRY_COMPARE(control<QLineEdit>(w, "TextX")->text(), QStringLiteral("-1.500"));
        control<QPushButton>(w, "CommandLoadFromOrv")->click();
        QTRY_VERIFY(app.commands.contains(QStringLiteral("t")));
        QCOMPARE(app.messages.size(), 2);
    }

    void valuesOutsideNumbers_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("angles outside the range") << QByteArray("1 103 1E999 -1E999");
        QTest::newRow("NaN texts") << QByteArray("1 103 NaN -nan");
        QTest::newRow("forty digits") << "1 103 " + FortyDigits + " -" + FortyDigits + ".5";
        QTest::newRow("TOBAR outside the range") << QByteArray("31 0 1E999");
        QTest::newRow("readout") << "6 0 1 1 2\r5 1 1 1E999 " + FortyDigits;
    }
    // Shown as numbers in every unit, also after zeroing at such a value, and in the background file.
    void valuesOutsideNumbers()
    {
        QFETCH(QByteArray, message);
        AppFixture app;
        const QString background = app.files.filePath(QStringLiteral("now.txt"));
        AppFixture::setStored({{K::UseBackground, "1"}, {K::UpdatePath, background}});
        AppFixture::plugIn(app.line.path());
        FormMain& w = app.start();
        app.openLine(true);
        QVERIFY(app.send("\r" + message + "\r", message.count('\r') + 1));

        const QRegularExpression notNumber(QStringLiteral("inf|nan"),
                                           QRegularExpression::CaseInsensitiveOption);
        for (const char* when : {"as read", "after Set"}) {
            for (const char* unit :
                 {"OptionArcsec", "OptionDegree", "OptionSecMinDeg", "OptionMrad", "OptionMproM"}) {
                control<QRadioButton>(w, unit)->click();
                w.displayTick();
                control<QPushButton>(w, "CommandVal2Table")->click();
                QStringList texts = AppFixture::lines(w.tableViews().currentGrid());
                texts << QString::fromLatin1(AppFixture::readFile(background));
                for (const char* box : {"TextX", "TextY", "TextTobar", "TextGONG", "TextReticle"})
                    texts << control<QLineEdit>(w, box)->text();
                for (const QString& text : texts)
                    QVERIFY2(!text.contains(notNumber), qPrintable(QStringLiteral("%1: %2").arg(when, text)));
            }
            control<QPushButton>(w, "CommandSet")->click();
            QVERIFY(app.send("1 103 5 -5\r31 0 5\r", 2));
        }
        QVERIFY(QFileInfo(background).size() > 0 && app.messages.isEmpty());
    }

    // Records that cannot be written are lost, silently; the numbering goes on where they left off.
    void backgroundFolderRemoved()
    {
        AppFixture app;
        const QString folder = app.files.filePath(QStringLiteral("exchange"));
        const QString path = folder + QStringLiteral("/now.txt");
        QVERIFY(QDir().mkpath(folder));
        AppFixture::setStored({{K::UseBackground, "1"}, {K::UpdatePath, path}});
        AppFixture::plugIn(app.line.path());
        app.start();
        app.openLine(true);
        QVERIFY(app.send("\r1 103 1 -1\r1 103 2 -2\r1 103 3 -3\r", 3));
        QTRY_COMPARE(AppFixture::readFile(path), QByteArray("2 03 3 -3\r\n"));
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(app.send("1 103 4 -4\r1 103 5 -5\r1 103 6 -6\r1 103 7 -7\r", 4));
        QVERIFY(app.state->link.angleX == 7.0 && !QFile::exists(path));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(app.send("1 103 8 -8\r"));
        QTRY_COMPARE(AppFixture::readFile(path), QByteArray("3 03 8 -8\r\n"));
        QVERIFY(app.messages.isEmpty());
    }

    // A header may announce 32767 columns, a record carries six values: empty columns must cost no memory.
    void readoutAnnouncingThousandsOfColumns()
    {
        constexpr int Lines = 1000;
        AppFixture app;
        AppFixture::plugIn(app.line.path());
        FormMain& w = app.start();
        app.openLine(true);
        QVERIFY(app.send("\r6 0 2 0 2\r6 0 1 1000 32767\r", 2)); // a header without lines changes nothing
        QCOMPARE(w.tables().currentNumber(), 1);
        const auto resident = [] {
            return AppFixture::readFile("/proc/self/statm").split(' ').value(1).toLongLong() *
                   sysconf(_SC_PAGESIZE);
        };
        const qint64 before = resident();
        QByteArray lines;
        for (int i = 0; i < Lines; ++i)
            lines += "5 1 " + QByteArray::number(i) + " a b c d e f\r";
        QVERIFY(app.send(lines, Lines, 60000));
        [[maybe_unused]] const qint64 grown = resident() - before;
        FlexGrid* grid = w.tableViews().currentGrid();
        QCOMPARE(QSize(grid->Cols(), grid->Rows()), QSize(32768, Lines + 1));
        QStringList cells;
        for (int c : {1, 4, 5, 6, 7, 32767})
            cells << grid->TextMatrix(Lines, c);
        QCOMPARE(cells, QStringList({"a", "d", "", "f", "", ""})); // slot 5 is no "EFL": its comment goes
#ifndef __SANITIZE_ADDRESS__ // whose quarantine keeps freed memory resident
        QVERIFY2(grown < 64 * 1024 * 1024, qPrintable(QString::number(grown / 1024)));
#endif
        QVERIFY(app.send("5 4 1 z\r", 1)); // a line for another table goes there
        QCOMPARE(AppFixture::lines(w.tableViews().currentGrid()), QStringList{"1|z|"});
        // A readout that narrowed a table to one column: a stored line skips the cells it lacks.
        QVERIFY(app.send("6 0 5 1 1\r5 5 1 y\r", 2));
        control<QPushButton>(w, "CommandVal2Table")->click();
        QCOMPARE(AppFixture::lines(w.tableViews().currentGrid()), QStringList({"1|y", "2|.........."}));
    }

    void saveFails_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("folder that does not exist") << QStringLiteral("missing/table.txt");
        QTest::newRow("the name of a folder") << QStringLiteral("folder");
        QTest::newRow("inside a file") << QStringLiteral("old.txt/table.txt");
        QTest::newRow("no file name") << QStringLiteral("folder/");
    }
    // The message names the file; nothing that was there changes and nothing is left behind.
    void saveFails()
    {
        QFETCH(QString, target);
        AppFixture app;
        QDir files(app.files.path());
        QVERIFY(files.mkdir(QStringLiteral("folder")));
        for (const QString& name : {QStringLiteral("folder/kept.txt"), QStringLiteral("old.txt")}) {
            QFile file(files.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old\r\n") == 5);
        }
        FormMain& w = app.start();
        w.tables().current().appendLine(QStringLiteral("1\t12.5\t-0.25"));
        app.chosen = files.filePath(target);
        control<QPushButton>(w, "CommandSave")->click();
        QCOMPARE(app.messages, QStringList{"The table could not be saved to " + app.chosen + "."});
        QCOMPARE(files.entryList(QDir::AllEntries | QDir::NoDotAndDotDot) +
                     QDir(files.filePath("folder")).entryList(QDir::Files),
                 QStringList({"folder", "old.txt", "kept.txt"}));
        QCOMPARE(AppFixture::readFile(files.filePath("folder/kept.txt")) +
                     AppFixture::readFile(files.filePath("old.txt")),
                 QByteArray("old\r\nold\r\n"));
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
