#pragma once

// The whole program on a hermetic settings store, with its serial port on a pseudo-terminal that a test can
// flood, fill with noise or pull away, and the probes that tell a busy loop or growing memory.

#include "connection/formcom.h"
#include "link/link.h"
#include "mainwindow/formmain.h"
#include "settings/settingvalues.h"
#include "sim/ptypair.h"
#include "state/appstate.h"
#include "support/control.h"
#include "tables/tables.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// The instrument's end of a serial line, which a test can offer more than the line takes while the program
// runs, or pull away.
class FaultLine : public PtyPair {
public:
    // The cable is pulled: both ends close and the device disappears.
    void pull() { close(); }

    // Writes what the line takes now; returns the number of bytes taken.
    qsizetype offer(const QByteArray& bytes) const { return bytes.isEmpty() ? 0 : writeSome(bytes); }

    // Sends all bytes while the program runs; false when the line did not take them within ms.
    bool send(QByteArray bytes, int ms = 10000) const
    {
        QDeadlineTimer deadline(ms);
        while (!bytes.isEmpty()) {
            bytes.remove(0, offer(bytes));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (deadline.hasExpired())
                return false;
        }
        return true;
    }
};

// Process CPU time and resident memory, read over a bounded interval.
namespace Probe {

[[nodiscard]] inline double cpuMs()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

[[nodiscard]] inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// AddressSanitizer keeps freed memory in quarantine, so resident memory says little in such a build.
constexpr bool MemoryMeaningful =
#if defined(__SANITIZE_ADDRESS__)
    false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    false;
#else
    true;
#endif
#else
    true;
#endif

} // namespace Probe

class FaultFixture {
public:
    static constexpr const char* PortVariable = "TARNOLUX_COM1";

    FaultFixture()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        MessageBox::setHandler([this](QWidget*, const QString& text) { messages << text; });
        plugIn(line);
    }
    ~FaultFixture()
    {
        window.reset();
        tables.reset();
        link.reset();
        state.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        MessageBox::setHandler({});
        FileDialog::setChooser({});
    }

    // Port 1 is this line from now on.
    static void plugIn(const FaultLine& l) { qputenv(PortVariable, l.path().toLocal8Bit()); }

    static std::unique_ptr<QSettings> store()
    {
        auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             SettingValues::AppName, SettingValues::AppName);
        s->setFallbacksEnabled(false);
        return s;
    }
    [[nodiscard]] QString storeFile() const
    {
        return m_settingsDir.filePath(QStringLiteral("tarnolux/tarnolux.conf"));
    }

    FormMain& start(qint64 logChunks = MeasurementLog::DefaultChunks)
    {
        state = std::make_unique<AppState>();
        link = std::make_unique<Link>(*state, nullptr, logChunks);
        tables = std::make_unique<Tables>(*state);
        tables->follow(*link);
        window = std::make_unique<FormMain>(*state, *link, *tables);
        window->show();
        return *window;
    }

    // "Connection", the mode chosen, "Close": as the operator does it, through the modal window.
    void connectThroughWindow(bool textMode)
    {
        QTimer::singleShot(0, window.get(), [this, textMode] {
            FormCom* form = window->connectionLoaded();
            if (!form)
                return;
            control<QRadioButton>(form, textMode ? "OptionText" : "OptionCompatible")->setChecked(true);
            control<QPushButton>(form, "CommandClose")->click();
        });
        control<QPushButton>(*window, "CommandConnect")->click();
        (void)line.readAvailable();
    }

    // Opens the link as showing the connection window does, without its modal display and close step.
    void connectDirect(bool textMode)
    {
        store()->setValue(SettingKeys::path(SettingKeys::PortMode),
                          textMode ? QStringLiteral("1") : QStringLiteral("0"));
        FormCom& form = window->connection();
        form.show();
        form.hide();
        (void)line.readAvailable();
    }

    // Sends bytes holding n messages and lets events run until the program has counted them; false after ms.
    bool sendCounted(const QByteArray& bytes, qint64 n, int ms = 10000)
    {
        const qint64 target = counted() + n;
        if (!line.send(bytes, ms))
            return false;
        QDeadlineTimer deadline(ms);
        while (counted() < target) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    // Messages counted since the connection window last started its countdown.
    [[nodiscard]] qint64 counted() const { return qint64(INT32_MAX) - state->internal.measureCountdown; }

    FaultLine line;
    QStringList messages;
    std::unique_ptr<AppState> state;
    std::unique_ptr<Link> link;
    std::unique_ptr<Tables> tables;
    std::unique_ptr<FormMain> window;

private:
    QTemporaryDir m_settingsDir;
};
