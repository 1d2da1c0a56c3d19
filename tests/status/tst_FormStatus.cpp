#include "core/TClock.h"
#include "settings/TIniFile.h"
#include "status/TFormStatus.h"
#include "status/TLED.h"
#include "widgets/TColorStringGrid.h"

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QTest>

class tst_FormStatus : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void lights_data();
    void lights();
    void showReadsPositionEachTime();
    void redRules_data();
    void redRules();
    void redPainted();
    void timeCellFits_data();
    void timeCellFits();

private:
    QTemporaryDir m_dir;
    QString m_ini;
    double m_next = 0;
    QString m_tip;
    std::unique_ptr<QMainWindow> m_main;
    TFormStatus* m_form = nullptr;
};

void tst_FormStatus::init()
{
    m_ini = m_dir.filePath(QStringLiteral("Mailvane.ini"));
    QFile::remove(m_ini);
    m_tip.clear();
    TClock::SetFixed(QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0)));
    m_next = TClock::Now() + 1.0 / 24;
    m_main = std::make_unique<QMainWindow>();
    auto* area = new QMdiArea;
    m_main->setCentralWidget(area);
    m_main->resize(800, 600);
    m_form = new TFormStatus(
        nullptr, m_ini, [this] { return m_next; }, [this](const QString& tip) { m_tip = tip; });
    area->addSubWindow(m_form);
}

void tst_FormStatus::cleanup()
{
    m_main.reset();
    TClock::SetReal();
}

void tst_FormStatus::lights_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("blinking"); // one letter per light: R, Y, G, or "-" for none

    QTest::newRow("ready") << QStringList{"Green"} << "G";
    QTest::newRow("busy then ready") << QStringList{"Yellow", "Green"} << "G";
    QTest::newRow("busy") << QStringList{"Green", "Yellow"} << "Y";
    QTest::newRow("error") << QStringList{"Yellow", "Red"} << "R";
    QTest::newRow("blue keeps lights") << QStringList{"Yellow", "Blue"} << "Y";
    QTest::newRow("blue alone") << QStringList{"Blue"} << "-";
    QTest::newRow("case matters") << QStringList{"Red", "green"} << "R";
    QTest::newRow("same twice") << QStringList{"Red", "Red"} << "R";
}

void tst_FormStatus::lights()
{
    QFETCH(QStringList, words);
    QFETCH(QString, blinking);

    int n = 0;
    for (const QString& w : words) {
        m_form->LED(w, QStringLiteral("text%1").arg(++n));
    }
    const QString shown = QString(m_form->LEDRed->Blinking() ? "R" : "") + (m_form->LEDYellow->Blinking() ? "Y" : "") +
                          (m_form->LEDGreen->Blinking() ? "G" : "");
    QCOMPARE(shown.isEmpty() ? QStringLiteral("-") : shown, blinking);
    QCOMPARE(m_form->Busy(), blinking == QLatin1String("Y"));
    QCOMPARE(m_form->LabelStatus->text(), QStringLiteral("text%1").arg(n));
    QCOMPARE(m_tip, QStringLiteral("Mailvane: text%1").arg(n));
}

void tst_FormStatus::showReadsPositionEachTime()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Status"));
    QVERIFY(!(m_form->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(m_form->widget()->size(), QSize(162, 173));

    TIniFile ini(m_ini);
    ini.WriteInteger("Windows", "StatusTop", 30);
    ini.WriteInteger("Windows", "StatusLeft", 120);
    m_main->show();
    QCOMPARE(m_form->pos(), QPoint(120, 30));
    const QStringList labels{"信箱數目", "信件數目", "新進信件", "現在日期", "現在時間", "下次檢查"};
    for (int row = 0; row < 6; ++row) {
        QCOMPARE(m_form->ColorStringGrid->Cells(0, row), labels.at(row));
    }
    QCOMPARE(m_form->Cell(1), QStringLiteral("0"));
    QCOMPARE(m_form->Cell(2), QStringLiteral("0"));

    m_form->SetCell(1, "7");
    ini.WriteInteger("Windows", "StatusTop", 55);
    // The frame going to the tray and back is not a new show of this window.
    m_main->hide();
    m_main->show();
    QCOMPARE(m_form->Cell(1), QStringLiteral("7"));
    QCOMPARE(m_form->pos(), QPoint(120, 30));

    m_form->hide();
    m_form->show();
    QCOMPARE(m_form->pos(), QPoint(120, 55));
    QCOMPARE(m_form->Cell(1), QStringLiteral("0"));
}

void tst_FormStatus::redRules_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("secondsToCheck");
    QTest::addColumn<bool>("red");

    QTest::newRow("no mailbox") << 0 << "0" << 3600 << true;
    QTest::newRow("one mailbox") << 0 << "1" << 3600 << false;
    QTest::newRow("mailbox count empty") << 0 << "" << 3600 << false;
    QTest::newRow("mailbox count not a number") << 0 << "abc" << 3600 << false;
    QTest::newRow("no new mail") << 2 << "0" << 3600 << false;
    QTest::newRow("new mail") << 2 << "3" << 3600 << true;
    QTest::newRow("mail count never red") << 1 << "0" << 3600 << false;
    QTest::newRow("check in 11 s") << 5 << "11:00:00" << 11 << false;
    QTest::newRow("check in 10 s") << 5 << "11:00:00" << 10 << true;
    QTest::newRow("check in 1 s") << 5 << "11:00:00" << 1 << true;
    QTest::newRow("check overdue") << 5 << "11:00:00" << -7200 << true;
    QTest::newRow("time cell never red") << 4 << "10:00:00" << 1 << false;
}

void tst_FormStatus::redRules()
{
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(int, secondsToCheck);
    QFETCH(bool, red);

    m_next = TClock::Now() + secondsToCheck / 86400.0;
    m_form->SetCell(row, text);
    TColorStringGrid* grid = m_form->ColorStringGrid;
    for (bool selected : {false, true}) {
        TCellPaint paint;
        paint.Brush = QBrush(selected ? grid->HighlightColor() : grid->GridColor());
        paint.FontColor = selected ? grid->palette().color(QPalette::HighlightedText) : Qt::black;
        m_form->ColorStringGridGetCellColor(grid, row, 1, QStyle::State_None, paint);
        QCOMPARE(paint.FontColor == QColor(Qt::red), red);
        // A selected cell is drawn like any other.
        QCOMPARE(paint.Brush.color(), grid->GridColor());
    }
}

void tst_FormStatus::redPainted()
{
    m_main->show();
    m_form->SetCell(0, "0");
    m_form->SetCell(3, "2024/3/5");
    auto hasRed = [this](int row) {
        const QImage img = m_form->ColorStringGrid->viewport()->grab().toImage();
        const QRect cell = m_form->ColorStringGrid->visualRect(m_form->ColorStringGrid->model()->index(row, 1));
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 60 && c.blue() < 60) {
                    return true;
                }
            }
        }
        return false;
    };
    QVERIFY(hasRed(0));
    QVERIFY(!hasRed(3));
}

void tst_FormStatus::timeCellFits_data()
{
    QTest::addColumn<QString>("locale");
    for (const char* name : {"zh_TW", "en_US", "de_DE", "ja_JP", "ko_KR"}) {
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

void tst_FormStatus::timeCellFits()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    m_form->SetTimeCell(4, QTime(23, 48, 57));
    QLocale::setDefault(QLocale::c());
    const QString text = m_form->Cell(4);
    QVERIFY2(text.contains(QLatin1String("48")) && text.contains(QLatin1String("57")), qPrintable(text));
    const QFontMetrics metrics(m_form->ColorStringGrid->font());
    QVERIFY2(metrics.horizontalAdvance(text) <= m_form->ColorStringGrid->ColWidths(1) - 4, qPrintable(text));
}

QTEST_MAIN(tst_FormStatus)
#include "tst_FormStatus.moc"
