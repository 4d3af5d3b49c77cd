// The program as it is installed: by cmake --install and, under make package, from the Debian package.
// Each installed tree holds the programs, icons, desktop entry and metadata only, and the installed
// program starts, keeps its settings and ends on a termination request.
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
const QString DesktopEntry = QStringLiteral("/share/applications/") + AppId + QStringLiteral(".desktop");
const QString Metainfo = QStringLiteral("/share/metainfo/") + AppId + QStringLiteral(".metainfo.xml");
constexpr int LimitMs = 60000;

// Runs a program to its end; its exit code (-1 when it did not end normally) and its output.
QPair<int, QString> run(const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(LimitMs) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, QString::fromLocal8Bit(process.readAll())};
}

// A validator's verdict on a file, or a skip where make package has not installed it.
#define VALIDATE(tool, ...)                                                                                  \
    if (const QString validator = QStandardPaths::findExecutable(QStringLiteral(tool));                      \
        !validator.isEmpty()) {                                                                              \
        const auto [code, output] = run(validator, {__VA_ARGS__});                                           \
        QVERIFY2(code == 0 && !output.contains(QLatin1String("warning")), qPrintable(output));               \
    }

// The installed program catches SIGTERM once its main window is shown.
bool catchesTermination(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QList<QByteArray> lines =
        status.open(QIODevice::ReadOnly) ? status.readAll().split('\n') : QList<QByteArray>();
    for (const QByteArray& line : lines)
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) & (quint64(1) << (SIGTERM - 1))) != 0;
    return false;
}
} // namespace

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QList<QPair<QString, QString>> m_trees; // by name, each the /usr of its root

private slots:
    void initTestCase()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), m_dir.filePath(QStringLiteral("installed")));
        const auto [code, output] = run(QStringLiteral(TARNOLUX_CMAKE),
                                        {QStringLiteral("--install"), QStringLiteral(TARNOLUX_BUILD_DIR),
                                         QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                        environment);
        QVERIFY2(code == 0, qPrintable(output));
        m_trees.append({QStringLiteral("cmake --install"), m_dir.filePath(QStringLiteral("installed/usr"))});
        if (const QString package = qEnvironmentVariable("TARNOLUX_DEB"); !package.isEmpty()) {
            const QString root = m_dir.filePath(QStringLiteral("unpacked"));
            QCOMPARE(run(QStringLiteral("dpkg"), {QStringLiteral("-x"), package, root}).first, 0);
            m_trees.append({QStringLiteral("Debian package"), root + QStringLiteral("/usr")});
        }
    }

    void installedTree_data()
    {
        QTest::addColumn<QString>("tree");
        for (const auto& [name, path] : m_trees)
            QTest::newRow(qPrintable(name)) << path;
    }
    void installedTree()
    {
        QFETCH(QString, tree);
        const auto entries = [&tree](const QString& folder, QDir::Filters filters = QDir::AllEntries) {
            return QDir(tree + folder)
                .entryList(filters | QDir::NoDotAndDotDot, QDir::Name)
                .join(QLatin1Char(' '));
        };
        // Programs and desktop files only: no libraries, headers, tests or tools of the build.
        QCOMPARE(entries(QString()), QStringLiteral("bin share"));
        QCOMPARE(entries(QStringLiteral("/bin"), QDir::Executable | QDir::Files),
                 QStringLiteral("tarnolux tarnolux-journal tarnolux-plate tarnolux-sim"));
        QCOMPARE(entries(QStringLiteral("/share/icons/hicolor")),
                 QStringLiteral("128x128 16x16 24x24 256x256 32x32 48x48 64x64"));
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            // The picture the program gives its windows, not a stale or scaled copy.
            const QImage image(tree +
                               QStringLiteral("/share/icons/hicolor/%1x%1/apps/tarnolux.png").arg(size));
            QCOMPARE(image.convertToFormat(QImage::Format_ARGB32),
                     AppIcon::render(size).convertToFormat(QImage::Format_ARGB32));
        }
        QSettings entry(tree + DesktopEntry, QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        // The menu starts the installed program with its icon; window managers match the window by its class.
        for (const char* key : {"Exec", "Icon", "StartupWMClass"})
            QCOMPARE(entry.value(QLatin1String(key)).toString(), QStringLiteral("tarnolux"));
        QCOMPARE(entry.value(QStringLiteral("Name")).toString(), QStringLiteral("TARNOLUX"));
        QVERIFY(entry.value(QStringLiteral("Categories")).toString().startsWith(QLatin1String("Science")));
        QFile metainfo(tree + Metainfo);
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        const QByteArray xml = metainfo.readAll();
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">" + AppId.toUtf8() + ".desktop</launchable>"));
        VALIDATE("desktop-file-validate", tree + DesktopEntry)
        VALIDATE("appstreamcli", QStringLiteral("validate"), QStringLiteral("--no-net"), tree + Metainfo)
    }

    void startsAndCloses_data() { installedTree_data(); }
    void startsAndCloses()
    {
        QFETCH(QString, tree);
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.remove(QStringLiteral("TARNOLUX_COM1"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(tree + QStringLiteral("/bin/tarnolux"), QStringList());
        QVERIFY2(program.waitForStarted(LimitMs), qPrintable(program.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(
            program.state() != QProcess::Running || catchesTermination(program.processId()), LimitMs);
        QVERIFY2(program.state() == QProcess::Running, program.readAll().constData());
        program.terminate();
        QVERIFY(program.waitForFinished(LimitMs));
        QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
                 program.readAll().constData());
        // Closing the window wrote its place and size into the user's settings.
        QSettings settings(home.filePath(QStringLiteral("config/tarnolux/tarnolux.conf")),
                           QSettings::IniFormat);
        QCOMPARE(settings.value(SettingKeys::path(SettingKeys::MainWidth)).toString(),
                 QStringLiteral("6135"));
        QCOMPARE(settings.value(SettingKeys::path(SettingKeys::ModeTobar)).toString(),
                 QStringLiteral("False"));
    }

    void debianPackage()
    {
        const QString package = qEnvironmentVariable("TARNOLUX_DEB");
        if (package.isEmpty())
            QSKIP("make package runs this with the package it built");
        const auto [code, fields] = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), package});
        QVERIFY2(code == 0, qPrintable(fields));
        QVERIFY2(fields.contains(QLatin1String("Package: tarnolux\n")) &&
                     fields.contains(QLatin1String("Version: " TARNOLUX_VERSION "\n")),
                 qPrintable(fields));
        // The Qt runtime the programs link, as dpkg-shlibdeps found it.
        for (const char* runtime : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6serialport6"})
            QVERIFY2(fields.contains(QLatin1String(runtime)), qPrintable(fields));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
