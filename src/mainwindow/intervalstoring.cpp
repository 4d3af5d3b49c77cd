// Storing every N-th measurement into the current table.
#include "mainwindow/formmain.h"

#include "link/link.h"
#include "mainwindow/tableviews.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/tables.h"
#include "widgets/flexgrid.h"

#include <QLabel>
#include <QLineEdit>

double FormMain::typedInterval() const
{
    return Numbers::leadingNumber(m_intervalBox->text());
}

void FormMain::startStoring()
{
    m_isStoring = true;
    const double n = typedInterval();
    applyStoreInterval(n);
    if (n < 10) {
        m_lineLabel->setVisible(true);
        m_lineBox->setVisible(true);
    }
}

void FormMain::stopStoring()
{
    m_isStoring = false;
    applyStoreInterval(1000000);
    m_lineLabel->setVisible(false);
    m_lineBox->setVisible(false);
}

void FormMain::applyStoreInterval(double n)
{
    // The redraw switch belongs to table 1, whichever table is current.
    m_tableViews->grid(1)->setRedraw(n >= 10 || !m_isStoring);
    m_link.setMsgSignal(n);
}

void FormMain::filterIntervalKey(int& keyAscii)
{
    if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8)
        return;
    if (keyAscii == 13) {
        applyStoreInterval(typedInterval());
        return;
    }
    keyAscii = 0;
}

void FormMain::applyTypedInterval()
{
    applyStoreInterval(typedInterval());
}

void FormMain::haveAngleMsg(qint64 msecs)
{
    if (!m_isStoring)
        return;
    m_tables.XY2Table(LineRecord::Source::Interval, msecs);
    m_lineBox->setText(QString::number(m_tables.current().rows()));
}
