#include "widgets/TColorStringGrid.h"

#include "core/TExceptionHook.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

class ColorDelegate : public QStyledItemDelegate {
public:
    explicit ColorDelegate(TColorStringGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        TCellPaint cell;
        cell.Brush = QBrush(selected ? m_grid->HighlightColor() : m_grid->GridColor());
        cell.Font = option.font;
        cell.FontColor =
            selected ? option.palette.color(QPalette::HighlightedText) : option.palette.color(QPalette::Text);
        const int row = index.row() + m_grid->FixedRows();
        if (m_grid->OnGetCellColor) {
            TExceptionHook::Run([&] { m_grid->OnGetCellColor(m_grid, row, index.column(), option.state, cell); });
        }
        painter->save();
        painter->fillRect(option.rect, cell.Brush);
        painter->setFont(cell.Font);
        painter->setPen(cell.FontColor);
        painter->setClipRect(option.rect);
        painter->drawText(option.rect.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

private:
    TColorStringGrid* m_grid;
};

} // namespace

TColorStringGrid::TColorStringGrid(QWidget* parent, int fixedRows) : QTableWidget(parent), m_fixedRows(fixedRows)
{
    setItemDelegate(new ColorDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setVisible(fixedRows > 0);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    connect(this, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { emit CellDoubleClicked(row + m_fixedRows); });
}

int TColorStringGrid::RowCount() const
{
    return rowCount() + m_fixedRows;
}

void TColorStringGrid::SetRowCount(int rows)
{
    setRowCount(qMax(0, rows - m_fixedRows));
}

QString TColorStringGrid::Cells(int col, int row) const
{
    if (row < m_fixedRows) {
        const QTableWidgetItem* h = horizontalHeaderItem(col);
        return h ? h->text() : QString();
    }
    const QTableWidgetItem* it = item(row - m_fixedRows, col);
    return it ? it->text() : QString();
}

void TColorStringGrid::SetCells(int col, int row, const QString& text)
{
    if (col < 0 || col >= columnCount() || row < 0) {
        return;
    }
    if (row < m_fixedRows) {
        QTableWidgetItem* h = horizontalHeaderItem(col);
        if (!h) {
            h = new QTableWidgetItem;
            setHorizontalHeaderItem(col, h);
        }
        h->setText(text);
        return;
    }
    if (row - m_fixedRows >= rowCount()) {
        return;
    }
    // One change signal per cell set, none for a cell that keeps its text.
    QTableWidgetItem* it = item(row - m_fixedRows, col);
    if (!it) {
        setItem(row - m_fixedRows, col, new QTableWidgetItem(text));
    } else if (it->text() != text) {
        it->setText(text);
    }
}

int TColorStringGrid::Row() const
{
    const int r = currentRow();
    return r < 0 ? m_fixedRows : r + m_fixedRows;
}

void TColorStringGrid::SetRow(int row)
{
    const int r = row - m_fixedRows;
    if (r >= 0 && r < rowCount()) {
        setCurrentCell(r, qMax(0, currentColumn()));
        selectRow(r);
    }
}

int TColorStringGrid::SelectionTop() const
{
    const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    if (ranges.isEmpty()) {
        return currentRow() < 0 ? 0 : currentRow() + m_fixedRows;
    }
    int top = ranges.first().topRow();
    for (const auto& r : ranges) {
        top = qMin(top, r.topRow());
    }
    return top + m_fixedRows;
}

QColor TColorStringGrid::GridColor() const
{
    return palette().color(QPalette::Base);
}

QColor TColorStringGrid::HighlightColor() const
{
    return palette().color(QPalette::Highlight);
}
