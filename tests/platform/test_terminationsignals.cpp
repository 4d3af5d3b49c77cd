#include "platform/terminationsignals.h"

#include <QTest>

#include <csignal>
#include <memory>

namespace {
// The disposition of a signal, without changing it.
void (*disposition(int signal))(int)
{
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    return current.sa_handler;
}
} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT

private slots:
    void requestRunsHandlerOnEventLoop_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void requestRunsHandlerOnEventLoop()
    {
        QFETCH(int, signal);
        QObject context;
        int calls = 0;
        QVERIFY(TerminationSignals::install(&context, [&calls] { ++calls; }));
        QVERIFY(::raise(signal) == 0);
        // Not inside the signal handler: only when events run.
        QCOMPARE(calls, 0);
        QTRY_COMPARE(calls, 1);
        QVERIFY(::raise(signal) == 0);
        QTRY_COMPARE(calls, 2);
    }

    void requestsDuringHandlerAreOne()
    {
        QObject context;
        int calls = 0;
        int depth = 0;
        int deepest = 0;
        QVERIFY(TerminationSignals::install(&context, [&] {
            ++calls;
            deepest = qMax(deepest, ++depth);
            // Closing windows lets events run; a second Ctrl+C meanwhile must not start a second close.
            (void)::raise(SIGINT);
            QCoreApplication::processEvents();
            --depth;
        }));
        QVERIFY(::raise(SIGTERM) == 0);
        QTRY_COMPARE(calls, 1);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
        QCOMPARE(deepest, 1);
    }

    void replacedHandlerNoLongerRuns()
    {
        QObject first;
        QObject second;
        int firstCalls = 0;
        int secondCalls = 0;
        QVERIFY(TerminationSignals::install(&first, [&firstCalls] { ++firstCalls; }));
        QVERIFY(TerminationSignals::install(&second, [&secondCalls] { ++secondCalls; }));
        QVERIFY(::raise(SIGTERM) == 0);
        QTRY_COMPARE(secondCalls, 1);
        QCOMPARE(firstCalls, 0);
    }

    void endOfContextRestoresDisposition()
    {
        const auto before = disposition(SIGTERM);
        auto context = std::make_unique<QObject>();
        QVERIFY(TerminationSignals::install(context.get(), [] {}));
        QVERIFY(disposition(SIGTERM) != before);
        // Otherwise a termination request after the window is gone would be swallowed.
        context.reset();
        QVERIFY(disposition(SIGTERM) == before);
    }

    void ignoredRequestStaysIgnored()
    {
        // As under nohup.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        struct sigaction saved {};
        QVERIFY(::sigaction(SIGHUP, &ignore, &saved) == 0);
        int calls = 0;
        {
            QObject context;
            QVERIFY(TerminationSignals::install(&context, [&calls] { ++calls; }));
            QVERIFY(disposition(SIGHUP) == SIG_IGN);
            QVERIFY(::raise(SIGHUP) == 0);
            QVERIFY(::raise(SIGTERM) == 0);
            QTRY_COMPARE(calls, 1);
        }
        QVERIFY(disposition(SIGHUP) == SIG_IGN);
        QVERIFY(::sigaction(SIGHUP, &saved, nullptr) == 0);
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "test_terminationsignals.moc"
