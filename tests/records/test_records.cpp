// Line records: each table line knows when, in which unit and how it was written, follows its line, and
// goes out with it in the CSV export.
#include "analysis/csvexport.h"
#include "connection/comlink.h"
#include "mainwindow/formmain.h"
#include "state/appstate.h"
#include "tables/tablefiles.h"
#include "tables/tableset.h"
#include "widgets/filedialog.h"
#include "widgets/flexgrid.h"
#include "widgets/messagebox.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

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
        if (quoted && c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
            field += text.at(++i);
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char(','))
            row << std::exchange(field, QString());
        else if (!quoted && c == QLatin1Char('\r') && text.mid(i, 2) == QLatin1String("\r\n")) {
            rows << (row << std::exchange(field, QString()));
            row.clear();
            ++i;
        } else
            field += c;
    }
    return rows;
}
} // namespace

class TestRecords : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ComLink> m_link;
    std::unique_ptr<FormMain> m_main;
    QStringList m_messages;

    FlexGrid& table() { return *m_main->tables().currentGrid(); }
    void angles(double x, double y)
    {
        m_state->link.conStatus = 1;
        m_state->link.angleStatus = 3;
        m_state->link.angleX = x;
        m_state->link.angleY = y;
    }
    QList<QStringList> exported()
    {
        const QString path = m_dir.filePath(QStringLiteral("table.csv"));
        FileDialog::setChooser([path](FileDialog::Kind kind, const QString&) {
            return kind == FileDialog::Kind::ExportCsv ? path : QString();
        });
        m_main->ActionExportCsv->trigger();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? parseCsv(file.readAll()) : QList<QStringList>();
    }

private slots:
    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        qputenv("TARNOLUX_COM1", m_dir.filePath(QStringLiteral("no-device")).toLocal8Bit());
        MessageBox::setHandler([this](QWidget*, const QString& text) { m_messages << text; });
        m_messages.clear();
        m_state = std::make_unique<AppState>();
        m_link = std::make_unique<ComLink>(*m_state);
        m_main = std::make_unique<FormMain>(*m_state, *m_link);
        m_main->show();
        m_main->TimerDisplay_Timer();
    }
    void cleanup()
    {
        m_main.reset();
        m_link.reset();
        m_state.reset();
        FileDialog::setChooser({});
    }

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
        m_main->OptionMrad->click();
        m_main->CommandSet->click(); // zero at 100, -50
        angles(112.5, -47);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        MainWindowCalls& link = *m_main;
        if (source == QLatin1String("button")) {
            m_main->CommandVal2Table->click();
        } else if (source == QLatin1String("interval")) {
            m_main->TextTimer->setText(QStringLiteral("1"));
            m_main->CommandStart->click();
            link.haveAngleMsg();
            m_main->CommandStop->click();
        } else if (source == QLatin1String("instrument key") || source == QLatin1String("remote control")) {
            m_state->link.storeSignal = source == QLatin1String("remote control") ? 1 : 2;
            link.XY2Table();
        } else if (source == QLatin1String("memory readout")) {
            link.setGridForLoad(1, 1, 2);
            link.addLine(1);
            link.setColumn(QStringLiteral("1.5"));
        } else if (source == QLatin1String("file")) {
            const QString path = m_dir.filePath(QStringLiteral("in.txt"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("1.5\t2.5\r\n") > 0);
            file.close();
            FileDialog::setChooser([path](FileDialog::Kind, const QString&) { return path; });
            m_main->CommandOpen->click();
        } else {
            m_state->options.modeTobar = true;
            m_main->TimerDisplay_Timer();
            m_main->TextTobar->setText(QStringLiteral("7.25mm"));
            m_state->link.tobarValue = QStringLiteral("7.25");
            m_main->CommandVal2Table->click();
        }
        const LineRecord* r = table().record(1);
        QVERIFY(r);
        QCOMPARE(CsvExport::sourceName(r->source), source);
        const bool measured = source != QLatin1String("memory readout") && source != QLatin1String("file");
        QCOMPARE(r->hasTime(), measured);
        if (measured)
            QVERIFY(r->msecs >= before && r->msecs <= QDateTime::currentMSecsSinceEpoch());
        if (measured && source != QLatin1String("TOBAR")) {
            QCOMPARE(r->unit, qint16(3));
            QCOMPARE(r->x, 12.5);
            QCOMPARE(r->y, 3.0);
            QCOMPARE(r->zeroX, 100.0);
            QCOMPARE(r->zeroY, -50.0);
        } else {
            QVERIFY(source == QLatin1String("TOBAR") ? r->x == 7.25 : std::isnan(r->x));
            QCOMPARE(r->unit, qint16(-1));
        }
    }

    void recordsFollowTheirLines()
    {
        for (int i = 1; i <= 5; ++i) {
            angles(i, -i);
            m_main->CommandVal2Table->click();
        }
        table().setRow(2);
        table().setRowSel(3);
        m_main->CommandDelete->click();
        QCOMPARE(table().Rows(), 4);
        for (qint32 line = 1; line <= 3; ++line) {
            QCOMPARE(table().TextMatrix(line, 0), QString::number(line));
            QCOMPARE(table().record(line)->x, line == 1 ? 1.0 : line + 2.0);
        }
        m_main->CommandClearGrid->click();
        m_main->CommandVal2Table->click();
        QCOMPARE(table().record(1)->x, 5.0);
    }

    void exportedWithTheirOwnUnits()
    {
        angles(3600, 1.5);
        m_main->CommandVal2Table->click();
        m_main->OptionDegree->click();
        m_main->CommandVal2Table->click();
        const QList<QStringList> rows = exported();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].join(QLatin1Char(',')),
                 QStringLiteral("line,time,x,y,unit,x_arcsec,y_arcsec,zero_x_arcsec,zero_y_arcsec,source"));
        QCOMPARE(rows[1].mid(2, 4), (QStringList{table().TextMatrix(1, 1), table().TextMatrix(1, 2),
                                                 QStringLiteral("arcsec"), QStringLiteral("3600")}));
        QCOMPARE(rows[2].mid(2, 4), (QStringList{table().TextMatrix(2, 1), table().TextMatrix(2, 2),
                                                 QStringLiteral("degree"), QStringLiteral("3600")}));
        QVERIFY(QDateTime::fromString(rows[1][1], Qt::ISODateWithMs).isValid());
        QCOMPARE(rows[2][9], QStringLiteral("button"));
    }

    void fullTableReadBack()
    {
        for (qint32 i = 1; i < TableSet::FullRows - 1; ++i) {
            angles(i / 7.0, -i / 3.0);
            m_main->tables().XY2Table();
        }
        const QList<QStringList> rows = exported();
        QCOMPARE(rows.size(), table().Rows());
        for (qint32 line = 1; line < table().Rows(); line += 997) {
            QCOMPARE(rows[line][2], table().TextMatrix(line, 1));
            QCOMPARE(rows[line][5].toDouble(), table().record(line)->x);
            QCOMPARE(rows[line][6].toDouble(), table().record(line)->y);
        }
    }

    void failedExportSaysSo()
    {
        m_main->CommandVal2Table->click();
        const QString folder = m_dir.filePath(QStringLiteral("a-folder.csv"));
        QVERIFY(QDir().mkpath(folder));
        FileDialog::setChooser([folder](FileDialog::Kind, const QString&) { return folder; });
        m_main->ActionExportCsv->trigger();
        QCOMPARE(m_messages, QStringList{QStringLiteral("The table could not be exported to ") + folder +
                                         QLatin1Char('.')});
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_MAIN(TestRecords)
#include "test_records.moc"
