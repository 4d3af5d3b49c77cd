// Nothing measured is lost silently. Recovery copies: every way a table with lines is emptied or replaced
// leaves a copy that "Open" reads back, the folder keeps the newest copies only, and a folder that cannot
// be written stops nothing. A vanished instrument: its last values are not shown or stored as current,
// and the operator is told once.
#include "connection/comlink.h"
#include "connection/formcom.h"
#include "mainwindow/formmain.h"
#include "settings/settingkeys.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "support/ptypair.h"
#include "tables/recovery.h"
#include "tables/tablefiles.h"
#include "tables/tableset.h"
#include "widgets/filedialog.h"
#include "widgets/flexgrid.h"
#include "widgets/messagebox.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ComLink> m_link;
    std::unique_ptr<FormMain> m_main;
    QStringList m_messages;

    // Table 3 holds lines; returns the bytes "Save" writes of it.
    QByteArray fillTable3()
    {
        m_main->tables().CT_Click(2);
        m_state->link.conStatus = 1;
        m_state->link.angleStatus = 3;
        for (int i = 0; i < 5; ++i) {
            m_state->link.angleX = 1.25 * i;
            m_state->link.angleY = -0.5 * i;
            m_main->XY2Table();
        }
        const QString saved = m_dir->filePath(QStringLiteral("saved.txt"));
        m_state->options.useComma = true; // copies take the separator "Save" would use
        return TableFiles::saveTable(*m_main->tables().grid(3), saved, true) ? bytesOf(saved) : QByteArray();
    }
    QStringList copies() const
    {
        return QDir(Recovery::folder()).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_dir->filePath(QStringLiteral("data")).toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
        qputenv("TARNOLUX_COM1", m_dir->filePath(QStringLiteral("no-device")).toLocal8Bit());
        m_messages.clear();
        MessageBox::setHandler([this](QWidget*, const QString& text) { m_messages << text; });
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
        m_dir.reset();
    }

    void eachCauseKeepsWhatSaveWrites_data()
    {
        QTest::addColumn<QString>("cause");
        for (const char* cause : {"clear-table", "mode-change", "readout", "open-file", "shutdown"})
            QTest::newRow(cause) << QString::fromLatin1(cause);
    }
    void eachCauseKeepsWhatSaveWrites()
    {
        QFETCH(QString, cause);
        const QByteArray saved = fillTable3();
        QVERIFY(!saved.isEmpty());
        QVERIFY(copies().isEmpty()); // filling a table writes none
        if (cause == QLatin1String("clear-table")) {
            m_main->CommandClearGrid->click();
        } else if (cause == QLatin1String("mode-change")) {
            m_state->options.modeTobar = true;
            m_main->TimerDisplay_Timer();
        } else if (cause == QLatin1String("readout")) {
            static_cast<MainWindowCalls&>(*m_main).setGridForLoad(3, 10, 2);
        } else if (cause == QLatin1String("open-file")) {
            const QString other = m_dir->filePath(QStringLiteral("other.txt"));
            QVERIFY(TableFiles::saveTable(*m_main->tables().grid(1), other, false)); // an empty table's file
            FileDialog::setChooser([other](FileDialog::Kind, const QString&) { return other; });
            m_main->CommandOpen->click();
        } else {
            m_main->close();
        }
        if (cause != QLatin1String("shutdown"))
            QCOMPARE(m_main->tables().grid(3)->Rows(), 1); // the operation itself went on
        const QStringList kept = copies();
        QCOMPARE(kept.size(), 1);
        QVERIFY2(kept.first().contains(QLatin1String("_table3_") + cause + QLatin1String(".txt")),
                 qPrintable(kept.first()));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_"))
                    .match(kept.first())
                    .hasMatch());
        QCOMPARE(bytesOf(QDir(Recovery::folder()).filePath(kept.first())), saved);
    }

    void newestCopiesKept()
    {
        QDir folder(Recovery::folder());
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
        const auto name = [&start](int i) {
            return start.addSecs(i).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                   QStringLiteral("_table1_clear-table.txt");
        };
        for (int i = 0; i < Recovery::Kept + 5; ++i) {
            QFile file(folder.filePath(name(i)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QFile own(folder.filePath(QStringLiteral("notes.txt"))); // not a copy: never removed
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.close();
        fillTable3();
        m_main->CommandClearGrid->click();
        const QStringList kept = copies();
        QCOMPARE(kept.size(), Recovery::Kept + 1);
        QVERIFY(kept.contains(QStringLiteral("notes.txt")));
        QVERIFY(!kept.contains(name(5))); // the six oldest went
        QVERIFY(kept.contains(name(6)));
        QVERIFY(kept.filter(QStringLiteral("_table3_clear-table")).size() == 1);
    }

    void unwritableFolderStopsNothing()
    {
        // The recovery folder's name is taken by a file.
        QVERIFY(QDir().mkpath(QFileInfo(Recovery::folder()).path()));
        QFile blocker(Recovery::folder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        fillTable3();
        m_main->CommandClearGrid->click();
        QCOMPARE(m_main->tables().grid(3)->Rows(), 1);
        QVERIFY(Recovery::keep(*m_main->tables().grid(1), 1, Recovery::Cause::ClearTable, false).isEmpty());
    }

    void vanishedInstrumentIsShownAsGone_data()
    {
        QTest::addColumn<bool>("textMode");
        QTest::addColumn<QByteArray>("angles"); // X 12.5, Y -3.25 arcsec
        QTest::newRow("text mode") << true << QByteArray("\r1 103 12.5 -3.25\r");
        QTest::newRow("compatible mode") << false << QByteArray::fromHex("02e20400bbfeff03").repeated(3);
    }
    void vanishedInstrumentIsShownAsGone()
    {
        QFETCH(bool, textMode);
        QFETCH(QByteArray, angles);
        PtyPair line;
        QVERIFY(line.isValid());
        qputenv("TARNOLUX_COM1", line.path().toLocal8Bit());
        SettingValues::writeInt(SettingKeys::PortMode, textMode ? 1 : 0);
        FormCom& form = m_link->form(); // loading connects
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        QVERIFY(line.write(angles));
        QTRY_COMPARE(m_main->TextX->text(),
                     QStringLiteral("12.500")); // compatible mode: after its status rule

        line.close();
        QTRY_COMPARE(m_messages, QStringList{QStringLiteral("No connection available")});
        m_main->TimerDisplay_Timer();
        const QString gone = m_main->TextX->text();
        QVERIFY2(gone.startsWith(QLatin1String("..........")), qPrintable(gone));
        m_main->CommandVal2Table->click();
        QCOMPARE(m_main->tables().currentGrid()->TextMatrix(1, 1), gone);
        m_main->CommandLoadFromOrv->click(); // sends nothing and tells nothing more
        for (int i = 0; i < 3; ++i)
            m_main->TimerDisplay_Timer();
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_state->link.portNum, qint16(0));
    }
};

QTEST_MAIN(TestRecovery)
#include "test_recovery.moc"
