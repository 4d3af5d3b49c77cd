#include "analysiswindow/figuretable.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace {
constexpr int Pad = 6; // pixels between columns and around the texts
}

FigureTable::FigureTable(int rows, int columns, QWidget* parent)
    : QWidget(parent), m_rows(std::max(1, rows)), m_columns(std::max(1, columns)), m_texts(m_rows * m_columns)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    measure();
}

void FigureTable::setText(int row, int column, const QString& text)
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return;
    QString& cell = m_texts[row * m_columns + column];
    if (cell == text)
        return;
    cell = text;
    // The layout is asked again only when a text needs more room than the table asked for.
    if (column == 0) {
        measure();
        updateGeometry();
        update();
        return;
    }
    const int width = fontMetrics().horizontalAdvance(text);
    if (width > m_widest) {
        const int asked = valueWidth();
        m_widest = width;
        if (valueWidth() > asked) {
            updateGeometry();
            update();
            return;
        }
    }
    update(cellRect(row, column));
}

QString FigureTable::text(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return {};
    return m_texts[row * m_columns + column];
}

int FigureTable::rowHeight() const
{
    return fontMetrics().height() + Pad / 2;
}

void FigureTable::measure()
{
    const QFontMetrics metrics = fontMetrics();
    int label = 0;
    m_widest = 0;
    for (int i = 0; i < m_texts.size(); ++i) {
        int& widest = i % m_columns ? m_widest : label;
        widest = std::max(widest, metrics.horizontalAdvance(m_texts[i]));
    }
    m_labelWidth = label + Pad;
}

int FigureTable::valueWidth() const
{
    return std::max(m_widest, fontMetrics().horizontalAdvance(QStringLiteral("-00000.000000"))) + 2 * Pad;
}

QSize FigureTable::sizeHint() const
{
    return {labelWidth() + (m_columns - 1) * valueWidth(), m_rows * rowHeight()};
}

QRect FigureTable::cellRect(int row, int column) const
{
    const int label = labelWidth();
    // Value columns share what the label column leaves.
    const int values = std::max(0, width() - label);
    const int left = column == 0 ? 0 : label + values * (column - 1) / (m_columns - 1);
    const int right = column == 0 ? label : label + values * column / (m_columns - 1);
    return {left, row * rowHeight(), right - left, rowHeight()};
}

void FigureTable::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (int r = 0; r < m_rows; ++r) {
        for (int c = 0; c < m_columns; ++c) {
            const QRect cell = cellRect(r, c);
            if (!event->rect().intersects(cell))
                continue;
            painter.drawText(c == 0 ? cell : cell.adjusted(0, 0, -Pad, 0),
                             (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                             m_texts[r * m_columns + c]);
        }
    }
}

void FigureTable::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        measure();
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

TextStrip::TextStrip(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TextStrip::setText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    update();
}

QSize TextStrip::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(
                QStringLiteral("Table 10, lines 1 to 32767 (the whole table: line 32767 alone is selected)")),
            fontMetrics().height() + Pad / 2};
}

void TextStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_text, Qt::ElideRight, width()));
}
