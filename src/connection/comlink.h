#pragma once

#include "analysis/measurementlog.h"
#include "link/backgroundfile.h"
#include "link/linkreceiver.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

struct AppState;
class FormCom;
class QWidget;

// The connection window's part that lives from program start: the receive path, the background file and
// the window itself, which is created (loaded) only on first use. Reading or assigning link state,
// setMsgSignal and setUpdateSignal never load it.
class ComLink : public QObject {
    Q_OBJECT
public:
    // logChunks: the measurement log's capacity (MeasurementLog::chunks()).
    explicit ComLink(AppState& state, QObject* parent = nullptr,
                     qint64 logChunks = MeasurementLog::DefaultChunks);
    ~ComLink() override;

    [[nodiscard]] AppState& state() { return m_state; }
    [[nodiscard]] LinkReceiver& receiver() { return m_receiver; }
    [[nodiscard]] BackgroundFile& backgroundFile() { return m_background; }
    // Every measurement decoded since program start.
    [[nodiscard]] MeasurementLog& log() { return m_log; }

    void setMainWindow(MainWindowCalls* calls) { m_receiver.setMainWindow(calls); }
    // Owner of the window and of its message boxes.
    void setWindowParent(QWidget* parent) { m_windowParent = parent; }
    [[nodiscard]] QWidget* windowParent() const { return m_windowParent; }

    void setMsgSignal(double time) { m_receiver.setMsgSignal(time); }
    void setUpdateSignal(double time) { m_receiver.setUpdateSignal(time); }

    // Commands to the instrument; with no port number nothing is sent and nothing is loaded.
    void sendCommand(const QString& s);
    void sendCommandCompatible(const qint16& command);

    // The window if it is loaded, else null.
    [[nodiscard]] FormCom* loaded() const;
    // The window, loading it (and so running its load step) on first use.
    FormCom& form();
    // Shut-down: closes the window, as its close box does, if it is loaded.
    void closeIfLoaded();

private:
    friend class FormCom;
    void unloaded(FormCom* form);

    AppState& m_state;
    MeasurementLog m_log;
    LinkReceiver m_receiver;
    BackgroundFile m_background;
    QPointer<FormCom> m_form;
    // Closed windows awaiting their deferred deletion; their destructors reach back to this link.
    QList<QPointer<FormCom>> m_unloading;
    QWidget* m_windowParent = nullptr;
};
