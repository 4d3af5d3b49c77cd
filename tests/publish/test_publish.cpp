// Publishing to a real mosquitto on a free loopback port, its configuration and data in a temporary folder.

#include "dialogs/publishdialog.h"
#include "link/link.h"
#include "mainwindow/formmain.h"
#include "publish/publisher.h"
#include "state/appstate.h"
#include "tables/tables.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// Field i of a subscriber's line "retain topic payload"; the last takes the rest.
QByteArray field(const QByteArray& line, int i)
{
    return line.split(' ').mid(i, i == 2 ? -1 : 1).join(' ');
}

QString path(const QTemporaryDir& dir, const char* name)
{
    return dir.filePath(QLatin1String(name));
}

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A process whose output collects as it comes.
struct Process {
    QProcess process;
    QByteArray out;
    Process(const QString& program, const QStringList& args)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead, &process, [this] { out += process.readAll(); });
        process.start(program, args);
    }
    ~Process()
    {
        process.kill();
        process.waitForFinished();
    }
    // Lines "retain topic payload" of a subscriber.
    [[nodiscard]] QList<QByteArray> lines() const { return out.split('\n').mid(0, out.count('\n')); }
};

struct Broker {
    QTemporaryDir dir;
    int port = 0;
    QByteArray log; // every run's
    std::unique_ptr<Process> process;

    explicit Broker(const QByteArray& extra = {})
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        QFile conf(path(dir, "mosquitto.conf"));
        (void)conf.open(QIODevice::WriteOnly);
        conf.write("listener " + QByteArray::number(port) +
                   " 127.0.0.1\nuser root\nallow_anonymous true\nlog_dest stderr\nlog_type all\n" +
                   "persistence true\npersistence_location " + QFile::encodeName(dir.path()) + "/\n" + extra);
    }
    bool start()
    {
        process = std::make_unique<Process>(QStringLiteral("/usr/sbin/mosquitto"),
                                            QStringList{QStringLiteral("-c"), path(dir, "mosquitto.conf")});
        QElapsedTimer t;
        t.start();
        while (!process->out.contains(" running") && process->process.state() != QProcess::NotRunning &&
               t.elapsed() < 10000)
            process->process.waitForReadyRead(100);
        return process->out.contains(" running");
    }
    void stop()
    {
        process->process.terminate();
        process->process.waitForFinished();
        log += process->out;
        process.reset();
    }
    [[nodiscard]] int count(const QByteArray& text) const
    {
        return (log + (process ? process->out : QByteArray())).count(text);
    }
    [[nodiscard]] std::unique_ptr<Process> subscribe(const QStringList& more = {}) const
    {
        return std::make_unique<Process>(QStringLiteral("mosquitto_sub"),
                                         QStringList{QStringLiteral("-h"), QStringLiteral("localhost"),
                                                     QStringLiteral("-p"), QString::number(port),
                                                     QStringLiteral("-t"), QStringLiteral("lab/#"),
                                                     QStringLiteral("-F"), QStringLiteral("%r %t %p")} +
                                             more);
    }
};

// The program's core, publishing with its own settings.
struct Program {
    AppState state;
    Link link{state};
    Tables tables{state};
    Publisher publisher{state};
    explicit Program(const PublishSettings& s)
    {
        tables.setupForMode();
        publisher.follow(link, tables);
        publisher.apply(s);
    }
    void store(int n)
    {
        for (int i = 0; i < n; ++i) {
            state.link.angleX = tables.current().rows() / 8.0;
            state.link.angleStatus = 3;
            state.link.conStatus = 1;
            tables.XY2Table(LineRecord::Source::Interval);
        }
    }
};

PublishSettings settings(int port)
{
    PublishSettings s;
    s.enabled = true;
    s.host = QStringLiteral("localhost");
    s.port = port;
    s.prefix = QStringLiteral("lab/bench1");
    return s;
}

// The line numbers in the order they arrived (each once when unique), and the objects.
QList<QJsonObject> received(const Process& sub, const QByteArray& topic)
{
    QList<QJsonObject> found;
    for (const QByteArray& line : sub.lines())
        if (field(line, 1) == "lab/bench1/" + topic)
            found << QJsonDocument::fromJson(field(line, 2)).object();
    return found;
}

QList<int> numbers(const QList<QJsonObject>& lines, bool unique)
{
    QList<int> n;
    for (const QJsonObject& o : lines)
        if (!unique || !n.contains(o[QLatin1String("line")].toInt()))
            n << o[QLatin1String("line")].toInt();
    return n;
}

QList<int> range(int first, int last)
{
    QList<int> n;
    for (int i = first; i <= last; ++i)
        n << i;
    return n;
}

} // namespace

class TestPublish : public QObject {
    Q_OBJECT
    QTemporaryDir m_settings;

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }

    void everyLineOnceInOrder()
    {
        Broker broker;
        QVERIFY(broker.start());
        Program program(settings(broker.port));
        QTRY_VERIFY2(program.publisher.state().connected, qPrintable(program.publisher.state().lastError));
        const auto sub = broker.subscribe();
        QTRY_COMPARE(received(*sub, "status").size(), 1);
        program.state.angles.zeroX = 0.5;
        emit program.link.measurementDecoded(12.5, -3.25, 1, 1765000000125);
        program.store(300);
        QTRY_COMPARE(received(*sub, "line").size(), 300);
        QTRY_COMPARE(program.publisher.state().queued, 0);
        const QList<QJsonObject> lines = received(*sub, "line");
        QCOMPARE(numbers(lines, false), range(1, 300));
        const QJsonObject last = lines.last();
        QCOMPARE(last[QLatin1String("table")].toInt(), 1);
        QCOMPARE(last[QLatin1String("cells")].toArray().at(1).toString(),
                 program.tables.table(1).cell(300, 1));
        const QJsonObject record = last[QLatin1String("record")].toObject();
        QCOMPARE(record[QLatin1String("x")].toDouble(), 300 / 8.0 - 0.5);
        QCOMPARE(record[QLatin1String("cause")].toString(), QStringLiteral("interval"));
        QCOMPARE(record[QLatin1String("unit")].toString(), QStringLiteral("arcsec"));
        QVERIFY(record[QLatin1String("time")].toString().contains(
            QRegularExpression("T\\d\\d:\\d\\d:\\d\\d\\.\\d{3}")));
        const QList<QJsonObject> m = received(*sub, "measurement");
        QCOMPARE(m.size(), 1);
        QCOMPARE(m[0][QLatin1String("x")].toDouble(), 12.0);
        QVERIFY(m[0][QLatin1String("y")].isNull());
        QCOMPARE(m[0][QLatin1String("y_valid")].toBool(), false);
        QVERIFY(m[0][QLatin1String("time")].toString().contains(
            QRegularExpression("\\.125([+-]\\d\\d:\\d\\d|Z)$")));
    }

    void rateLimitKeepsTheNewest()
    {
        Broker broker;
        QVERIFY(broker.start());
        PublishSettings s = settings(broker.port);
        s.rate = 2;
        Program program(s);
        QTRY_VERIFY(program.publisher.state().connected);
        const auto sub = broker.subscribe();
        QTRY_COMPARE(received(*sub, "status").size(), 1);
        for (int i = 1; i <= 10; ++i)
            emit program.link.measurementDecoded(i, 0, 3, 1765000000000 + i);
        QTRY_COMPARE(received(*sub, "measurement").size(), 2);
        QCOMPARE(received(*sub, "measurement")[1][QLatin1String("x")].toDouble(), 10.0);
        QCOMPARE(received(*sub, "measurement")[0][QLatin1String("x")].toDouble(), 1.0);
    }

    void statusRetainedAndLastWill()
    {
        Broker broker;
        QVERIFY(broker.start());
        Process peer(QStringLiteral(PUBLISH_PEER),
                     {QString::number(broker.port), QStringLiteral("lab/bench1")});
        QTRY_VERIFY(peer.out.contains("connected"));
        const auto sub = broker.subscribe();
        QTRY_COMPARE(sub->lines().size(), 1);
        QVERIFY2(sub->lines()[0].startsWith("1 lab/bench1/status {"), sub->out);
        const QJsonObject online = QJsonDocument::fromJson(field(sub->lines()[0], 2)).object();
        QCOMPARE(online[QLatin1String("state")].toString(), QStringLiteral("online"));
        QCOMPARE(online[QLatin1String("mode")].toString(), QStringLiteral("text"));
        QCOMPARE(online[QLatin1String("device")].toString(), QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(!online[QLatin1String("version")].toString().isEmpty());
        peer.process.kill();
        QTRY_COMPARE(sub->lines().size(), 2);
        QCOMPARE(sub->lines()[1], QByteArray(R"(0 lab/bench1/status {"state":"offline"})"));
        const auto later = broker.subscribe();
        QTRY_COMPARE(later->lines().size(), 1);
        QCOMPARE(later->lines()[0], QByteArray(R"(1 lab/bench1/status {"state":"offline"})"));
    }

    void brokerAwayFiveSeconds()
    {
        Broker broker;
        QVERIFY(broker.start());
        // A lasting session: what is published while it is away waits for it at the broker.
        const auto sub = broker.subscribe({QStringLiteral("-c"), QStringLiteral("-i"), QStringLiteral("sub"),
                                           QStringLiteral("-q"), QStringLiteral("1")});
        QTRY_VERIFY(broker.count("New client connected") == 1);
        Program program(settings(broker.port));
        QTRY_VERIFY(program.publisher.state().connected);
        program.store(20);
        QTRY_COMPARE(received(*sub, "line").size(), 20);
        broker.stop();
        QTRY_VERIFY(!program.publisher.state().connected);
        // Lines stored for five seconds, one every 50 ms, while the broker is away.
        QTimer storing;
        connect(&storing, &QTimer::timeout, &storing, [&] { program.store(1); });
        storing.start(50);
        QTRY_COMPARE_WITH_TIMEOUT(program.tables.table(1).rows(), 121, 15000);
        storing.stop();
        QCOMPARE(program.publisher.state().queued, 100);
        QVERIFY(!program.publisher.state().connected);
        QVERIFY(broker.start());
        QTRY_COMPARE_WITH_TIMEOUT(numbers(received(*sub, "line"), true).size(), 120, 30000);
        QCOMPARE(numbers(received(*sub, "line"), true), range(1, 120));
        QTRY_COMPARE(program.publisher.state().queued, 0);
        QCOMPARE(program.publisher.state().dropped, 0);
    }

    void wrongPasswordWaits()
    {
        Broker setup;
        QVERIFY(run(QStringLiteral("mosquitto_passwd"),
                    {QStringLiteral("-b"), QStringLiteral("-c"), path(setup.dir, "passwords"),
                     QStringLiteral("op"), QStringLiteral("secret")}));
        Broker broker("allow_anonymous false\npassword_file " +
                      QFile::encodeName(path(setup.dir, "passwords")));
        QVERIFY(broker.start());
        PublishSettings s = settings(broker.port);
        s.user = QStringLiteral("op");
        s.password = QStringLiteral("wrong");
        QElapsedTimer since;
        since.start();
        Program program(s);
        QTRY_VERIFY(program.publisher.state().lastError.contains(QStringLiteral("not authorised")));
        // Attempts at 0, 1 and 3 s, the next at 7 s: a few seconds bring no more.
        QTest::qWait(int(4500 - since.elapsed()));
        const int attempts = broker.count("New connection from");
        QVERIFY2(attempts >= 2 && attempts <= 3, QByteArray::number(attempts));
        QVERIFY(!program.publisher.state().connected);
        program.store(1);
        QCOMPARE(program.publisher.state().queued, 1);
        s.password = QStringLiteral("secret");
        program.publisher.apply(s);
        QTRY_COMPARE(program.publisher.state().queued, 0);
    }

    void settingsWindowFromTheShortcut()
    {
        Broker broker;
        QVERIFY(broker.start());
        Program program(PublishSettings{});
        FormMain window(program.state, program.link, program.tables);
        window.setPublisher(&program.publisher);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        auto* dialog = window.findChild<PublishDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->findChild<QLabel*>("MqttConnection")->text(), QStringLiteral("off"));
        dialog->findChild<QCheckBox*>("MqttEnabled")->setChecked(true);
        dialog->findChild<QSpinBox*>("MqttPort")->setValue(broker.port);
        auto* password = dialog->findChild<QLineEdit*>("MqttPassword");
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        password->setText(QStringLiteral("pw"));
        dialog->findChild<QLineEdit*>("MqttUser")->setText(QStringLiteral("op"));
        dialog->findChild<QPushButton*>("MqttApply")->click();
        QTRY_COMPARE(dialog->findChild<QLabel*>("MqttConnection")->text(), QStringLiteral("connected"));
        const PublishSettings stored = PublishSettings::load();
        QVERIFY(stored.enabled && stored.port == broker.port && stored.password == QStringLiteral("pw"));
    }

    void tlsWithOwnCa()
    {
        Broker broker;
        const QString openssl = QStringLiteral("openssl");
        const auto key = [&](const char* name) {
            return QStringList{QStringLiteral("-newkey"),  QStringLiteral("ec"),
                               QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                               QStringLiteral("-nodes"),   QStringLiteral("-keyout"),
                               path(broker.dir, name)};
        };
        QFile ext(path(broker.dir, "ext.cnf"));
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        ext.close();
        QVERIFY(run(openssl,
                    QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-days"),
                                QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Test CA"),
                                QStringLiteral("-out"), path(broker.dir, "ca.crt")} +
                        key("ca.key")));
        QVERIFY(run(openssl, QStringList{QStringLiteral("req"), QStringLiteral("-subj"),
                                         QStringLiteral("/CN=localhost"), QStringLiteral("-out"),
                                         path(broker.dir, "server.csr")} +
                                 key("server.key")));
        QVERIFY(run(openssl, {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-days"),
                              QStringLiteral("2"), QStringLiteral("-in"), path(broker.dir, "server.csr"),
                              QStringLiteral("-CA"), path(broker.dir, "ca.crt"), QStringLiteral("-CAkey"),
                              path(broker.dir, "ca.key"), QStringLiteral("-CAcreateserial"),
                              QStringLiteral("-extfile"), path(broker.dir, "ext.cnf"), QStringLiteral("-out"),
                              path(broker.dir, "server.crt")}));
        QFile conf(path(broker.dir, "mosquitto.conf"));
        QVERIFY(conf.open(QIODevice::Append));
        conf.write("cafile " + QFile::encodeName(path(broker.dir, "ca.crt")) + "\ncertfile " +
                   QFile::encodeName(path(broker.dir, "server.crt")) + "\nkeyfile " +
                   QFile::encodeName(path(broker.dir, "server.key")) + "\n");
        conf.close();
        QVERIFY(broker.start());
        PublishSettings s = settings(broker.port);
        Program plain(s);
        s.tls = true;
        s.caFile = path(broker.dir, "ca.crt");
        Program secure(s);
        plain.store(1);
        secure.store(1);
        QTRY_COMPARE(secure.publisher.state().queued, 0);
        QVERIFY(secure.publisher.state().connected);
        QVERIFY(!plain.publisher.state().connected);
        QCOMPARE(plain.publisher.state().queued, 1);
        s.caFile = path(broker.dir, "missing.crt");
        plain.publisher.apply(s);
        QVERIFY(plain.publisher.state().lastError.contains(QStringLiteral("CA file")));
    }
};

QTEST_MAIN(TestPublish)
#include "test_publish.moc"
