#include "widgets/TColorStringGrid.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>

class tst_ColorStringGrid : public QObject {
    Q_OBJECT
private slots:
    void cellsAndHeader();
    void selectionAndDoubleClick();
};

// Row 0 is the header; cells out of range are neither set nor read; a cell signals only
// a real change; a column without a header text shows its number, as a table's does.
void tst_ColorStringGrid::cellsAndHeader()
{
    TColorStringGrid grid(nullptr, 1);
    grid.SetColCount(3);
    grid.SetRowCount(3);
    QCOMPARE(grid.RowCount(), 3);
    QCOMPARE(grid.model()->rowCount(), 2);
    grid.SetCells(0, 0, QStringLiteral("編號"));
    QCOMPARE(grid.Cells(0, 0), QStringLiteral("編號"));
    QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("編號"));
    QCOMPARE(grid.model()->headerData(2, Qt::Horizontal).toInt(), 3);

    QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
    grid.SetCells(2, 2, QStringLiteral("x"));
    grid.SetCells(2, 2, QStringLiteral("x"));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(grid.Cells(2, 2), QStringLiteral("x"));
    QCOMPARE(grid.model()->index(1, 2).data().toString(), QStringLiteral("x"));
    grid.SetCells(3, 1, QStringLiteral("no column"));
    grid.SetCells(0, 3, QStringLiteral("no row"));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(grid.Cells(0, 3), QString());
    QCOMPARE(grid.Cells(1, 1), QString());

    // Fewer rows drop their cells; rows added again start empty.
    grid.SetRowCount(2);
    grid.SetRowCount(3);
    QCOMPARE(grid.Cells(2, 2), QString());
    // Fewer columns drop the cells beyond them.
    grid.SetCells(1, 1, QStringLiteral("y"));
    grid.SetColCount(1);
    grid.SetColCount(2);
    QCOMPARE(grid.Cells(1, 1), QString());
}

void tst_ColorStringGrid::selectionAndDoubleClick()
{
    TColorStringGrid grid(nullptr, 1);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.setSelectionMode(QAbstractItemView::SingleSelection);
    grid.SetColCount(2);
    grid.SetRowCount(5);
    QCOMPARE(grid.SelectionTop(), 0);
    QCOMPARE(grid.Row(), 1);
    grid.SetRow(3);
    QCOMPARE(grid.SelectionTop(), 3);
    QCOMPARE(grid.Row(), 3);
    grid.SetRow(9);
    QCOMPARE(grid.SelectionTop(), 3);

    QSignalSpy clicked(&grid, &TColorStringGrid::CellDoubleClicked);
    emit grid.doubleClicked(grid.model()->index(1, 0));
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().toInt(), 2);
}

QTEST_MAIN(tst_ColorStringGrid)
#include "tst_ColorStringGrid.moc"
