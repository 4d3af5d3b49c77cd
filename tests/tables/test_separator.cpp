#include "state/separator.h"

#include <QTest>

class TestSeparator : public QObject {
    Q_OBJECT
private slots:
    void rule_data()
    {
        QTest::addColumn<bool>("useComma");
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("dot to comma") << true << "12.5"
                                      << "12,5";
        QTest::newRow("negative") << true << "-0.25"
                                  << "-0,25";
        QTest::newRow("leading dot stays") << true << ".5"
                                           << ".5";
        QTest::newRow("first only") << true << "1.234.5"
                                    << "1,234.5";
        QTest::newRow("placeholder") << true << ".........."
                                     << "..........";
        QTest::newRow("no separator") << true << "17"
                                      << "17";
        QTest::newRow("comma kept with comma wanted") << true << "12,5"
                                                      << "12,5";
        QTest::newRow("comma to dot") << false << "12,5"
                                      << "12.5";
        QTest::newRow("negative to dot") << false << "-0,25"
                                         << "-0.25";
        QTest::newRow("leading comma stays") << false << ",5"
                                             << ",5";
        QTest::newRow("dot kept") << false << "12.5"
                                  << "12.5";
        QTest::newRow("empty") << false << ""
                               << "";
        QTest::newRow("single char") << true << "."
                                     << ".";
    }
    void rule()
    {
        QFETCH(bool, useComma);
        QFETCH(QString, in);
        QFETCH(QString, out);
        QString s = in;
        QCOMPARE(setSeperator(s, useComma), out);
        QCOMPARE(s, out); // in place
    }
};

QTEST_APPLESS_MAIN(TestSeparator)
#include "test_separator.moc"
