// Storing every N-th measurement into the current table.
#include "mainwindow/formmain.h"

#include "connection/comlink.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/tableset.h"
#include "widgets/flexgrid.h"

#include <QLabel>
#include <QLineEdit>

double FormMain::textTimerValue() const
{
    return Numbers::leadingNumber(TextTimer->text());
}

void FormMain::CommandStart_Click()
{
    m_isStoring = true;
    const double n = textTimerValue();
    applyStoreInterval(n);
    if (n < 10) {
        LabelLine->setVisible(true);
        TextLine->setVisible(true);
    }
}

void FormMain::CommandStop_Click()
{
    m_isStoring = false;
    applyStoreInterval(1000000);
    LabelLine->setVisible(false);
    TextLine->setVisible(false);
}

void FormMain::applyStoreInterval(double n)
{
    // The redraw switch belongs to table 1, whichever table is current.
    m_tables->grid(1)->setRedraw(n >= 10 || !m_isStoring);
    m_link.setMsgSignal(n);
}

void FormMain::TextTimer_KeyPress(int& keyAscii)
{
    if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8)
        return;
    if (keyAscii == 13) {
        applyStoreInterval(textTimerValue());
        return;
    }
    keyAscii = 0;
}

void FormMain::TextTimer_LostFocus()
{
    applyStoreInterval(textTimerValue());
}

void FormMain::haveAngleMsg()
{
    if (!m_isStoring)
        return;
    m_tables->XY2Table(LineRecord::Source::Interval);
    TextLine->setText(QString::number(m_tables->currentGrid()->Rows()));
}
