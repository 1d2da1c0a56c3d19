#include "widgets/TColorStringGrid.h"

#include "core/TExceptionHook.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QItemSelectionModel>
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

// Rows of strings, and the header's strings; a column without a header text is numbered
// from 1, as a table's default header is.
class TGridCells : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_cols; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size()) {
            return {};
        }
        return m_rows.at(index.row()).value(index.column());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_cols) {
            return QAbstractTableModel::headerData(section, orientation, role);
        }
        return section < m_header.size() && m_headerSet.at(section) ? QVariant(m_header.at(section))
                                                                    : QVariant(section + 1);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void SetRows(int rows)
    {
        const int now = int(m_rows.size());
        if (rows > now) {
            beginInsertRows(QModelIndex(), now, rows - 1);
            m_rows.resize(rows);
            endInsertRows();
        } else if (rows < now) {
            beginRemoveRows(QModelIndex(), rows, now - 1);
            m_rows.resize(rows);
            endRemoveRows();
        }
    }
    void SetCols(int cols)
    {
        if (cols > m_cols) {
            beginInsertColumns(QModelIndex(), m_cols, cols - 1);
            m_cols = cols;
            endInsertColumns();
        } else if (cols < m_cols) {
            beginRemoveColumns(QModelIndex(), cols, m_cols - 1);
            m_cols = cols;
            for (QStringList& row : m_rows) {
                if (row.size() > cols) {
                    row.resize(cols);
                }
            }
            endRemoveColumns();
        }
    }
    QString Text(int row, int col) const { return m_rows.value(row).value(col); }
    void SetText(int row, int col, const QString& text)
    {
        QStringList& cells = m_rows[row];
        if (cells.value(col) == text) {
            return;
        }
        if (cells.size() <= col) {
            cells.resize(col + 1);
        }
        cells[col] = text;
        const QModelIndex at = index(row, col);
        emit dataChanged(at, at, {Qt::DisplayRole});
    }
    QString HeaderText(int col) const { return m_header.value(col); }
    void SetHeaderText(int col, const QString& text)
    {
        if (m_header.size() <= col) {
            m_header.resize(col + 1);
            m_headerSet.resize(col + 1);
        }
        m_header[col] = text;
        m_headerSet[col] = true;
        emit headerDataChanged(Qt::Horizontal, col, col);
    }

private:
    QList<QStringList> m_rows;
    QStringList m_header;
    QList<bool> m_headerSet;
    int m_cols = 0;
};

TColorStringGrid::TColorStringGrid(QWidget* parent, int fixedRows)
    : QTableView(parent), m_cells(new TGridCells(this)), m_fixedRows(fixedRows)
{
    setModel(m_cells);
    setItemDelegate(new ColorDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setVisible(fixedRows > 0);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit CellDoubleClicked(index.row() + m_fixedRows); });
}

int TColorStringGrid::RowCount() const
{
    return m_cells->rowCount() + m_fixedRows;
}

void TColorStringGrid::SetRowCount(int rows)
{
    m_cells->SetRows(qMax(0, rows - m_fixedRows));
}

int TColorStringGrid::ColCount() const
{
    return m_cells->columnCount();
}

void TColorStringGrid::SetColCount(int cols)
{
    m_cells->SetCols(qMax(0, cols));
}

QString TColorStringGrid::Cells(int col, int row) const
{
    if (row < m_fixedRows) {
        return m_cells->HeaderText(col);
    }
    return m_cells->Text(row - m_fixedRows, col);
}

void TColorStringGrid::SetCells(int col, int row, const QString& text)
{
    if (col < 0 || col >= m_cells->columnCount() || row < 0) {
        return;
    }
    if (row < m_fixedRows) {
        m_cells->SetHeaderText(col, text);
        return;
    }
    if (row - m_fixedRows >= m_cells->rowCount()) {
        return;
    }
    m_cells->SetText(row - m_fixedRows, col, text);
}

int TColorStringGrid::Row() const
{
    const int r = currentIndex().row();
    return r < 0 ? m_fixedRows : r + m_fixedRows;
}

void TColorStringGrid::SetRow(int row)
{
    const int r = row - m_fixedRows;
    if (r >= 0 && r < m_cells->rowCount()) {
        setCurrentIndex(m_cells->index(r, qMax(0, currentIndex().column())));
        selectRow(r);
    }
}

int TColorStringGrid::SelectionTop() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        const int r = currentIndex().row();
        return r < 0 ? 0 : r + m_fixedRows;
    }
    int top = selected.first().row();
    for (const QModelIndex& index : selected) {
        top = qMin(top, index.row());
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
