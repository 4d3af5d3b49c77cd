#include "platform/flexgrid.h"

#include "platform/twips.h"

#include <QAbstractTableModel>
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

enum class Align { General, Left, Centre, Right };

Qt::Alignment alignmentOf(Align align, const QString& text)
{
    switch (align) {
    case Align::Left:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case Align::Centre:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case Align::General:
        break;
    }
    // The control's general alignment: numbers to the right, other text to the left.
    bool number = false;
    (void)text.toDouble(&number);
    return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

} // namespace

// Grid row 0 is the header (shown as the horizontal header); grid row r >= 1 is model row r - 1. Appended
// rows stay pending until commit(), so the view learns of many new rows in one notification.
class FlexGridModel : public QAbstractTableModel {
public:
    explicit FlexGridModel(QObject* parent) : QAbstractTableModel(parent), m_cells(1), m_align(1) {}

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_committed; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_cols; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_committed || index.column() >= m_cols)
            return {};
        const QString text = cell(index.row() + 1, index.column());
        if (role == Qt::DisplayRole)
            return text;
        if (role == Qt::TextAlignmentRole)
            return static_cast<int>(alignmentOf(m_align[static_cast<size_t>(index.column())], text));
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Vertical)
            return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
        if (section < 0 || section >= m_cols)
            return {};
        const QString text = cell(0, section);
        if (role == Qt::DisplayRole)
            return text;
        if (role == Qt::TextAlignmentRole)
            return static_cast<int>(alignmentOf(m_align[static_cast<size_t>(section)], text));
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    [[nodiscard]] qint32 rows() const { return static_cast<qint32>(m_cells.size()); }
    [[nodiscard]] qint32 cols() const { return m_cols; }

    [[nodiscard]] QString cell(qint32 row, qint32 col) const
    {
        const QStringList& fields = m_cells[static_cast<size_t>(row)];
        return col < fields.size() ? fields.at(col) : QString();
    }

    // row and col must be valid.
    void setCell(qint32 row, qint32 col, const QString& text)
    {
        QStringList& fields = m_cells[static_cast<size_t>(row)];
        if (fields.size() <= col)
            fields.resize(col + 1);
        fields[col] = text;
        if (row == 0) {
            emit headerDataChanged(Qt::Horizontal, col, col);
        } else if (row - 1 < m_committed) {
            m_dirtyFirst = m_dirtyFirst < 0 ? row - 1 : std::min(m_dirtyFirst, row - 1);
            m_dirtyLast = std::max(m_dirtyLast, row - 1);
        }
    }

    void setAlignment(qint32 col, Align align) { m_align[static_cast<size_t>(col)] = align; }

    void appendRows(qint32 count) { m_cells.resize(m_cells.size() + static_cast<size_t>(count)); }

    void appendRow(QStringList fields)
    {
        if (fields.size() > m_cols)
            fields.resize(m_cols);
        m_cells.push_back(std::move(fields));
    }

    // Grid rows first .. first + count - 1, all of them existing data rows.
    void removeBlock(qint32 first, qint32 count)
    {
        commit();
        beginRemoveRows({}, first - 1, first + count - 2);
        const auto begin = m_cells.begin() + first;
        m_cells.erase(begin, begin + count);
        m_committed -= count;
        endRemoveRows();
    }

    void setCols(qint32 cols)
    {
        if (cols == m_cols)
            return;
        commit();
        if (cols > m_cols) {
            beginInsertColumns({}, m_cols, cols - 1);
            m_cols = cols;
            m_align.resize(static_cast<size_t>(cols), Align::General);
            endInsertColumns();
            return;
        }
        beginRemoveColumns({}, cols, m_cols - 1);
        m_cols = cols;
        m_align.resize(static_cast<size_t>(cols));
        for (QStringList& fields : m_cells) {
            if (fields.size() > cols)
                fields.resize(cols);
        }
        endRemoveColumns();
    }

    [[nodiscard]] bool pending() const { return rows() - 1 != m_committed || m_dirtyFirst >= 0; }

    // Tells the view about the rows appended and the cells changed since the last commit.
    void commit()
    {
        const int dataRows = rows() - 1;
        if (dataRows > m_committed) {
            beginInsertRows({}, m_committed, dataRows - 1);
            m_committed = dataRows;
            endInsertRows();
        }
        if (m_dirtyFirst >= 0) {
            const int last = std::min(m_dirtyLast, m_committed - 1);
            const int first = m_dirtyFirst;
            m_dirtyFirst = m_dirtyLast = -1;
            if (first <= last)
                emit dataChanged(index(first, 0), index(last, m_cols - 1));
        }
    }

private:
    std::vector<QStringList> m_cells; // [0] is the header row
    std::vector<Align> m_align;
    qint32 m_cols = 1;
    int m_committed = 0;
    int m_dirtyFirst = -1;
    int m_dirtyLast = -1;
};

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

FlexGrid::FlexGrid(QWidget* parent)
    : QTableView(parent), m_model(new FlexGridModel(this)), m_delegate(new FlexGridDelegate(this)),
      m_flushTimer(new QTimer(this))
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
}

FlexGrid::~FlexGrid() = default;

qint32 FlexGrid::Rows() const
{
    return m_model->rows();
}

void FlexGrid::setRows(qint32 rows)
{
    const qint32 old = Rows();
    rows = std::max(rows, 1);
    if (rows > old) {
        m_model->appendRows(rows - old);
    } else if (rows < old) {
        const QScopedValueRollback<bool> applying(m_applying, true);
        m_model->removeBlock(rows, old - rows);
    }
    rowsChanged(old);
}

qint32 FlexGrid::Cols() const
{
    return m_model->cols();
}

void FlexGrid::setCols(qint32 cols)
{
    cols = std::max(cols, 1);
    if (cols == Cols())
        return;
    {
        const QScopedValueRollback<bool> applying(m_applying, true);
        m_model->setCols(cols);
    }
    m_col = std::min(m_col, cols - 1);
    m_selectionPending = true;
    scheduleFlush();
}

QString FlexGrid::TextMatrix(qint32 row, qint32 col) const
{
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        return {};
    return m_model->cell(row, col);
}

void FlexGrid::setTextMatrix(qint32 row, qint32 col, const QString& text)
{
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols())
        return;
    m_model->setCell(row, col, text);
    if (row > 0)
        scheduleFlush();
}

void FlexGrid::setRow(qint32 row)
{
    if (row < 0 || row >= Rows())
        return;
    // As in the control, setting the current row collapses the selection onto it.
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

void FlexGrid::setText(const QString& text)
{
    setTextMatrix(m_row, m_col, text);
}

void FlexGrid::setRowSel(qint32 row)
{
    if (row < 0 || row >= Rows())
        return;
    m_rowSel = row;
    m_selectionPending = true;
    scheduleFlush();
}

void FlexGrid::RemoveItem(qint32 row)
{
    RemoveItems(row, 1);
}

void FlexGrid::RemoveItems(qint32 first, qint32 count)
{
    const qint32 old = Rows();
    if (count <= 0 || first < 1 || first >= old)
        return;
    count = std::min(count, old - first);
    {
        const QScopedValueRollback<bool> applying(m_applying, true);
        m_model->removeBlock(first, count);
    }
    rowsChanged(old);
}

void FlexGrid::AddItem(const QString& tabSeparated)
{
    const qint32 old = Rows();
    m_model->appendRow(tabSeparated.split(QLatin1Char('\t')));
    rowsChanged(old);
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

double FlexGrid::Top() const
{
    return Twips::fromPixels(y());
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
    m_scrollTrack = on;
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
    m_focusRect = mode;
    m_delegate->focusRect = mode != 0;
    viewport()->update();
}

void FlexGrid::setFormatString(const QString& format)
{
    m_format = format;
    const QStringList fields = format.split(QLatin1Char('|'));
    setCols(static_cast<qint32>(fields.size()));
    const QFontMetricsF metrics(font());
    // Room for the header's own margins, so that a header text is never cut.
    const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, horizontalHeader()) + 2;
    for (qint32 col = 0; col < fields.size(); ++col) {
        QString text = fields.at(col);
        Align align = Align::General;
        if (text.startsWith(QLatin1Char('^')))
            align = Align::Centre;
        else if (text.startsWith(QLatin1Char('<')))
            align = Align::Left;
        else if (text.startsWith(QLatin1Char('>')))
            align = Align::Right;
        if (align != Align::General)
            text.remove(0, 1);
        m_model->setAlignment(col, align);
        m_model->setCell(0, col, text);
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
    m_model->commit();
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
        // The first line of an empty table becomes the current one, as in the control.
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
    if (m_applying)
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
    // The view moves its current index with the extending end; the control keeps Row at the anchor.
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
