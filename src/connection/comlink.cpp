#include "connection/comlink.h"

#include "connection/formcom.h"
#include "state/appstate.h"

ComLink::ComLink(AppState& state, QObject* parent, qint64 logChunks)
    : QObject(parent), m_state(state), m_log(logChunks),
      m_receiver(state.link, state.options, state.internal),
      m_background(state.link, state.options, state.internal)
{
    m_receiver.setBackgroundWriter(&m_background);
    m_receiver.setLog(&m_log);
}

ComLink::~ComLink()
{
    delete m_form.data();
    for (const QPointer<FormCom>& form : std::as_const(m_unloading))
        delete form.data();
}

void ComLink::sendCommand(const QString& s)
{
    if (m_state.link.portNum == 0)
        return;
    form().sendCommand(s);
}

void ComLink::sendCommandCompatible(const qint16& command)
{
    form().sendCommandCompatible(command);
}

FormCom* ComLink::loaded() const
{
    return m_form.data();
}

FormCom& ComLink::form()
{
    if (!m_form)
        m_form = new FormCom(m_state, *this, m_windowParent);
    return *m_form;
}

void ComLink::closeIfLoaded()
{
    if (m_form)
        m_form->close();
}

void ComLink::unloaded(FormCom* form)
{
    if (m_form == form)
        m_form = nullptr;
    m_unloading.removeAll(nullptr);
    m_unloading.append(form);
    form->deleteLater();
}
