#include "widgets/flexgrid.h"

#include "tables/table.h"
#include "widgets/flexgridmodel.h"
#include "widgets/twips.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int DefaultColWidthPixels = 64;

} // namespace

class FlexGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool focusRect = true;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!focusRect)
            option->state &= ~QStyle::State_HasFocus;
    }
};

FlexGrid::FlexGrid(Table& table, QWidget* parent)
    : QTableView(parent), m_table(table), m_model(new FlexGridModel(table, this)),
      m_delegate(new FlexGridDelegate(this)), m_flushTimer(new QTimer(this))
{
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(0);
    connect(m_flushTimer, &QTimer::timeout, this, &FlexGrid::flushView);

    QFont gridFont(QStringLiteral("Arial"));
    gridFont.setPointSizeF(10.5);
    gridFont.setWeight(QFont::Normal);
    setFont(gridFont);

    setModel(m_model);
    setItemDelegate(m_delegate);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setCornerButtonEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QAbstractItemView::setSelectionMode(QAbstractItemView::ContiguousSelection);

    // Uniform row heights: nothing is ever measured per row.
    QHeaderView* rowsHeader = verticalHeader();
    rowsHeader->hide();
    rowsHeader->setMinimumSectionSize(1);
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(rowHeightPixels());

    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);
    header->setDefaultSectionSize(DefaultColWidthPixels);
    header->setSectionResizeMode(QHeaderView::Fixed);

    setSelectionMode(0);
    setScrollTrack(false);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { takeViewSelection(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { takeViewSelection(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_applying && isVisible())
            m_topRow = value + 1;
    });

    connect(&table, &Table::linesInserted, this, [this](qint32 first, qint32) { rowsChanged(first); });
    connect(&table, &Table::linesRemoved, this, &FlexGrid::linesRemoved);
    connect(&table, &Table::cellsChanged, this, [this](qint32 firstRow, qint32 lastRow) {
        m_model->cellsChanged(firstRow, lastRow);
        if (lastRow > 0)
            scheduleFlush();
    });
    connect(&table, &Table::columnsChanged, this, &FlexGrid::columnsChanged);
    connect(&table, &Table::formatChanged, this, &FlexGrid::fitColumnsToHeader);
    if (!table.format().isEmpty())
        fitColumnsToHeader();
    if (table.rows() > 1)
        rowsChanged(1);
}

FlexGrid::~FlexGrid() = default;

qint32 FlexGrid::Rows() const
{
    return m_table.rows();
}

qint32 FlexGrid::Cols() const
{
    return m_table.cols();
}

void FlexGrid::columnsChanged()
{
    {
        const QScopedValueRollback<bool> applying(m_applying, true);
        m_model->columnsChanged();
    }
    m_col = std::min(m_col, Cols() - 1);
    m_selectionPending = true;
    scheduleFlush();
}

void FlexGrid::linesRemoved(qint32 first, qint32 count)
{
    {
        const QScopedValueRollback<bool> applying(m_applying, true);
        m_model->linesRemoved(first, count);
    }
    rowsChanged(Rows() + count);
}

QString FlexGrid::TextMatrix(qint32 row, qint32 col) const
{
    return m_table.cell(row, col);
}

QStringView FlexGrid::TextMatrixView(qint32 row, qint32 col) const
{
    return m_table.cellView(row, col);
}

const LineRecord* FlexGrid::record(qint32 row) const
{
    return m_table.lineRecord(row);
}

void FlexGrid::setRow(qint32 row)
{
    if (row < 0 || row >= Rows())
        return;
    // Setting the current row collapses the selection onto it.
    m_row = m_rowSel = row;
    m_selectionPending = true;
    scheduleFlush();
}

void FlexGrid::setCol(qint32 col)
{
    if (col < 0 || col >= Cols())
        return;
    m_col = col;
    m_selectionPending = true;
    scheduleFlush();
}

QString FlexGrid::Text() const
{
    return TextMatrix(m_row, m_col);
}

void FlexGrid::setRowSel(qint32 row)
{
    if (row < 0 || row >= Rows())
        return;
    m_rowSel = row;
    m_selectionPending = true;
    scheduleFlush();
}

qint32 FlexGrid::TopRow() const
{
    if (isVisible()) {
        auto* self = const_cast<FlexGrid*>(this);
        self->flushView();
        self->executeDelayedItemsLayout();
        return verticalScrollBar()->value() + 1;
    }
    return std::clamp(m_topRow, 1, estimatedMaxTopRow());
}

void FlexGrid::setTopRow(qint32 row)
{
    m_topRow = std::clamp(row, 1, std::max(1, Rows() - 1));
    m_topPending = true;
    scheduleFlush();
}

double FlexGrid::RowHeight(qint32 row) const
{
    if (row == 0)
        return Twips::fromPixels(horizontalHeader()->sizeHint().height());
    return Twips::fromPixels(verticalHeader()->defaultSectionSize());
}

double FlexGrid::ColWidth(qint32 col) const
{
    return Twips::fromPixels(columnWidth(col));
}

double FlexGrid::Left() const
{
    return Twips::fromPixels(x());
}

void FlexGrid::setLeft(double twips)
{
    move(Twips::toPixels(twips), y());
}

void FlexGrid::setTop(double twips)
{
    move(x(), Twips::toPixels(twips));
}

double FlexGrid::Width() const
{
    return Twips::fromPixels(width());
}

void FlexGrid::setWidth(double twips)
{
    resize(Twips::toPixels(twips), height());
}

double FlexGrid::Height() const
{
    return Twips::fromPixels(height());
}

void FlexGrid::setHeight(double twips)
{
    resize(width(), Twips::toPixels(twips));
}

void FlexGrid::setScrollTrack(bool on)
{
    verticalScrollBar()->setTracking(on);
    horizontalScrollBar()->setTracking(on);
}

void FlexGrid::setSelectionMode(int mode)
{
    m_selectionMode = std::clamp(mode, 0, 2);
    static constexpr QAbstractItemView::SelectionBehavior behaviours[] = {
        QAbstractItemView::SelectItems, QAbstractItemView::SelectRows, QAbstractItemView::SelectColumns};
    setSelectionBehavior(behaviours[m_selectionMode]);
    m_selectionPending = true;
    scheduleFlush();
}

void FlexGrid::setFocusRect(int mode)
{
    m_delegate->focusRect = mode != 0;
    viewport()->update();
}

QString FlexGrid::FormatString() const
{
    return m_table.format();
}

void FlexGrid::fitColumnsToHeader()
{
    const QFontMetricsF metrics(font());
    // Room for the header's own margins, so that a header text is never cut.
    const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, horizontalHeader()) + 2;
    for (qint32 col = 0; col < Cols(); ++col) {
        const QString text = m_table.cell(0, col);
        setColumnWidth(col, static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + margins);
    }
    viewport()->update();
}

void FlexGrid::setRedraw(bool on)
{
    if (on == m_redraw)
        return;
    m_redraw = on;
    setUpdatesEnabled(on);
    if (on)
        flushView();
    else
        m_flushTimer->stop();
}

void FlexGrid::flushView()
{
    m_flushTimer->stop();
    const QScopedValueRollback<bool> applying(m_applying, true);
    const bool replaced = m_model->replaced();
    m_model->commit();
    if (replaced && isVisible() && !m_topPending) {
        // As when the view itself is emptied: it scrolls back to the first line, unless told otherwise.
        verticalScrollBar()->setValue(0);
        m_topRow = 1;
    }
    if (m_selectionPending) {
        m_selectionPending = false;
        applySelection();
    }
    if (m_topPending && isVisible()) {
        m_topPending = false;
        executeDelayedItemsLayout();
        updateGeometries();
        verticalScrollBar()->setValue(m_topRow - 1);
        m_topRow = verticalScrollBar()->value() + 1;
    }
}

void FlexGrid::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    if (m_topPending || m_selectionPending || m_model->pending())
        scheduleFlush();
}

void FlexGrid::scheduleFlush()
{
    if (m_redraw && !m_flushTimer->isActive())
        m_flushTimer->start();
}

void FlexGrid::rowsChanged(qint32 oldRows)
{
    const qint32 rows = Rows();
    const qint32 row = m_row;
    const qint32 rowSel = m_rowSel;
    if (rows <= 1) {
        m_row = m_rowSel = 0;
    } else if (oldRows <= 1 && m_row == 0) {
        // The first line of an empty table becomes the current one.
        m_row = m_rowSel = 1;
    } else {
        m_row = std::min(m_row, rows - 1);
        m_rowSel = std::min(m_rowSel, rows - 1);
    }
    // Removing rows moves the view's own selection; ours is put back at the flush.
    if (rows < oldRows || row != m_row || rowSel != m_rowSel)
        m_selectionPending = true;
    scheduleFlush();
}

void FlexGrid::applySelection()
{
    QItemSelectionModel* selection = selectionModel();
    const bool autoScroll = hasAutoScroll();
    setAutoScroll(false); // selecting by code does not scroll
    if (m_row >= 1 && m_rowSel >= 1) {
        const int top = std::min(m_row, m_rowSel) - 1;
        const int bottom = std::max(m_row, m_rowSel) - 1;
        const bool wholeRows = m_selectionMode == 1;
        const int left = wholeRows ? 0 : m_col;
        const int right = wholeRows ? Cols() - 1 : m_col;
        selection->setCurrentIndex(m_model->index(m_rowSel - 1, m_col), QItemSelectionModel::NoUpdate);
        selection->select(QItemSelection(m_model->index(top, left), m_model->index(bottom, right)),
                          QItemSelectionModel::ClearAndSelect);
    } else {
        selection->clear();
    }
    setAutoScroll(autoScroll);
}

void FlexGrid::takeViewSelection()
{
    // Rows standing for removed lines are not the operator's to choose.
    if (m_applying || m_model->replaced())
        return;
    const QModelIndex current = currentIndex();
    const QItemSelection selected = selectionModel()->selection();
    int top = -1;
    int bottom = -1;
    for (const QItemSelectionRange& range : selected) {
        if (current.isValid() && range.top() <= current.row() && current.row() <= range.bottom()) {
            top = range.top();
            bottom = range.bottom();
            break;
        }
    }
    if (top < 0 && !selected.isEmpty()) {
        top = selected.first().top();
        bottom = selected.first().bottom();
    }
    if (top < 0) {
        if (!current.isValid())
            return;
        top = bottom = current.row();
    }
    // The view moves its current index with the extending end; Row stays at the anchor.
    if (current.isValid() && current.row() == top && top != bottom) {
        m_row = bottom + 1;
        m_rowSel = top + 1;
    } else {
        m_row = top + 1;
        m_rowSel = bottom + 1;
    }
    if (current.isValid())
        m_col = current.column();
}

qint32 FlexGrid::estimatedMaxTopRow() const
{
    const int frame = 2 * frameWidth();
    int viewHeight = height() - frame - horizontalHeader()->sizeHint().height();
    if (horizontalHeader()->length() > width() - frame)
        viewHeight -= horizontalScrollBar()->sizeHint().height();
    const int fit = std::max(1, viewHeight / std::max(1, verticalHeader()->defaultSectionSize()));
    return std::max(1, Rows() - fit);
}

int FlexGrid::rowHeightPixels() const
{
    return QFontMetrics(font()).height() + 4;
}
