#include "mailbox/TFormMailList.h"
#include "testsupport/TEnglishCatalogue.h"
#include "testsupport/TFakeMailHost.h"
#include "widgets/TColorStringGrid.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <memory>

using TEnglishCatalogue::HasCjk;

// The mailbox window in English: column headers that fit their columns, the pop-up menu.
class tst_FormMailListEnglish : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void headersFitAndReadEnglish_data();
    void headersFitAndReadEnglish();

private:
    QTemporaryDir m_qm;
    QTranslator m_english;
};

void tst_FormMailListEnglish::initTestCase()
{
    const QString why = TEnglishCatalogue::Install(m_english, m_qm);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void tst_FormMailListEnglish::headersFitAndReadEnglish_data()
{
    QTest::addColumn<bool>("english");
    QTest::newRow("English") << true;
    QTest::newRow("Chinese") << false;
}

void tst_FormMailListEnglish::headersFitAndReadEnglish()
{
    QFETCH(bool, english);
    if (english) {
        QCoreApplication::installTranslator(&m_english);
    } else {
        QCoreApplication::removeTranslator(&m_english);
    }
    QTemporaryDir dir;
    TFakeMailHost host;
    host.Path = dir.filePath(QStringLiteral("Mailvane.ini"));
    QMdiArea area;
    area.resize(1200, 900);
    auto* form = new TFormMailList(&host);
    form->setWindowTitle(QStringLiteral("Box"));
    area.addSubWindow(form);
    area.show();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));

    TColorStringGrid* grid = form->ColorStringGrid;
    const QFontMetrics metrics(grid->font());
    QStringList headers;
    for (int c = 1; c < 6; ++c) {
        const QString header = grid->Cells(c, 0);
        headers << header;
        // The Chinese number column is as narrow as it always was, four digits wide.
        QVERIFY2(!english || metrics.horizontalAdvance(header) + 4 <= grid->ColWidths(c),
                 qPrintable(QStringLiteral("%1: %2").arg(header).arg(grid->ColWidths(c))));
    }
    if (!english) {
        QCOMPARE(headers, QStringList({"編號", "大小", "時間", "發信人", "標題"}));
        return;
    }
    QCOMPARE(headers, QStringList({"No.", "Size", "Date", "From", "Subject"}));
    const QStringList menu = {form->PopMenuView->text(), form->PopMenuDelete->text(), form->PopMenuUndelete->text()};
    for (const QString& text : menu) {
        QVERIFY2(!text.isEmpty() && !HasCjk(text), qPrintable(text));
    }
    for (const QLabel* label : form->findChildren<QLabel*>()) {
        QVERIFY2(!HasCjk(label->text()), qPrintable(label->text()));
    }
}

QTEST_MAIN(tst_FormMailListEnglish)
#include "tst_FormMailListEnglish.moc"
