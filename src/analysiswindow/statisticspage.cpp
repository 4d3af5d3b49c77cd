#include "analysiswindow/statisticspage.h"

#include "analysiswindow/figuretable.h"

#include "tables/table.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

StatisticsPage::StatisticsPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    m_scopeLabel = new TextStrip(this);
    m_scopeLabel->setObjectName(QStringLiteral("LabelScope"));
    layout->addWidget(m_scopeLabel);
    m_figures = new FigureTable(Rows, 3, this);
    m_figures->setObjectName(QStringLiteral("figures"));
    layout->addWidget(m_figures);
    layout->addStretch();
    m_copyButton = new QPushButton(QStringLiteral("Copy"), this);
    m_copyButton->setObjectName(QStringLiteral("CommandCopy"));
    m_copyButton->setToolTip(QStringLiteral("The figures to the clipboard, tab-separated"));
    layout->addWidget(m_copyButton, 0, Qt::AlignRight);
    connect(m_copyButton, &QPushButton::clicked, this, &StatisticsPage::copyFigures);
    show(m_statistics.rows());
}

void StatisticsPage::copyFigures()
{
    // What the figures cover and when, so that a pasted table still says so.
    QGuiApplication::clipboard()->setText(
        m_scopeLabel->text() + QLatin1Char('\t') +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QLatin1Char('\n') +
        m_statistics.tabSeparated());
}

void StatisticsPage::follow(const Table& lines, int number, std::pair<qint32, qint32> selected,
                            qint32 changedFrom, bool tobar, AngleUnit unit)
{
    TableStatistics::Scope scope{&lines, 1, lines.count(), tobar, unit};
    const qint32 a = std::clamp(selected.first, 1, std::max(1, lines.count()));
    const qint32 b = std::clamp(selected.second, 1, std::max(1, lines.count()));
    const bool selection = a != b;
    if (selection) {
        scope.first = std::min(a, b);
        scope.last = std::max(a, b);
    }
    m_statistics.update(lines, scope, changedFrom);

    QString what;
    if (lines.count() < 1)
        what = QStringLiteral("Table %1 holds no lines").arg(number);
    else if (selection)
        what =
            QStringLiteral("Table %1, selected lines %2 to %3").arg(number).arg(scope.first).arg(scope.last);
    else
        what = QStringLiteral("Table %1, lines 1 to %2").arg(number).arg(lines.count());
    // One line alone gives no figures worth having: the whole table is taken, and the line says so.
    if (!selection && lines.count() > 1 && selected.first >= 1 && selected.first == selected.second)
        what += QStringLiteral(" (the whole table: line %1 alone is selected)").arg(selected.first);
    m_scopeLabel->setText(what);
    show(m_statistics.rows());
}

void StatisticsPage::show(const QList<QStringList>& rows)
{
    for (int r = 0; r < Rows; ++r) {
        const QStringList& row = rows.value(r);
        for (int c = 0; c < 3; ++c)
            m_figures->setText(r, c, row.value(c));
    }
}
