// Choosing the instrument's serial device in the connection window: from the list of devices present or
// typed, remembered per user, overridden by the environment, absent devices shown as such.
#include "connection/comlink.h"
#include "connection/formcom.h"
#include "platform/serialdevices.h"
#include "settings/settingkeys.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "support/ptypair.h"
#include "widgets/messagebox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestDevices : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    PtyPair m_first;
    PtyPair m_second;
    QList<SerialDevice> m_present;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ComLink> m_link;

    // A program start up to the shown connection window.
    FormCom& open()
    {
        m_link.reset();
        m_state = std::make_unique<AppState>();
        m_link = std::make_unique<ComLink>(*m_state);
        FormCom& form = m_link->form();
        form.show();
        return form;
    }
    static QString bound()
    {
        return QSettings().value(SettingKeys::path(SettingKeys::BoundDevice, 1)).toString();
    }
    void choose(FormCom& form, int index)
    {
        form.ComboDevice->setCurrentIndex(index);
        emit form.ComboDevice->activated(index);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_first.isValid() && m_second.isValid());
        QCoreApplication::setOrganizationName(SettingValues::AppName);
        QCoreApplication::setApplicationName(SettingValues::AppName);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        MessageBox::setHandler([](QWidget*, const QString&) {});
        SerialDevices::setLister([this] { return m_present; });
    }
    void init()
    {
        qunsetenv("TARNOLUX_COM1");
        QSettings().clear();
        m_present = {{m_first.path(), m_dir.filePath(QStringLiteral("by-id-first")),
                      QStringLiteral("USB serial"), QStringLiteral("Maker"), QStringLiteral("A1")}};
        QVERIFY(QFile::link(m_first.path(), m_present.first().stablePath) ||
                QFile::exists(m_present.first().stablePath));
    }

    void chosenDeviceIsBoundAndSurvivesARestart()
    {
        FormCom& form = open();
        QCOMPARE(form.ComboDevice->count(), 2); // the device and "Other…"
        QVERIFY(form.ComboDevice->itemText(0).contains(QLatin1String("USB serial, Maker, A1")));
        choose(form, 0);
        QCOMPARE(bound(), m_present.first().stablePath); // the stable name is what is kept
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        QVERIFY(form.ComboDevice->toolTip().contains(m_present.first().stablePath));
        form.close();
        FormCom& again = open();
        QCOMPARE(again.TextStatus->text(), QStringLiteral("o.k."));
        QCOMPARE(again.ComboDevice->currentIndex(), 0);
    }

    void typedPathIsBound()
    {
        FormCom& form = open();
        choose(form, form.ComboDevice->count() - 1); // "Other…"
        QVERIFY(form.ComboDevice->isEditable());
        QTest::keyClicks(form.ComboDevice->lineEdit(), m_second.path());
        QTest::keyClick(form.ComboDevice->lineEdit(), Qt::Key_Return);
        QCOMPARE(bound(), m_second.path());
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        QVERIFY(!form.ComboDevice->isEditable());
        QCOMPARE(form.ComboDevice->currentText(),
                 m_second.path()); // present, though the system does not list it
    }

    void environmentWins()
    {
        SettingValues::writeText(SettingKeys::BoundDevice, 1, m_dir.filePath(QStringLiteral("gone")));
        qputenv("TARNOLUX_COM1", m_second.path().toLocal8Bit());
        FormCom& form = open();
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        QVERIFY(form.ComboDevice->toolTip().contains(m_second.path()));
    }

    void absentBoundDeviceIsShownNotReplaced()
    {
        const QString gone = m_dir.filePath(QStringLiteral("unplugged"));
        SettingValues::writeText(SettingKeys::BoundDevice, 1, gone);
        FormCom& form = open();
        QCOMPARE(form.TextStatus->text(), QStringLiteral("Port is not available"));
        QCOMPARE(form.ComboDevice->currentText(), gone + QStringLiteral(" (absent)"));
        QVERIFY(form.ComboDevice->toolTip().contains(gone));
    }

    void listFollowsDevicesPluggedIn()
    {
        FormCom& form = open();
        QCOMPARE(form.ComboDevice->count(), 2);
        m_present.append({m_second.path(), QString(), QStringLiteral("second"), QString(), QString()});
        QTRY_COMPARE_WITH_TIMEOUT(form.ComboDevice->count(), 3, 5000); // the list looks again every 2 s
    }
};

QTEST_MAIN(TestDevices)
#include "test_devices.moc"
