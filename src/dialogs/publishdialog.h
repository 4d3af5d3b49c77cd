#pragma once

#include "publish/publishsettings.h"

#include <QDialog>

class Publisher;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Publishing (MQTT)": the broker settings and the publisher's live state. Apply stores the settings and
// (re)starts the publisher with them; the window does not block the main window.
class PublishDialog : public QDialog {
    Q_OBJECT
public:
    explicit PublishDialog(Publisher& publisher, QWidget* parent = nullptr);

    void apply();

private:
    void showSettings(const PublishSettings& s);
    [[nodiscard]] PublishSettings edited() const;
    void showState();

    Publisher& m_publisher;
    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_host = nullptr;
    QSpinBox* m_port = nullptr;
    QCheckBox* m_tls = nullptr;
    QLineEdit* m_caFile = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_clientId = nullptr;
    QLineEdit* m_prefix = nullptr;
    QSpinBox* m_rate = nullptr;
    QLabel* m_connection = nullptr;
    QLabel* m_queued = nullptr;
    QLabel* m_dropped = nullptr;
    QLabel* m_error = nullptr;
};
