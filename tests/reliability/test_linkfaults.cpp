// Faults on the instrument link, each through the whole program: the line pulled mid-stream, a receive
// buffer flooded past its size, values no number text can hold, and the background file's folder taken away.
#include "faultfixture.h"

#include "widgets/flexgrid.h"
#include "dialogs/formoptions.h"
#include "tables/tableset.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString NoConnection = QStringLiteral("No connection available");
const QByteArray FortyDigits = "1234567890123456789012345678901234567890";

bool showsNumber(const QString& text)
{
    return !text.contains(QLatin1String("inf"), Qt::CaseInsensitive) &&
           !text.contains(QLatin1String("nan"), Qt::CaseInsensitive);
}

QByteArray record(double x, double y)
{
    QByteArray r(8, '\0');
    const auto raw = [](double v) { return static_cast<qint32>(v * 100.0) & 0xFFFFFF; };
    const qint32 rx = raw(x);
    const qint32 ry = raw(y);
    r[0] = 0x02;
    r[1] = char(rx & 0xFF);
    r[2] = char((rx >> 8) & 0xFF);
    r[3] = char((rx >> 16) & 0xFF);
    r[4] = char(ry & 0xFF);
    r[5] = char((ry >> 8) & 0xFF);
    r[6] = char((ry >> 16) & 0xFF);
    r[7] = 0x03;
    return r;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestLinkFaults : public QObject {
    Q_OBJECT

private slots:
    void instrumentVanishes_data();
    void instrumentVanishes();
    void receiveBufferOverflow_data();
    void receiveBufferOverflow();
    void valuesBeyondNumbers_data();
    void valuesBeyondNumbers();
    void backgroundFolderRemoved();
    void readoutAnnouncingThousandsOfColumns();
};

void TestLinkFaults::instrumentVanishes_data()
{
    QTest::addColumn<bool>("tobar");
    QTest::newRow("a command after the line went") << false;
    QTest::newRow("TOBAR polling when the line went") << true;
}

void TestLinkFaults::instrumentVanishes()
{
    QFETCH(bool, tobar);
    FaultFixture f;
    f.store()->setValue(QStringLiteral("com/mode"), QStringLiteral("1"));
    f.store()->setValue(QStringLiteral("options/display"),
                        tobar ? QStringLiteral("True") : QStringLiteral("False"));
    FormMain& w = f.start();
    f.connectThroughWindow(true);
    FormCom* form = f.link->loaded();
    QVERIFY(form);
    QCOMPARE(form->TextStatus->text(), QStringLiteral("o.k."));

    QLineEdit* shown = tobar ? w.TextTobar : w.TextX;
    QVERIFY(f.line.send(tobar ? "\r31 0 7.5\r" : "\r1 103 12.5 -3.25\r"));
    QTRY_COMPARE(shown->text(), tobar ? QStringLiteral("7.5mm") : QStringLiteral("12.500"));

    // Half a message, then the cable is pulled.
    QVERIFY(f.line.send("1 103 1"));
    f.line.pull();
    if (!tobar)
        QTRY_VERIFY(!form->comPort().PortOpen());

    // A port that spins on its read error would keep the process busy the whole time.
    const double cpuBefore = Probe::cpuMs();
    QTest::qWait(2000);
    const double cpuMs = Probe::cpuMs() - cpuBefore;
    QVERIFY2(cpuMs < 600, qPrintable(QStringLiteral("%1 ms CPU in 2 s after the line went").arg(cpuMs)));
    QVERIFY(!form->comPort().PortOpen());

    QTRY_COMPARE(f.messages, QStringList{NoConnection}); // told once, whether or not a command was sent
    QCOMPARE(f.state->link.portNum, qint16(0));
    w.CommandLoadFromOrv->click();
    w.CommMean->click();
    const qint32 tick = f.state->options.mainTime;
    QTRY_VERIFY(f.state->options.mainTime - tick >= 3);
    QCOMPARE(f.messages.size(), 1);

    // The line is back under the same port number: showing the connection window connects to it.
    FaultLine back;
    QVERIFY(back.isValid());
    FaultFixture::plugIn(back);
    f.connectThroughWindow(true);
    QCOMPARE(form->TextStatus->text(), QStringLiteral("o.k."));
    QCOMPARE(f.state->link.portNum, qint16(1));
    QVERIFY(!f.state->link.wasSendError);
    QVERIFY(back.send(tobar ? "\r31 0 8.25\r" : "\r1 103 -1.5 2.25\r"));
    QTRY_COMPARE(shown->text(), tobar ? QStringLiteral("8.25mm") : QStringLiteral("-1.500"));
    (void)back.readAvailable();
    w.CommandLoadFromOrv->click();
    QByteArray sent;
    QTRY_VERIFY((sent += back.readAvailable()).contains("t\r"));
    QCOMPARE(f.messages.size(), 1);
}

void TestLinkFaults::receiveBufferOverflow_data()
{
    QTest::addColumn<bool>("textMode");
    QTest::addColumn<QByteArray>("flood");
    // Each doubled space ends a receive step, so the buffer fills faster than it drains.
    QTest::newRow("text mode, doubled spaces") << true << "\r" + QByteArray("7  ").repeated(30000);
    QTest::newRow("compatible mode, one record per step") << false << record(1.0, 2.0).repeated(12000);
}

void TestLinkFaults::receiveBufferOverflow()
{
    QFETCH(bool, textMode);
    QFETCH(QByteArray, flood);
    FaultFixture f;
    f.start();
    f.connectDirect(textMode);
    FormCom* form = f.link->loaded();
    QVERIFY(form && form->comPort().PortOpen());
    QSignalSpy events(&form->comPort(), &CommControl::OnComm);
    qint32 mostWaiting = 0;
    QObject::connect(&form->comPort(), &CommControl::OnComm, &form->comPort(),
                     [&] { mostWaiting = qMax(mostWaiting, form->comPort().InBufferCount()); });

    QVERIFY(f.line.send(flood, 30000));
    QTRY_VERIFY(events.contains(QVariantList{CommEvents::RxOver}));
    // Bounded: never more than the buffer and one read from the device are waiting.
    QVERIFY2(mostWaiting <= 2 * 8192, qPrintable(QString::number(mostWaiting)));
    QVERIFY(form->comPort().PortOpen());

    // Good data at the instrument's pace: the receive side finds its step again.
    for (int i = 0; i < 20 && f.state->link.angleX != 4.5; ++i) {
        QVERIFY(f.line.send(textMode ? QByteArray("\r1 103 4.5 -6.5\r") : record(4.5, -6.5)));
        QTest::qWait(20);
    }
    QTRY_COMPARE(f.state->link.angleX, 4.5);
    QTRY_COMPARE(f.state->link.angleY, -6.5);
}

void TestLinkFaults::valuesBeyondNumbers_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("angles beyond the range") << QByteArray("1 103 1E999 -1E999");
    QTest::newRow("NaN texts") << QByteArray("1 103 NaN -nan");
    QTest::newRow("forty digits") << "1 103 " + FortyDigits + " -" + FortyDigits + ".5";
    QTest::newRow("below the range") << QByteArray("1 103 1E-999 -1E-999");
    QTest::newRow("largest doubles") << QByteArray("1 103 1.7976931348623157E308 -1.7976931348623157E308");
    QTest::newRow("status beyond the range") << QByteArray("1 1E999 5 5");
    QTest::newRow("TOBAR beyond the range") << QByteArray("31 0 1E999");
    QTest::newRow("TOBAR NaN") << QByteArray("30 112 NaN");
    QTest::newRow("TOBAR forty digits") << "32 5 -" + FortyDigits;
    QTest::newRow("readout") << "6 0 1 1 2\r5 1 1 1E999 " + FortyDigits;
}

void TestLinkFaults::valuesBeyondNumbers()
{
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    FaultFixture f;
    f.store()->setValue(QStringLiteral("com/mode"), QStringLiteral("1"));
    FormMain& w = f.start();
    MainOptions& o = f.state->options;
    o.updatePath = dir.filePath(QStringLiteral("now.txt"));
    o.useBackground = true;
    f.link->setUpdateSignal(1);
    f.connectDirect(true);
    QVERIFY(f.line.send("\r"));
    QVERIFY(f.sendCounted(message + "\r", message.count('\r') + 1));

    const auto checkShown = [&](const char* when) {
        for (QLineEdit* box : {w.TextX, w.TextY, w.TextTobar, w.TextGONG, w.TextReticle})
            QVERIFY2(showsNumber(box->text()), qPrintable(QStringLiteral("%1: %2").arg(when, box->text())));
        FlexGrid* grid = w.tables().currentGrid();
        for (qint32 r = 1; r < grid->Rows(); ++r) {
            for (qint32 c = 0; c < grid->Cols(); ++c)
                QVERIFY2(showsNumber(grid->TextMatrix(r, c)), qPrintable(grid->TextMatrix(r, c)));
        }
        const QByteArray background = readFile(o.updatePath);
        QVERIFY2(showsNumber(QString::fromLatin1(background)), background.constData());
    };

    QRadioButton* const units[] = {w.OptionArcsec, w.OptionDegree, w.OptionSecMinDeg, w.OptionMrad,
                                   w.OptionMproM};
    for (QRadioButton* unit : units) {
        unit->click();
        w.TimerDisplay_Timer();
        w.CommandVal2Table->click();
        checkShown("shown as read");
    }
    // Zeroed at such a value, an ordinary value afterwards.
    w.CommandSet->click();
    QVERIFY(f.sendCounted("1 103 5 -5\r31 0 5\r", 2));
    for (QRadioButton* unit : units) {
        unit->click();
        w.TimerDisplay_Timer();
        w.CommandVal2Table->click();
        checkShown("after Set");
    }
    QVERIFY(QFileInfo(o.updatePath).size() > 0);
    QVERIFY(f.messages.isEmpty());
}

void TestLinkFaults::backgroundFolderRemoved()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("exchange"));
    const QString path = folder + QStringLiteral("/now.txt");
    QVERIFY(QDir().mkpath(folder));
    FaultFixture f;
    f.store()->setValue(QStringLiteral("com/mode"), QStringLiteral("1"));
    FormMain& w = f.start();
    QTRY_VERIFY(w.optionsLoaded());

    // Logging at every measurement, switched on in the options dialog.
    QTimer::singleShot(0, &w, [&w, &path] {
        FormOptions* options = w.optionsLoaded();
        options->CheckBackground->setChecked(true);
        options->TextPath->setText(path);
        options->TextSeconds->setText(QStringLiteral("1"));
        options->CommandOK->click();
    });
    w.CommandOptions->click();
    QVERIFY(f.state->options.useBackground);
    QVERIFY(QFile::exists(path));
    f.connectDirect(true);

    QVERIFY(f.line.send("\r1 103 1 -1\r1 103 2 -2\r1 103 3 -3\r"));
    QTRY_COMPARE(readFile(path), QByteArray("2 03 3 -3\r\n"));

    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(f.sendCounted("1 103 4 -4\r1 103 5 -5\r1 103 6 -6\r1 103 7 -7\r", 4));
    QCOMPARE(f.state->link.angleX, 7.0);
    QVERIFY(!QFile::exists(path));
    QVERIFY(f.messages.isEmpty());
    QCOMPARE(f.state->internal.backgroundCounter, 3);

    // Back again: the next due record is written, numbered where the lost ones left off.
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(f.line.send("1 103 8 -8\r"));
    QTRY_COMPARE(readFile(path), QByteArray("3 03 8 -8\r\n"));
    QVERIFY(f.messages.isEmpty());
}

// A readout header may announce up to 32767 value columns while a record carries at most six values: the
// lines must not cost memory for the columns that never get a value.
void TestLinkFaults::readoutAnnouncingThousandsOfColumns()
{
    constexpr int Lines = 1000;
    FaultFixture f;
    FormMain& w = f.start();
    QTRY_VERIFY(w.optionsLoaded()); // the first tick has laid the tables out
    f.connectDirect(true);
    QVERIFY(f.sendCounted("\r6 0 1 1000 32767\r", 1));
    const qint64 before = Probe::residentBytes();
    QByteArray lines;
    for (int i = 0; i < Lines; ++i)
        lines += "5 1 " + QByteArray::number(i) + " a b c d e f\r";
    QVERIFY(f.sendCounted(lines, Lines, 60000));
    const qint64 grown = Probe::residentBytes() - before;
    qInfo("%d lines of 32767 columns: resident memory grew by %lld kB", Lines, grown / 1024);

    FlexGrid* grid = w.tables().currentGrid();
    QCOMPARE(grid->Cols(), 32768);
    QCOMPARE(grid->Rows(), Lines + 1);
    QCOMPARE(grid->TextMatrix(Lines, 1), QStringLiteral("a"));
    QCOMPARE(grid->TextMatrix(Lines, 4), QStringLiteral("d"));
    QCOMPARE(grid->TextMatrix(Lines, 5), QString()); // slot 5 is not "EFL"
    QCOMPARE(grid->TextMatrix(Lines, 6), QStringLiteral("f"));
    QCOMPARE(grid->TextMatrix(Lines, 32767), QString());
    if (Probe::MemoryMeaningful)
        QVERIFY2(grown < 64 * 1024 * 1024, qPrintable(QString::number(grown / 1024)));
}

QTEST_MAIN(TestLinkFaults)
#include "test_linkfaults.moc"
