#pragma once

#include "platform/commcontrol.h"
#include "state/linkstate.h"

#include <QDialog>
#include <QString>
#include <QtGlobal>

struct AppState;
class Link;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The connection window: port number, link mode, device and the outcome of the last connect step, shown
// from the link and edited through it. Showing it runs the link's load step; closing or deleting it
// leaves the port to the link, except the close box, which closes the port.
class FormCom : public QDialog {
    Q_OBJECT
public:
    // Result texts of the connect step.
    static QString statusText(PortCode result);

    FormCom(AppState& state, Link& link, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // The link's settings into the controls, without their reactions.
    void showSettings();
    void showStatus();
    void closeWindow();
    void selectMode(LinkMode mode);
    void connectTypedPort();
    void chooseDevice(int index);
    // Lists the devices present again (shown: every 2 s), keeping the choice.
    void refreshDevices();
    // Waits until the main window's tick counter has advanced by ticks, letting events run.
    [[nodiscard]] bool waitMainTicks(int ticks);

    AppState& m_state;
    Link& m_link;
    QLineEdit* m_portNumberEdit = nullptr;
    QLineEdit* m_statusEdit = nullptr;
    QRadioButton* m_compatibleModeOption = nullptr;
    QRadioButton* m_textModeOption = nullptr;
    QPushButton* m_closeButton = nullptr;
    QCheckBox* m_highResolutionCheck = nullptr;
    QCheckBox* m_reconnectCheck = nullptr;
    // The device the port number is bound to, chosen from the devices present.
    QComboBox* m_deviceBox = nullptr;
    bool m_inCloseStep = false;
    QTimer* m_deviceRefresh = nullptr;
    QString m_deviceSignature; // the devices last listed, so an unchanged list is left alone
};
