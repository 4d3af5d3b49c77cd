#pragma once

// The program as main() builds it: own store, dialogs answered here, port 1 on a simulated instrument.

#include "connection/formcom.h"
#include "link/link.h"
#include "mainwindow/formmain.h"
#include "mainwindow/tableviews.h"
#include "settings/settingkeys.h"
#include "settings/settingvalues.h"
#include "sim/ptyinstrument.h"
#include "sim/ptypair.h"
#include "sim/simconsole.h"
#include "state/appstate.h"
#include "support/control.h"
#include "tables/tables.h"
#include "widgets/filedialog.h"
#include "widgets/flexgrid.h"
#include "widgets/messagebox.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <limits>
#include <memory>

class AppFixture {
public:
    AppFixture()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        qputenv("XDG_DATA_HOME",
                m_settings.filePath(QStringLiteral("data")).toLocal8Bit()); // recovery copies
        qputenv("TEMP", files.path().toLocal8Bit());
        MessageBox::setHandler([this](QWidget*, const QString& text) { messages << text; });
        FileDialog::setChooser([this](FileDialog::Kind, const QString& name) {
            offered << name;
            return chosen;
        });
        instrument.model().setFixedAngles(12.5, -3.25);
        QObject::connect(&instrument, &PtyInstrument::commandReceived, &instrument, [this](const QString& c) {
            commands << c;
            commandTicks << (state ? state->options.mainTime : 0);
        });
        if (instrument.open())
            plugIn(instrument.devicePath());
    }
    ~AppFixture()
    {
        stop();
        MessageBox::setHandler({});
        FileDialog::setChooser({});
    }

    static std::unique_ptr<QSettings> store()
    {
        auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             SettingValues::AppName, SettingValues::AppName);
        s->setFallbacksEnabled(false);
        return s;
    }
    static QStringList stored(std::initializer_list<SettingKeys::Key> keys)
    {
        QStringList values;
        for (const SettingKeys::Key& key : keys)
            values << store()->value(SettingKeys::path(key)).toString();
        return values;
    }
    static void setStored(std::initializer_list<std::pair<SettingKeys::Key, QString>> values)
    {
        for (const auto& [key, value] : values)
            store()->setValue(SettingKeys::path(key), value);
    }
    static void plugIn(const QString& device) { qputenv("TARNOLUX_COM1", device.toLocal8Bit()); }
    // Port 1 on the simulator's line behind a link of one name across vanish and return, named after the
    // unique folder: the port's lock file is named after the device's file name.
    bool lineAtLink()
    {
        const QString name = files.filePath(QFileInfo(files.path()).fileName() + QStringLiteral("-line"));
        instrument.vanish();
        instrument.setLinkPath(name);
        plugIn(name);
        return instrument.open();
    }
    bool sim(const QString& line) { return console.execute(line).ok; } // typed into the simulator's console

    // A program run: state, link and main window, shown; stop() ends them in main()'s order.
    FormMain& start()
    {
        stop();
        state = std::make_unique<AppState>();
        link = std::make_unique<Link>(*state);
        tables = std::make_unique<Tables>(*state);
        tables->follow(*link);
        window = std::make_unique<FormMain>(*state, *link, *tables);
        window->show();
        return *window;
    }
    void stop()
    {
        window.reset();
        tables.reset();
        link.reset();
        state.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Clicks opener and runs act on the modal Dialog it opens, then dismisses it if still open.
    template <typename Dialog> bool onModal(QAbstractButton* opener, const std::function<void(Dialog&)>& act)
    {
        bool ran = false;
        QTimer timer; // local, so it never fires after this returns
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
                ran = true;
                act(*dialog);
                if (QApplication::activeModalWidget() == dialog)
                    dialog->done(0);
            }
        });
        timer.start(0);
        opener->click();
        return ran;
    }

    // "Connection", the link mode chosen, "Close", as the operator does it.
    FormCom* connect(bool textMode, const std::function<void(FormCom&)>& more = {})
    {
        laidOut();
        (void)onModal<FormCom>(control<QPushButton>(*window, "CommandConnect"), [&](FormCom& form) {
            control<QRadioButton>(form, textMode ? "OptionText" : "OptionCompatible")->click();
            // An instrument that follows the line speed needs a moment to notice it.
            const auto mode =
                textMode ? InstrumentModel::LinkMode::Text : InstrumentModel::LinkMode::Compatible;
            if (link->comPort().PortOpen() && instrument.isOpen())
                (void)QTest::qWaitFor([&] { return instrument.linkMode() == mode; }, 1000);
            if (more)
                more(form);
            control<QPushButton>(form, "CommandClose")->click();
        });
        return window->connectionLoaded();
    }
    // Opens the port as showing the connection window does, without its modal run and close step.
    FormCom& openLine(bool textMode)
    {
        laidOut();
        setStored({{SettingKeys::PortMode, textMode ? QStringLiteral("1") : QStringLiteral("0")}});
        FormCom& form = window->connection();
        form.show();
        form.hide();
        return form;
    }

    // Sends bytes holding n measurements on the bare line; true once the program has counted them.
    bool send(QByteArray bytes, qint64 n = 0, int ms = 10000)
    {
        const qint64 target = counted() + n;
        QDeadlineTimer deadline(ms);
        while (!bytes.isEmpty() && !deadline.hasExpired()) {
            bytes.remove(0, line.writeSome(bytes));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return bytes.isEmpty() &&
               QTest::qWaitFor([&] { return counted() >= target; }, deadline.remainingTime());
    }
    // The main window as its first display tick lays it out, before the operator can click.
    void laidOut()
    {
        (void)QTest::qWaitFor(
            [this] { return !state || state->options.oldModeTobar == state->options.modeTobar; });
    }
    // Measurements counted since the last load step started counting.
    qint64 counted() const
    {
        return qint64(std::numeric_limits<qint32>::max()) - state->internal.measureCountdown;
    }
    bool waitCounted(qint64 n)
    {
        const qint64 target = counted() + n;
        return QTest::qWaitFor([&] { return counted() >= target; }, 5000);
    }

    // A table's lines, each as "number|cell|cell".
    static QStringList lines(const FlexGrid* grid)
    {
        QStringList out;
        for (qint32 r = 1; r < grid->Rows(); ++r) {
            QStringList cells;
            for (qint32 c = 0; c < grid->Cols(); ++c)
                cells << grid->TextMatrix(r, c);
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir files;
    PtyInstrument instrument;
    SimConsole console{instrument};
    PtyPair line;
    QStringList commands;       // received by the instrument, in order
    QList<qint32> commandTicks; // the main window's display tick count when each arrived
    QStringList messages;
    QString chosen;      // the file dialog's answer
    QStringList offered; // the names it was opened with
    std::unique_ptr<AppState> state;
    std::unique_ptr<Link> link;
    std::unique_ptr<Tables> tables;
    std::unique_ptr<FormMain> window;

private:
    QTemporaryDir m_settings;
};
