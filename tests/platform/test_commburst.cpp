// A fast line that has queued more than the receive buffer holds: the serial port control takes it in
// pieces that fit, so a handler that drains every event loses nothing. (A pseudo-terminal hands over up to
// about 4 KB per read, so small buffers show what a full-speed line does to the real 8192 bytes.)
#include "platform/commcontrol.h"
#include "support/ptypair.h"

#include <QElapsedTimer>
#include <QTest>

namespace {
constexpr qint16 PortNumber = 6;
const char* const PortVariable = "TARNOLUX_COM6";
} // namespace

class TestCommBurst : public QObject {
    Q_OBJECT
private slots:
    void burstBeyondTheBufferArrivesWhole_data()
    {
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<int>("threshold");
        QTest::newRow("text mode, 100 bytes") << 100 << 1;
        QTest::newRow("compatible mode, 100 bytes") << 100 << 8;
        QTest::newRow("text mode, 1000 bytes") << 1000 << 1;
    }
    void burstBeyondTheBufferArrivesWhole()
    {
        QFETCH(int, bufferSize);
        QFETCH(int, threshold);
        PtyPair pty;
        QVERIFY(pty.isValid());
        qputenv(PortVariable, pty.path().toLocal8Bit());
        CommControl comm;
        QCOMPARE(comm.setCommPort(PortNumber), 0);
        QCOMPARE(comm.setSettings(QStringLiteral("19200,N,8,1")), 0);
        comm.setInBufferSize(bufferSize);
        QCOMPARE(comm.setPortOpen(true), 0);
        comm.setRThreshold(static_cast<qint16>(threshold));

        QByteArray received;
        int overflows = 0;
        connect(&comm, &CommControl::OnComm, this, [&](int code) {
            if (code == CommEvents::RxOver)
                ++overflows;
            comm.setInputLen(0);
            received += comm.Input();
        });

        QByteArray sent;
        for (int i = 0; i < 40000; ++i)
            sent += QByteArray::number(i) + ' ';
        // Fill the line before the control reads anything, then keep it full.
        qsizetype done = 0;
        for (qint64 n = 1; n > 0 && done < sent.size(); done += n)
            n = pty.writeSome(sent.mid(done));
        QVERIFY2(done > 4 * bufferSize, qPrintable(QString::number(done)));
        QElapsedTimer clock;
        clock.start();
        while (done < sent.size() && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            done += pty.writeSome(sent.mid(done));
        }
        // Fewer bytes than the threshold may wait at the end.
        QTRY_COMPARE(received.size() + comm.InBufferCount(), sent.size());
        comm.setInputLen(0);
        received += comm.Input();
        QCOMPARE(received, sent);
        QCOMPARE(overflows, 0);
        qunsetenv(PortVariable);
    }
};

QTEST_GUILESS_MAIN(TestCommBurst)
#include "test_commburst.moc"
