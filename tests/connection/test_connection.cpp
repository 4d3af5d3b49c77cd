// Choosing the serial device in the connection window; an instrument that vanishes while the program runs.
#include "support/appfixture.h"

#include "platform/serialdevices.h"
#include "tables/tables.h"

#include <QComboBox>
#include <QLineEdit>

class TestConnection : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> m_f;
    PtyPair m_second;
    QList<SerialDevice> m_present;

    FormCom& open()
    {
        m_f->start();
        FormCom& form = m_f->window->connection();
        form.show();
        return form;
    }
    static QString bound()
    {
        return AppFixture::store()->value(SettingKeys::path(SettingKeys::BoundDevice, 1)).toString();
    }
    static QComboBox* devices(FormCom& form) { return control<QComboBox>(form, "ComboDevice"); }
    static void choose(FormCom& form, int index)
    {
        devices(form)->setCurrentIndex(index);
        emit devices(form)->activated(index);
    }

private slots:
    void init()
    {
        m_f = std::make_unique<AppFixture>();
        qunsetenv("TARNOLUX_COM1");
        // The simulator's line listed as an adapter with a stable name.
        const QString stable = m_f->files.filePath(QStringLiteral("by-id-first"));
        QVERIFY(QFile::link(m_f->instrument.slavePath(), stable));
        m_present = {{m_f->instrument.slavePath(), stable, QStringLiteral("USB serial"),
                      QStringLiteral("Maker"), QStringLiteral("A1")}};
        SerialDevices::setLister([this] { return m_present; });
    }
    void cleanup()
    {
        m_f.reset();
        SerialDevices::setLister({});
    }

    void chosenDeviceIsBoundAndSurvivesARestart()
    {
        FormCom& form = open();
        QCOMPARE(devices(form)->count(), 2); // the adapter and "Other…"
        QVERIFY(devices(form)->itemText(0).contains(QLatin1String("USB serial, Maker, A1")));
        choose(form, 0);
        QCOMPARE(bound(), m_present.first().stablePath); // the stable name is what is kept
        QCOMPARE(control<QLineEdit>(form, "TextStatus")->text(), "o.k.");
        QVERIFY(devices(form)->toolTip().contains(m_present.first().stablePath));
        FormCom& again = open();
        QCOMPARE(control<QLineEdit>(again, "TextStatus")->text(), "o.k.");
        QCOMPARE(devices(again)->currentIndex(), 0);
        // A typed path: "Other…", the path, Enter.
        choose(again, devices(again)->count() - 1);
        QVERIFY(devices(again)->isEditable());
        QTest::keyClicks(devices(again)->lineEdit(), m_second.path());
        QTest::keyClick(devices(again)->lineEdit(), Qt::Key_Return);
        QCOMPARE(bound(), m_second.path());
        QCOMPARE(control<QLineEdit>(again, "TextStatus")->text(), "o.k.");
        QCOMPARE(devices(again)->currentText(), m_second.path()); // present, though not listed
        const int shown = devices(again)->count();
        m_present.append({QStringLiteral("/dev/ttyUSB7"), {}, QStringLiteral("plugged in"), {}, {}});
        QTRY_COMPARE_WITH_TIMEOUT(devices(again)->count(), shown + 1, 5000); // looked at again every 2 s
    }

    void environmentWinsAndAbsentDevicesShowAsSuch()
    {
        const QString gone = m_f->files.filePath(QStringLiteral("unplugged"));
        SettingValues::writeText(SettingKeys::BoundDevice, 1, gone);
        AppFixture::plugIn(m_second.path());
        FormCom& form = open();
        QCOMPARE(control<QLineEdit>(form, "TextStatus")->text(), "o.k.");
        QVERIFY(devices(form)->toolTip().contains(m_second.path()));
        qunsetenv("TARNOLUX_COM1");
        FormCom& again = open();
        QCOMPARE(control<QLineEdit>(again, "TextStatus")->text(), "Port is not available");
        QCOMPARE(devices(again)->currentText(), gone + QStringLiteral(" (absent)"));
        QVERIFY(devices(again)->toolTip().contains(gone));
    }

    // "Other…" takes a typed path on Enter (nothing typed: the list again); a path that names no device
    // stays the choice, marked absent, and the status says so.
    void typedPathIsBoundEvenWhenAbsent()
    {
        FormCom& form = open();
        QComboBox* box = devices(form);
        choose(form, 1);
        QVERIFY(box->isEditable());
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QVERIFY(!box->isEditable() && box->count() == 2);
        choose(form, 1);
        const QString gone = m_f->files.filePath(QStringLiteral("gone"));
        QTest::keyClicks(box->lineEdit(), gone);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCOMPARE(bound(), gone);
        QCOMPARE(box->currentText(), gone + QStringLiteral(" (absent)"));
        QCOMPARE(control<QLineEdit>(form, "TextStatus")->text(), "Port is not available");
        QCOMPARE(FormCom::statusText(PortCode::SetState), "8015 - Don't know what's wrong");
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
        AppFixture::plugIn(m_f->line.path());
        FormMain& w = m_f->start();
        FormCom& form = m_f->openLine(textMode);
        QCOMPARE(control<QLineEdit>(form, "TextStatus")->text(), "o.k.");
        QVERIFY(m_f->line.write(angles));
        QLineEdit* const boxX = control<QLineEdit>(w, "TextX");
        QTRY_COMPARE(boxX->text(), QStringLiteral("12.500")); // compatible mode: after its status rule

        m_f->line.close();
        QTRY_COMPARE(m_f->messages, QStringList{QStringLiteral("No connection available")});
        w.displayTick();
        const QString gone = boxX->text();
        QVERIFY2(gone.startsWith(QLatin1String("..........")), qPrintable(gone));
        control<QPushButton>(w, "CommandVal2Table")->click();
        QCOMPARE(w.tables().current().cell(1, 1), gone);
        control<QPushButton>(w, "CommandLoadFromOrv")->click(); // sends nothing and tells nothing more
        for (int i = 0; i < 3; ++i)
            w.displayTick();
        QCOMPARE(m_f->messages.size(), 1);
    }
};

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
