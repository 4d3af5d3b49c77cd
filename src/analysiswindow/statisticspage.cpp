#include "analysiswindow/statisticspage.h"

#include "analysiswindow/gridlines.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
void setText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}
} // namespace

StatisticsPage::StatisticsPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    LabelScope = new QLabel(this);
    LabelScope->setObjectName(QStringLiteral("LabelScope"));
    layout->addWidget(LabelScope);
    auto* figures = new QGridLayout;
    for (int r = 0; r < Rows; ++r) {
        for (int c = 0; c < 3; ++c) {
            auto* label = new QLabel(this);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            label->setAlignment((c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            figures->addWidget(label, r, c);
            cells[static_cast<size_t>(r)][static_cast<size_t>(c)] = label;
        }
    }
    figures->setColumnStretch(1, 1);
    figures->setColumnStretch(2, 1);
    layout->addLayout(figures);
    layout->addStretch();
    CommandCopy = new QPushButton(QStringLiteral("Copy"), this);
    CommandCopy->setObjectName(QStringLiteral("CommandCopy"));
    CommandCopy->setToolTip(QStringLiteral("The figures to the clipboard, tab-separated"));
    layout->addWidget(CommandCopy, 0, Qt::AlignRight);
    connect(CommandCopy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(m_statistics.tabSeparated()); });
    show(m_statistics.rows());
}

void StatisticsPage::follow(const FlexGrid& grid, int number, qint32 changedFrom, bool tobar, qint16 unit)
{
    const GridLines lines(grid);
    TableStatistics::Scope scope{&grid, 1, lines.count(), tobar, unit};
    const qint32 a = std::clamp(grid.Row(), 1, std::max(1, lines.count()));
    const qint32 b = std::clamp(grid.RowSel(), 1, std::max(1, lines.count()));
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
    setText(LabelScope, what);
    show(m_statistics.rows());
}

void StatisticsPage::show(const QList<QStringList>& rows)
{
    for (int r = 0; r < Rows; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QStringList& row = rows.value(r);
            setText(cells[static_cast<size_t>(r)][static_cast<size_t>(c)], row.value(c));
        }
    }
}
