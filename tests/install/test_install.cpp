#include "settings/settingkeys.h"
#include "widgets/appicon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
const QString AppId = QStringLiteral("example.tarnolux.tarnolux");
const QString DesktopEntry = QStringLiteral("share/applications/") + AppId + QStringLiteral(".desktop");
const QString Metainfo = QStringLiteral("share/metainfo/") + AppId + QStringLiteral(".metainfo.xml");
constexpr int IconSizes[] = {16, 24, 32, 48, 64, 128, 256};
constexpr int ProcessLimitMs = 60000;

struct Finished {
    bool ran = false;
    int exitCode = -1;
    QString output;
};

// Runs a program to its end, standard output and error together.
Finished runProgram(const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Finished result;
    result.ran = process.waitForFinished(ProcessLimitMs) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

// The installed program catches SIGTERM once its main window is shown: from then on a termination
// request closes the window the normal way.
bool catchesTermination(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool ok = false;
            const quint64 mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (quint64(1) << (SIGTERM - 1))) != 0;
        }
    }
    return false;
}

// Key=value lines of the desktop entry's main group (the only group it has).
QHash<QString, QString> desktopKeys(const QString& path)
{
    QHash<QString, QString> keys;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
            if (const qsizetype at = line.indexOf(QLatin1Char('=')); at > 0)
                keys.insert(line.left(at).trimmed(), line.mid(at + 1).trimmed());
    return keys;
}
} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    // Installed trees by name, each the /usr of its root.
    QList<QPair<QString, QString>> m_trees;

    void addTreeRows()
    {
        QTest::addColumn<QString>("tree");
        for (const auto& [name, path] : m_trees)
            QTest::newRow(qPrintable(name)) << path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), m_dir.filePath(QStringLiteral("installed")));
        const Finished install = runProgram(QStringLiteral(TARNOLUX_CMAKE),
                                            {QStringLiteral("--install"), QStringLiteral(TARNOLUX_BUILD_DIR),
                                             QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                            environment);
        QVERIFY2(install.ran && install.exitCode == 0, qPrintable(install.output));
        m_trees.append({QStringLiteral("cmake --install"), m_dir.filePath(QStringLiteral("installed/usr"))});

        // make package names the package it built.
        const QString package = qEnvironmentVariable("TARNOLUX_DEB");
        if (!package.isEmpty()) {
            const QString root = m_dir.filePath(QStringLiteral("unpacked"));
            const Finished unpack = runProgram(QStringLiteral("dpkg"), {QStringLiteral("-x"), package, root});
            QVERIFY2(unpack.ran && unpack.exitCode == 0, qPrintable(unpack.output));
            m_trees.append({QStringLiteral("Debian package"), root + QStringLiteral("/usr")});
        }
    }

    void layout_data() { addTreeRows(); }
    void layout()
    {
        QFETCH(QString, tree);
        // Programs and desktop files only: no libraries, headers, tests or tools of the build.
        QCOMPARE(QDir(tree).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("bin"), QStringLiteral("share")}));
        QCOMPARE(QDir(tree + QStringLiteral("/bin")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("tarnolux"), QStringLiteral("tarnolux-sim")}));
        for (const QString& program : {QStringLiteral("bin/tarnolux"), QStringLiteral("bin/tarnolux-sim")})
            QVERIFY2(QFileInfo(tree + QLatin1Char('/') + program).isExecutable(), qPrintable(program));
        QVERIFY(QFileInfo::exists(tree + QLatin1Char('/') + DesktopEntry));
        QVERIFY(QFileInfo::exists(tree + QLatin1Char('/') + Metainfo));
    }

    void icons_data() { addTreeRows(); }
    void icons()
    {
        QFETCH(QString, tree);
        const QDir theme(tree + QStringLiteral("/share/icons/hicolor"));
        QStringList expected;
        for (const int size : IconSizes) {
            const QString folder = QStringLiteral("%1x%1").arg(size);
            expected << folder;
            QImage image(theme.filePath(folder + QStringLiteral("/apps/tarnolux.png")));
            QVERIFY2(!image.isNull(), qPrintable(folder));
            QCOMPARE(image.size(), QSize(size, size));
            // The same picture the program gives its windows, not a stale or scaled copy.
            QCOMPARE(image.convertToFormat(QImage::Format_ARGB32),
                     AppIcon::render(size).convertToFormat(QImage::Format_ARGB32));
        }
        QStringList present = theme.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        present.sort();
        expected.sort();
        QCOMPARE(present, expected);
    }

    void desktopEntry_data() { addTreeRows(); }
    void desktopEntry()
    {
        QFETCH(QString, tree);
        const QString path = tree + QLatin1Char('/') + DesktopEntry;
        const QHash<QString, QString> keys = desktopKeys(path);
        QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("TARNOLUX"));
        QVERIFY(!keys.value(QStringLiteral("Comment")).isEmpty());
        QVERIFY(keys.value(QStringLiteral("Categories"))
                    .split(QLatin1Char(';'))
                    .contains(QStringLiteral("Science")));
        // The menu starts the installed program and shows the installed icon.
        QCOMPARE(keys.value(QStringLiteral("Exec")), QStringLiteral("tarnolux"));
        QCOMPARE(keys.value(QStringLiteral("Icon")), QStringLiteral("tarnolux"));
        // X11 window managers match the window to this entry by its class, the program's name.
        QCOMPARE(keys.value(QStringLiteral("StartupWMClass")), QStringLiteral("tarnolux"));

        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (make package installs it)");
        const Finished check = runProgram(validator, {path});
        QVERIFY(check.ran);
        QVERIFY2(check.exitCode == 0 && !check.output.contains(QStringLiteral("error")) &&
                     !check.output.contains(QStringLiteral("warning")),
                 qPrintable(check.output));
    }

    void metainfo_data() { addTreeRows(); }
    void metainfo()
    {
        QFETCH(QString, tree);
        const QString path = tree + QLatin1Char('/') + Metainfo;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray xml = file.readAll();
        QVERIFY(xml.contains("<id>" + AppId.toUtf8() + "</id>"));
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">" + AppId.toUtf8() + ".desktop</launchable>"));

        const QString validator = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
        if (validator.isEmpty())
            QSKIP("appstreamcli is not installed (make package installs it)");
        const Finished check =
            runProgram(validator, {QStringLiteral("validate"), QStringLiteral("--no-net"), path});
        QVERIFY(check.ran);
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));
    }

    void startsAndCloses_data() { addTreeRows(); }
    void startsAndCloses()
    {
        QFETCH(QString, tree);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.remove(QStringLiteral("TARNOLUX_COM1"));

        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(tree + QStringLiteral("/bin/tarnolux"), QStringList());
        QVERIFY2(program.waitForStarted(ProcessLimitMs), qPrintable(program.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(
            program.state() != QProcess::Running || catchesTermination(program.processId()), ProcessLimitMs);
        QVERIFY2(program.state() == QProcess::Running, program.readAll().constData());

        program.terminate();
        QVERIFY(program.waitForFinished(ProcessLimitMs));
        const QByteArray output = program.readAll();
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, output.constData());
        QCOMPARE(program.exitCode(), 0);

        // Closing the window wrote its place and size into the user's settings.
        const QString conf = home.filePath(QStringLiteral("config/tarnolux/tarnolux.conf"));
        QVERIFY2(QFileInfo::exists(conf), output.constData());
        QSettings settings(conf, QSettings::IniFormat);
        QCOMPARE(settings.value(SettingKeys::path(SettingKeys::MainWidth)).toString(), QStringLiteral("6135"));
        QCOMPARE(settings.value(SettingKeys::path(SettingKeys::ModeTobar)).toString(), QStringLiteral("False"));
    }

    void debianPackage()
    {
        const QString package = qEnvironmentVariable("TARNOLUX_DEB");
        if (package.isEmpty())
            QSKIP("make package runs this with the package it built");
        const Finished fields = runProgram(QStringLiteral("dpkg-deb"),
                                           {QStringLiteral("--field"), package, QStringLiteral("Package"),
                                            QStringLiteral("Version"), QStringLiteral("Depends")});
        QVERIFY2(fields.ran && fields.exitCode == 0, qPrintable(fields.output));
        QVERIFY2(fields.output.contains(QStringLiteral("Package: tarnolux\n")), qPrintable(fields.output));
        QVERIFY2(fields.output.contains(QStringLiteral("Version: " TARNOLUX_VERSION "\n")),
                 qPrintable(fields.output));
        // The Qt runtime the programs link, as dpkg-shlibdeps found it.
        for (const QString& runtime : {QStringLiteral("libqt6core6"), QStringLiteral("libqt6gui6"),
                                       QStringLiteral("libqt6widgets6"), QStringLiteral("libqt6serialport6")})
            QVERIFY2(fields.output.contains(runtime), qPrintable(fields.output));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
