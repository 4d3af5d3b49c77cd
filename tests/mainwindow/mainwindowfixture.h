#pragma once

// A main window on a hermetic settings store, with message boxes recorded and port 1 on a pseudo-terminal.

#include "connection/comlink.h"
#include "connection/formcom.h"
#include "mainwindow/formmain.h"
#include "widgets/messagebox.h"
#include "state/appstate.h"
#include "support/ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class MainWindowFixture {
public:
    MainWindowFixture()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        MessageBox::setHandler([this](QWidget*, const QString& text) { messages << text; });
        qputenv("TARNOLUX_COM1", pty.path().toLocal8Bit());
    }
    ~MainWindowFixture()
    {
        window.reset();
        link.reset();
        state.reset();
        MessageBox::setHandler({});
    }

    static std::unique_ptr<QSettings> store()
    {
        auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("tarnolux"), QStringLiteral("tarnolux"));
        s->setFallbacksEnabled(false);
        return s;
    }

    // A new program run on the same settings store.
    FormMain& start()
    {
        window.reset();
        link.reset();
        state = std::make_unique<AppState>();
        link = std::make_unique<ComLink>(*state);
        window = std::make_unique<FormMain>(*state, *link);
        window->show();
        return *window;
    }

    // Opens the link as the connection window would, without the modal display.
    void connectLink(int mode)
    {
        store()->setValue(QStringLiteral("com/mode"), QString::number(mode));
        FormCom& form = link->form();
        form.show();
        form.hide();
        (void)pty.readAvailable();
    }

    // Bytes the program wrote to the instrument within ms, while events run.
    QByteArray commandsWithin(int ms)
    {
        QByteArray got;
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            got += pty.readAvailable();
        }
        return got;
    }

    PtyPair pty;
    QStringList messages;
    std::unique_ptr<AppState> state;
    std::unique_ptr<ComLink> link;
    std::unique_ptr<FormMain> window;

private:
    QTemporaryDir m_settingsDir;
};
