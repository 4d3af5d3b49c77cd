// The 200 ms display tick and the handlers around the live values.
#include "mainwindow/formmain.h"

#include "analysiswindow/analysiswindow.h"
#include "link/link.h"
#include "state/appstate.h"
#include "state/numbers.h"

#include <QLineEdit>
#include <QPushButton>

namespace {
const QString InchMark = QStringLiteral("\"");

// A value wider than its box shows its beginning, as a freshly assigned text box does.
void showText(QLineEdit* box, const QString& text)
{
    if (box->text() == text)
        return;
    box->setText(text);
    box->setCursorPosition(0);
}

// Reticle text for r = status / 100 rounded; null for values that leave the box unchanged.
QString reticleText(double r)
{
    if (r == 0)
        return QStringLiteral("");
    if (r == 1)
        return QStringLiteral("0.5");
    if (r == 2)
        return QStringLiteral("1");
    if (r == 3)
        return QStringLiteral("2");
    if (r == 4)
        return QStringLiteral("3");
    return QString();
}
} // namespace

void FormMain::displayTick()
{
    MainOptions& options = m_state.options;
    options.mainTime = static_cast<qint32>(static_cast<quint32>(options.mainTime) + 1u);

    const qint16 portNum = m_state.link.portNum;
    const LinkMode portMode = m_state.link.portMode;
    if (portNum >= 1 && portMode == LinkMode::Text && options.modeTobar) {
        m_link.sendCommand(QStringLiteral("b"));
        showTobar();
    } else {
        showText(m_xAngleBox, m_state.angles.angleXText());
        showText(m_yAngleBox, m_state.angles.angleYText());
        const bool averaging = (m_state.link.angleStatus & 4) != 0;
        if (!m_averagingShown && averaging) {
            m_averagingShown = true;
            m_averagingButton->setText(QStringLiteral("No averaging"));
        } else if (m_averagingShown && !averaging) {
            m_averagingShown = false;
            m_averagingButton->setText(QStringLiteral("Averages"));
        }
        // Not polling over a text link that was lost: the boxes show what the state holds, the
        // placeholders once the device vanished.
        if (portMode == LinkMode::Text && options.modeTobar)
            showTobar();
    }
    if (options.oldModeTobar != options.modeTobar)
        layoutForMode();
    m_analysis->tick();
}

void FormMain::showTobar()
{
    const qint16 s = m_state.link.tobarStatus;
    const QString unit = m_state.link.tobarInInch() ? InchMark : QStringLiteral("mm");
    showText(m_tobarValueBox, m_state.link.tobarValue + unit);
    switch (s % 10) {
    case 1:
        showText(m_verdictBox, QStringLiteral("NG"));
        break;
    case 2:
        showText(m_verdictBox, QStringLiteral("Go"));
        break;
    default:
        showText(m_verdictBox, QStringLiteral("----"));
        break;
    }
    const QString reticle = reticleText(Numbers::roundHalfEven(s / 100.0));
    if (!reticle.isNull())
        showText(m_reticleBox, reticle);
}

void FormMain::setZero()
{
    m_state.angles.setAngleZero();
}
void FormMain::resetZero()
{
    m_state.angles.resetAngleZero();
}

void FormMain::toggleAveraging()
{
    m_link.sendCommand(m_averagingShown ? QStringLiteral("U") : QStringLiteral("M"));
}

void FormMain::showInArcsec()
{
    m_state.angles.angleUnit = AngleUnit::Arcsec;
}
void FormMain::showInDegrees()
{
    m_state.angles.angleUnit = AngleUnit::Degree;
}
void FormMain::showInDegMinSec()
{
    m_state.angles.angleUnit = AngleUnit::DegMinSec;
}
void FormMain::showInMrad()
{
    m_state.angles.angleUnit = AngleUnit::Mrad;
}
void FormMain::showInMicronsPerMetre()
{
    m_state.angles.angleUnit = AngleUnit::MicroPerMetre;
}
