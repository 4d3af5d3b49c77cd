// The settings store holding arbitrary texts: the conversions on each text, then a whole start-up of the
// main window, its options dialog and its connection window from a store file holding them, and the
// shut-down, after which every key the program wrote must hold a value of its own form.
//
// Input: one line per key, in the order of the key table below; missing lines leave keys absent. The lines
// are written into the store file as they are, so a line may also be anything a hand-edited file holds.
#include "fuzzcheck.h"

#include "link/link.h"
#include "mainwindow/formmain.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/tables.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

using SettingKeys::All;
// Input line i sets All[i].
const int UpdatePathKey = [] {
    int i = 0;
    while (!(All[i] == SettingKeys::UpdatePath))
        ++i;
    return i;
}();

struct Harness {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QTemporaryDir> dir;
    int run = 0;
};
Harness* harness = nullptr;

void checkConversions(const QString& text)
{
    const double number = SettingValues::toNumber(text, 7.0);
    FUZZ_CHECK(std::isfinite(number));
    const qint16 small = SettingValues::toInt16(text, 7);
    const qint32 whole = SettingValues::toInt32(text, 7);
    if (small != 7)
        FUZZ_CHECK(Numbers::roundHalfEven(number) == small);
    if (whole != 7)
        FUZZ_CHECK(Numbers::roundHalfEven(number) == whole);
    (void)SettingValues::toFlag(text, false);
}

QString stored(const SettingKeys::Key& key)
{
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, SettingValues::AppName,
                          SettingValues::AppName);
    return store.value(SettingKeys::path(key), QStringLiteral("<absent>")).toString();
}

bool isNumberText(const QString& text)
{
    const auto value = Numbers::strictNumber(text);
    return (value && std::isfinite(*value)) || Numbers::strictNumber(text, QLocale::c());
}

bool isWholeText(const QString& text)
{
    return bool(Numbers::strictInt32(text)) || bool(Numbers::strictInt32(text, QLocale::c()));
}

// Every key the program writes holds a value of its kind's written form.
void checkWrittenBack()
{
    for (const SettingKeys::Key& key : All) {
        const QString text = stored(key);
        switch (key.kind) {
        case SettingKeys::Kind::Number:
            FUZZ_CHECK(isNumberText(text));
            break;
        case SettingKeys::Kind::Int16:
        case SettingKeys::Kind::Int32:
            FUZZ_CHECK(isWholeText(text));
            break;
        case SettingKeys::Kind::Flag:
            if (key == SettingKeys::ModeTobar)
                FUZZ_CHECK(text == QLatin1String("True") || text == QLatin1String("False"));
            else
                FUZZ_CHECK(text == QLatin1String("0") || text == QLatin1String("1"));
            break;
        case SettingKeys::Kind::Text:
            break;
        }
    }
    const QString mode = stored(SettingKeys::PortMode);
    FUZZ_CHECK(mode == QLatin1String("0") || mode == QLatin1String("1"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    harness = new Harness;
    harness->app = std::make_unique<QApplication>(*argc, *argv);
    harness->dir = std::make_unique<QTemporaryDir>();
    qputenv("TEMP", harness->dir->path().toLocal8Bit());
    MessageBox::setHandler([](QWidget*, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QByteArrayList values = input.split('\n');
    if (input.isEmpty())
        values.clear();

    // A store folder of its own per run: the settings cache never sees an earlier file.
    const QString root = harness->dir->filePath(QString::number(++harness->run));
    FUZZ_CHECK(QDir().mkpath(root + QStringLiteral("/tarnolux")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root);

    // Whatever the file says, the background file stays inside this folder: no separators in its name.
    if (values.size() > UpdatePathKey) {
        QByteArray name = values[UpdatePathKey];
        name.replace('/', '_').replace('\\', '_');
        values[UpdatePathKey] = root.toLocal8Bit() + '/' + name;
    }
    QByteArray file;
    QByteArrayList sections;
    for (const SettingKeys::Key& key : All) {
        if (!sections.contains(key.section))
            sections.append(key.section);
    }
    for (const QByteArray& section : sections) {
        file += "[" + section + "]\n";
        for (int i = 0; i < values.size() && i < int(std::size(All)); ++i) {
            if (section == All[i].section)
                file += QByteArray(All[i].key) + '=' + values.at(i) + '\n';
        }
    }
    {
        QFile conf(root + QStringLiteral("/tarnolux/tarnolux.conf"));
        FUZZ_CHECK(conf.open(QIODevice::WriteOnly));
        FUZZ_CHECK(conf.write(file) == file.size());
    }

    for (const SettingKeys::Key& key : All)
        checkConversions(stored(key));

    // The port the connection window will open names a device that does not exist.
    const qint16 port = SettingValues::readInt16(SettingKeys::PortNumber);
    const QByteArray portVariable = "TARNOLUX_COM" + QByteArray::number(port);
    if (port >= 1)
        qputenv(portVariable.constData(), QByteArray(root.toLocal8Bit() + "/no-such-line"));

    {
        AppState state;
        Link link(state);
        Tables tables(state);
        FormMain window(state, link, tables);
        window.show();
        window.displayTick();              // the first tick lays the window out and loads the options dialog
        QCoreApplication::processEvents(); // and the window is painted, whatever size it was given
        FUZZ_CHECK(window.optionsLoaded() != nullptr);
        link.load();
        FUZZ_CHECK(state.link.portMode == LinkMode::Compatible || state.link.portMode == LinkMode::Text);
        FUZZ_CHECK(state.options.backgroundSeconds == state.options.backgroundSeconds);
        window.close();
        FUZZ_CHECK(!link.isLoaded());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    checkWrittenBack();

    if (port >= 1)
        qunsetenv(portVariable.constData());
    QDir(root).removeRecursively();
    return 0;
}
