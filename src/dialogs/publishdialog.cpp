#include "dialogs/publishdialog.h"

#include "publish/publisher.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}
} // namespace

PublishDialog::PublishDialog(Publisher& publisher, QWidget* parent) : QDialog(parent), m_publisher(publisher)
{
    setObjectName(QStringLiteral("PublishDialog"));
    setWindowTitle(QStringLiteral("Publishing (MQTT)"));

    auto* settings = new QGroupBox(QStringLiteral("Broker"), this);
    auto* form = new QFormLayout(settings);
    m_enabled =
        named(new QCheckBox(QStringLiteral("Publish measurements and stored lines"), this), "MqttEnabled");
    form->addRow(m_enabled);
    m_host = named(new QLineEdit(this), "MqttHost");
    form->addRow(QStringLiteral("Host"), m_host);
    m_port = named(new QSpinBox(this), "MqttPort");
    m_port->setRange(1, 65535);
    form->addRow(QStringLiteral("Port"), m_port);
    m_tls = named(new QCheckBox(QStringLiteral("TLS"), this), "MqttTls");
    form->addRow(m_tls);
    m_caFile = named(new QLineEdit(this), "MqttCaFile");
    m_caFile->setPlaceholderText(QStringLiteral("CA certificate file (PEM)"));
    form->addRow(QStringLiteral("CA file"), m_caFile);
    m_user = named(new QLineEdit(this), "MqttUser");
    form->addRow(QStringLiteral("User name"), m_user);
    m_password = named(new QLineEdit(this), "MqttPassword");
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Password"), m_password);
    m_clientId = named(new QLineEdit(this), "MqttClientId");
    m_clientId->setPlaceholderText(QStringLiteral("chosen by the client"));
    form->addRow(QStringLiteral("Client id"), m_clientId);
    m_prefix = named(new QLineEdit(this), "MqttPrefix");
    m_prefix->setPlaceholderText(PublishSettings::defaultPrefix());
    form->addRow(QStringLiteral("Topic prefix"), m_prefix);
    m_rate = named(new QSpinBox(this), "MqttRate");
    m_rate->setRange(0, 1000);
    m_rate->setSpecialValueText(QStringLiteral("every measurement"));
    m_rate->setSuffix(QStringLiteral(" per second at most"));
    form->addRow(QStringLiteral("Measurements"), m_rate);

    auto* state = new QGroupBox(QStringLiteral("State"), this);
    auto* stateForm = new QFormLayout(state);
    m_connection = named(new QLabel(this), "MqttConnection");
    stateForm->addRow(QStringLiteral("Connection"), m_connection);
    m_queued = named(new QLabel(this), "MqttQueued");
    stateForm->addRow(QStringLiteral("Queued lines"), m_queued);
    m_dropped = named(new QLabel(this), "MqttDropped");
    stateForm->addRow(QStringLiteral("Dropped lines"), m_dropped);
    m_error = named(new QLabel(this), "MqttError");
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stateForm->addRow(QStringLiteral("Last error"), m_error);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Apply)->setObjectName(QStringLiteral("MqttApply"));
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &PublishDialog::apply);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(settings);
    layout->addWidget(state);
    layout->addWidget(buttons);

    showSettings(m_publisher.settings());
    connect(&m_publisher, &Publisher::stateChanged, this, &PublishDialog::showState);
    showState();
}

void PublishDialog::showSettings(const PublishSettings& s)
{
    m_enabled->setChecked(s.enabled);
    m_host->setText(s.host);
    m_port->setValue(s.port);
    m_tls->setChecked(s.tls);
    m_caFile->setText(s.caFile);
    m_user->setText(s.user);
    m_password->setText(s.password);
    m_clientId->setText(s.clientId);
    m_prefix->setText(s.prefix);
    m_rate->setValue(s.rate);
}

PublishSettings PublishDialog::edited() const
{
    PublishSettings s;
    s.enabled = m_enabled->isChecked();
    s.host = m_host->text().trimmed();
    s.port = m_port->value();
    s.tls = m_tls->isChecked();
    s.caFile = m_caFile->text().trimmed();
    s.user = m_user->text();
    s.password = m_password->text();
    s.clientId = m_clientId->text().trimmed();
    s.prefix = m_prefix->text().trimmed();
    s.rate = m_rate->value();
    return s;
}

void PublishDialog::apply()
{
    const PublishSettings s = edited();
    s.save();
    m_publisher.apply(s);
}

void PublishDialog::showState()
{
    const Publisher::State s = m_publisher.state();
    m_connection->setText(!s.enabled    ? QStringLiteral("off")
                          : s.connected ? QStringLiteral("connected")
                                        : QStringLiteral("not connected"));
    const QLocale locale;
    m_queued->setText(locale.toString(s.queued));
    m_dropped->setText(locale.toString(s.dropped));
    m_error->setText(s.lastError.isEmpty() ? QStringLiteral("none") : s.lastError);
}
