// Table lines keep a record (when, unit, how) that follows them into CSV; emptied tables leave a copy.
#include "support/appfixture.h"

#include "analysis/linerecord.h"
#include "tables/recovery.h"
#include "tables/tablefiles.h"
#include "tables/tables.h"
#include "widgets/flexgrid.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QRegularExpression>

#include <cmath>

namespace {
// RFC 4180 rows of a UTF-8 text with a byte order mark.
QList<QStringList> parseCsv(const QByteArray& bytes)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    const QString text = QString::fromUtf8(bytes.mid(bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0));
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && c == QLatin1Char('"') && text.mid(i, 2) == QLatin1String("\"\""))
            field += text.at(++i);
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char(','))
            row << std::exchange(field, QString());
        else if (!quoted && c == QLatin1Char('\r') && ++i) // CR LF ends a row
            rows << (std::exchange(row, QStringList()) << std::exchange(field, QString()));
        else
            field += c;
    }
    return rows;
}
} // namespace

class TestTables : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> m_f;

    FormMain& w() { return *m_f->window; }
    FlexGrid& table() { return *w().tableViews().currentGrid(); }
    void angles(double x, double y)
    {
        m_f->state->link.conStatus = 1;
        m_f->state->link.angleStatus = 3;
        m_f->state->link.angleX = x;
        m_f->state->link.angleY = y;
    }
    void store(double x, double y)
    {
        angles(x, y);
        control<QPushButton>(w(), "CommandVal2Table")->click();
    }
    QList<QStringList> exported()
    {
        m_f->chosen = m_f->files.filePath(QStringLiteral("table.csv"));
        control<QAction>(w(), "ActionExportCsv")->trigger();
        return parseCsv(AppFixture::readFile(m_f->chosen));
    }
    static QStringList copies()
    {
        return QDir(Recovery::folder()).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    }

private slots:
    void init()
    {
        m_f = std::make_unique<AppFixture>();
        qputenv("XDG_DATA_HOME", m_f->files.filePath(QStringLiteral("data")).toLocal8Bit());
        m_f->start();
        m_f->laidOut();
    }
    void cleanup() { m_f.reset(); }

    void recordOfEachSource_data()
    {
        QTest::addColumn<QString>("source");
        for (const char* s :
             {"button", "interval", "instrument key", "remote control", "memory readout", "file", "TOBAR"})
            QTest::newRow(s) << QString::fromLatin1(s);
    }
    void recordOfEachSource()
    {
        QFETCH(QString, source);
        angles(100, -50);
        control<QRadioButton>(w(), "OptionMrad")->click();
        control<QPushButton>(w(), "CommandSet")->click(); // zero at 100, -50
        angles(112.5, -47);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const qint64 arrived = before - 250; // the message that asks for a line came earlier
        const bool byMessage = source == QLatin1String("interval") || source.endsWith(QLatin1String("key")) ||
                               source.startsWith(QLatin1String("remote"));
        FormMain& link = w();
        if (source == QLatin1String("button")) {
            control<QPushButton>(w(), "CommandVal2Table")->click();
        } else if (source == QLatin1String("interval")) {
            control<QLineEdit>(w(), "TextTimer")->setText(QStringLiteral("1"));
            control<QPushButton>(w(), "CommandStart")->click();
            link.haveAngleMsg(arrived);
        } else if (source.endsWith(QLatin1String("key")) || source.startsWith(QLatin1String("remote"))) {
            emit m_f->link->storeRequested(source.startsWith(QLatin1String("remote"))
                                               ? LineRecord::Source::RemoteControl
                                               : LineRecord::Source::InstrumentKey,
                                           arrived);
        } else if (source == QLatin1String("memory readout")) {
            emit m_f->link->readoutStarted(1, 1, 2);
            emit m_f->link->readoutLineStarted(1);
        } else if (source == QLatin1String("file")) {
            m_f->chosen = m_f->files.filePath(QStringLiteral("in.txt"));
            QFile file(m_f->chosen);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("1.5\t2.5\r\n") > 0);
            file.close();
            control<QPushButton>(w(), "CommandOpen")->click();
        } else {
            m_f->state->options.modeTobar = true;
            w().displayTick();
            m_f->state->link.tobarValue = QStringLiteral("7.25");
            control<QPushButton>(w(), "CommandVal2Table")->click();
        }
        const LineRecord* r = table().record(1);
        QVERIFY(r);
        const bool measured = source != QLatin1String("memory readout") && source != QLatin1String("file");
        QCOMPARE(r->hasTime(), measured);
        QVERIFY(!measured ||
                (byMessage ? r->msecs == arrived
                           : r->msecs >= before && r->msecs <= QDateTime::currentMSecsSinceEpoch()));
        const MeasurementLog& log = m_f->link->log();
        const std::vector<qint64> marks = log.marks(-1000000, log.now()); // a fresh program: only this line
        QCOMPARE(marks.size(), size_t(measured));
        QVERIFY(!measured || marks[0] == r->msecs - log.startMsecsSinceEpoch());
        const QStringList line = exported().value(1);
        QCOMPARE(line.value(line.size() - 1), source);
        if (measured && source != QLatin1String("TOBAR")) // x, y as shown, unit, arcsec, zero offsets
            QCOMPARE(line.mid(2, 7), QStringList({"0.0606", "0.0145", "mrad", "12.5", "3", "100", "-50"}));
        else if (source == QLatin1String("TOBAR"))
            QVERIFY(!r->unit && r->x == 7.25);
        else // texts, read in the unit shown when they came
            QVERIFY(line.value(4) == "mrad" && r->unit == AngleUnit::Mrad && std::isnan(r->x));
    }

    void recordsFollowTheirLines()
    {
        for (int i = 1; i <= 5; ++i)
            store(i, -i);
        table().setRow(2);
        table().setRowSel(3);
        control<QPushButton>(w(), "CommandDelete")->click();
        QCOMPARE(table().Rows(), 4);
        for (qint32 line = 1; line <= 3; ++line) {
            QCOMPARE(table().TextMatrix(line, 0), QString::number(line));
            QCOMPARE(table().record(line)->x, line == 1 ? 1.0 : line + 2.0);
        }
    }

    void csvWithEachLinesUnit()
    {
        store(3600, 34.69);
        control<QRadioButton>(w(), "OptionDegree")->click();
        control<QPushButton>(w(), "CommandVal2Table")->click();
        const QList<QStringList> rows = exported();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].join(QLatin1Char(',')),
                 QStringLiteral("line,time,x,y,unit,x_arcsec,y_arcsec,zero_x_arcsec,zero_y_arcsec,source"));
        QCOMPARE(rows[1].mid(2, 6), QStringList({"3600.000", "34.690", "arcsec", "3600", "34.69", "0"}));
        QCOMPARE(rows[2].mid(2, 4), QStringList({"1.000000", "0.009636", "degree", "3600"}));
        QVERIFY(QDateTime::fromString(rows[1][1], Qt::ISODateWithMs).isValid());
        QCOMPARE(rows[2][9], QStringLiteral("button"));
        m_f->chosen = m_f->files.path(); // a folder: the export fails and says so
        control<QAction>(w(), "ActionExportCsv")->trigger();
        QCOMPARE(m_f->messages, QStringList{QStringLiteral("The table could not be exported to ") +
                                            m_f->chosen + QLatin1Char('.')});
    }

    void tobarCsvQuotesWhatNeedsIt()
    {
        m_f->state->options.modeTobar = true;
        w().displayTick();
        m_f->state->link.lastTobarMsg = TobarMessage::Efl; // the reticle goes in its comment
        control<QLineEdit>(w(), "TextTobar")->setText(QStringLiteral("7,25mm"));
        control<QLineEdit>(w(), "TextGONG")->setText(QStringLiteral("Go"));
        control<QLineEdit>(w(), "TextReticle")->setText(QStringLiteral("a \"b\""));
        control<QPushButton>(w(), "CommandVal2Table")->click();
        const QList<QStringList> rows = exported();
        QCOMPARE(rows[0].join(QLatin1Char(',')),
                 QStringLiteral("line,time,value,unit,type,go_ng,comment,source"));
        QCOMPARE(rows[1].mid(2), QStringList({"7,25mm", "mm", "EFL", "Go", "Line pair a \"b\"", "TOBAR"}));
    }

    void fullTableCsvReadsBack()
    {
        for (qint32 i = 1; i < Tables::FullRows - 1; ++i) {
            angles(i / 7.0, -i / 3.0);
            w().tables().XY2Table();
        }
        const QList<QStringList> rows = exported();
        QCOMPARE(rows.size(), 32767); // the header and lines 1 .. 32766
        for (qint32 line = 1; line < rows.size(); line += 997) {
            QCOMPARE(rows[line][2], QString::number(line / 7.0, 'f', 3));
            QCOMPARE(QList<double>({rows[line][5].toDouble(), rows[line][6].toDouble()}),
                     QList<double>({line / 7.0, -line / 3.0}));
        }
    }

    void recoveryCopyOfEachCause_data()
    {
        QTest::addColumn<QString>("cause");
        for (const char* cause : {"clear-table", "mode-change", "readout", "open-file", "shutdown"})
            QTest::newRow(cause) << QString::fromLatin1(cause);
    }
    void recoveryCopyOfEachCause()
    {
        QFETCH(QString, cause);
        w().tables().setCurrent(3);
        for (int i = 0; i < 5; ++i)
            store(1.25 * i, -0.5 * i);
        m_f->state->options.useComma = true; // a copy takes the separator "Save" would use
        QVERIFY(copies().isEmpty());
        if (cause == QLatin1String("clear-table")) {
            control<QPushButton>(w(), "CommandClearGrid")->click();
        } else if (cause == QLatin1String("mode-change")) {
            m_f->state->options.modeTobar = true;
            w().displayTick();
        } else if (cause == QLatin1String("readout")) {
            w().tables().setGridForLoad(3, 10, 2);
        } else if (cause == QLatin1String("open-file")) {
            m_f->chosen = m_f->files.filePath(QStringLiteral("empty.txt"));
            QVERIFY(TableFiles::saveTable(w().tables().table(1), m_f->chosen, false));
            control<QPushButton>(w(), "CommandOpen")->click();
        } else {
            w().close();
        }
        QVERIFY(cause == QLatin1String("shutdown") || w().tableViews().grid(3)->Rows() == 1); // it went on
        const QStringList kept = copies();
        QCOMPARE(kept.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_table3_") +
                                    cause + QStringLiteral("\\.txt$"))
                     .match(kept.first())
                     .hasMatch(),
                 qPrintable(kept.first()));
        QCOMPARE(AppFixture::readFile(QDir(Recovery::folder()).filePath(kept.first())),
                 "0,000\t0,000\r\n1,250\t-0,500\r\n2,500\t-1,000\r\n3,750\t-1,500\r\n5,000\t-2,000\r\n");
    }

    void newestRecoveryCopiesKeptAndFailuresStopNothing()
    {
        QDir folder(Recovery::folder());
        QVERIFY(folder.mkpath(QStringLiteral(".")) &&
                QFile(folder.filePath("notes.txt")).open(QIODevice::WriteOnly));
        const auto name = [](int i) {
            return QDateTime(QDate(2020, 1, 1), QTime(0, 0))
                       .addSecs(i)
                       .toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                   QStringLiteral("_table1_clear-table.txt");
        };
        for (int i = 0; i < Recovery::Kept + 5; ++i)
            QVERIFY(QFile(folder.filePath(name(i))).open(QIODevice::WriteOnly));
        control<QPushButton>(w(), "CommandVal2Table")->click();
        control<QPushButton>(w(), "CommandClearGrid")->click();
        const QStringList kept = copies();
        QCOMPARE(kept.size(), 201); // the newest 200 and the operator's own file
        QVERIFY(kept.contains(QStringLiteral("notes.txt")) && !kept.contains(name(5)) &&
                kept.contains(name(6)));
        // A file takes the folder's name: no copy, and "Clear table" goes on.
        QVERIFY(folder.removeRecursively() && QFile(folder.path()).open(QIODevice::WriteOnly));
        control<QPushButton>(w(), "CommandVal2Table")->click();
        control<QPushButton>(w(), "CommandClearGrid")->click();
        QCOMPARE(table().Rows(), 1);
    }
};

QTEST_MAIN(TestTables)
#include "test_tables.moc"
