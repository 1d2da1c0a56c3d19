#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QStyle>
#include <QTableView>
#include <functional>

class TColorStringGrid;
class TGridCells;

// What a cell is drawn with; the cell-colour event may change any of it.
struct TCellPaint {
    QBrush Brush;
    QFont Font;
    QColor FontColor;
};

// A string grid that raises OnGetCellColor before it draws each cell, with the brush
// and font already prepared (the highlight colours for selected cells). With one
// fixed row, row 0 is the header and message rows start at 1. The cells are plain
// strings in a model of the grid's own: setting one costs an assignment, not an item.
class TColorStringGrid : public QTableView {
    Q_OBJECT
public:
    using TColorEvent =
        std::function<void(TColorStringGrid* sender, int ARow, int ACol, QStyle::State AState, TCellPaint& paint)>;

    explicit TColorStringGrid(QWidget* parent = nullptr, int fixedRows = 1);

    TColorEvent OnGetCellColor;

    int FixedRows() const { return m_fixedRows; }
    // Row counts include the fixed row.
    int RowCount() const;
    void SetRowCount(int rows);
    int ColCount() const;
    void SetColCount(int cols);

    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& text);

    int ColWidths(int col) const { return columnWidth(col); }
    void SetColWidths(int col, int width) { setColumnWidth(col, width); }

    // The selected row in grid numbering (fixed rows counted), or the first data row.
    int Row() const;
    void SetRow(int row);
    // Top row of the selection; 0 when nothing is selected in a grid with a header.
    int SelectionTop() const;

    // Colours the grid's own default drawing uses.
    QColor GridColor() const;
    QColor HighlightColor() const;

signals:
    void CellDoubleClicked(int row);

private:
    TGridCells* m_cells;
    int m_fixedRows;
};
