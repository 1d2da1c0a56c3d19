#include "widgets/TFormAbout.h"
#include "widgets/TScrollingCreditsBox.h"
#include "widgets/TUrlLabel.h"

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QtTest>

class tst_About : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void urlLabelClick_data();
    void urlLabelClick();
    void aboutShownOnce();
    void settingsPathShown();
    void aboutLinksOpen();
    void creditsScroll();
    void creditsComeRound();
    void memoSelectionClearedOnRelease();

private:
    QStringList m_opened;
};

void tst_About::init()
{
    m_opened.clear();
    TUrlLabel::SetOpener([this](const QString& target) { m_opened << target; });
}

void tst_About::cleanup()
{
    TUrlLabel::SetOpener({});
}

void tst_About::urlLabelClick_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("opened");

    QTest::newRow("URL set") << "mailto:a@b.example"
                             << "Write to me" << QStringList{"mailto:a@b.example"};
    QTest::newRow("blank URL opens caption") << "   "
                                             << "https://x.example" << QStringList{"https://x.example"};
    QTest::newRow("empty URL opens caption") << ""
                                             << "https://x.example" << QStringList{"https://x.example"};
    QTest::newRow("caption blank, URL set") << "https://y.example"
                                            << "" << QStringList{"https://y.example"};
    QTest::newRow("both blank opens nothing") << " "
                                              << "  " << QStringList{};
}

void tst_About::urlLabelClick()
{
    QFETCH(QString, url);
    QFETCH(QString, caption);
    QFETCH(QStringList, opened);

    QWidget window;
    auto* label = new TUrlLabel(&window);
    label->setGeometry(0, 0, 120, 20);
    label->SetURL(url);
    label->setText(caption);
    int clicks = 0;
    label->OnClick = [&](TUrlLabel*) {
        ++clicks;
        QVERIFY(m_opened.isEmpty());
    };
    window.show();
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(clicks, 1);
    QCOMPARE(m_opened, opened);

    // A press that ends outside the label is no click.
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(200, 10));
    QCOMPARE(clicks, 1);
}

void tst_About::settingsPathShown()
{
    QMainWindow frame;
    auto* area = new QMdiArea;
    frame.setCentralWidget(area);
    frame.resize(900, 600);
    frame.show();

    const QString path = QStringLiteral("/home/someone/with/a/rather/long/folder/name/.config/mailvane/Mailvane.ini");
    auto* about = qobject_cast<TFormAbout*>(TFormAbout::ShowOnce(area, path));
    QVERIFY(about && about->LabelSettings);
    QCOMPARE(about->LabelSettings->toolTip(), path);
    // Shortened in the middle when too long: the file's own name stays in sight.
    QVERIFY2(about->LabelSettings->text().endsWith(QStringLiteral("Mailvane.ini")),
             qPrintable(about->LabelSettings->text()));
    QVERIFY(about->LabelSettings->fontMetrics().horizontalAdvance(about->LabelSettings->text()) <=
            about->LabelSettings->width());
    // Inside the fixed-size window, below the links.
    const QWidget* client = about->widget();
    const QRect label = about->LabelSettings->geometry();
    QVERIFY2(client->rect().contains(label), qPrintable(QStringLiteral("label %1,%2 %3x%4 in client %5x%6")
                                                            .arg(label.x())
                                                            .arg(label.y())
                                                            .arg(label.width())
                                                            .arg(label.height())
                                                            .arg(client->width())
                                                            .arg(client->height())));
    QVERIFY(about->LabelSettings->geometry().top() >= about->UrlLabelWWW->geometry().bottom());
}

void tst_About::aboutShownOnce()
{
    QMainWindow frame;
    auto* area = new QMdiArea;
    frame.setCentralWidget(area);
    frame.resize(900, 600);
    frame.show();

    QPointer<QMdiSubWindow> first = TFormAbout::ShowOnce(area);
    QVERIFY(first);
    QMdiSubWindow* second = TFormAbout::ShowOnce(area);
    QCOMPARE(second, first.data());
    QCOMPARE(area->subWindowList().size(), 1);
    QCOMPARE(first->windowTitle(), QString("About"));
    QCOMPARE(first->size(), QSize(418, 306));
    QCOMPARE(first->minimumSize(), first->maximumSize());
    QCOMPARE(first->pos(), QPoint(900 - 418 - 10, 0));

    // Closing frees it; the next About command makes a new one.
    first->close();
    QTRY_VERIFY(first.isNull());
    QCOMPARE(area->subWindowList().size(), 0);
    QVERIFY(TFormAbout::ShowOnce(area));
    QCOMPARE(area->subWindowList().size(), 1);

    // Any child captioned "About" counts as the About window.
    QMdiArea other;
    QMdiSubWindow* foreign = other.addSubWindow(new QWidget);
    foreign->setWindowTitle("About");
    QCOMPARE(TFormAbout::ShowOnce(&other), foreign);
    QCOMPARE(other.subWindowList().size(), 1);
}

void tst_About::aboutLinksOpen()
{
    QMdiArea area;
    area.resize(800, 500);
    area.show();
    auto* about = qobject_cast<TFormAbout*>(TFormAbout::ShowOnce(&area));
    QVERIFY(about);
    for (const char* name : {"UrlLabelWWW", "UrlLabelMail", "UrlLabelAuthor"}) {
        auto* label = about->findChild<TUrlLabel*>(name);
        QVERIFY2(label, name);
        QVERIFY(label->isVisible());
        label->Click();
    }
    const QString mailto = QString("mailto:") + TFormAbout::MailAddress;
    QCOMPARE(m_opened, (QStringList{TFormAbout::HomePage, mailto, mailto}));
}

void tst_About::creditsScroll()
{
    QMdiArea area;
    area.resize(800, 500);
    area.show();
    auto* about = qobject_cast<TFormAbout*>(TFormAbout::ShowOnce(&area));
    QVERIFY(about);
    QVERIFY(about->ScrollingCreditsBox->Timer().isActive());
    QCOMPARE(about->Memo->y(), 0);
    QTRY_VERIFY(about->Memo->y() < -2);

    about->ScrollingCreditsBox->SetPaused(true);
    const int stopped = about->Memo->y();
    // The box's own handler runs before the spy's, so each counted tick has been handled.
    QSignalSpy ticks(&about->ScrollingCreditsBox->Timer(), &QTimer::timeout);
    QTRY_VERIFY(ticks.count() >= 4);
    QCOMPARE(about->Memo->y(), stopped);
}

void tst_About::creditsComeRound()
{
    TScrollingCreditsBox box;
    box.resize(100, 100);
    box.SetScrollStep(10);
    box.SetCompSpace(5);
    auto* a = new QWidget(box.Client());
    a->setGeometry(0, 0, 50, 30);
    auto* b = new QWidget(box.Client());
    b->setGeometry(0, 40, 50, 30);

    for (int i = 0; i < 3; ++i) {
        box.TimerTimer();
    }
    // a's bottom reached the top: it comes round a whole box below the last one, b.
    QCOMPARE(b->y(), 10);
    QCOMPARE(a->y(), 10 + 30 + 100);

    for (int i = 0; i < 4; ++i) {
        box.TimerTimer();
    }
    // b left next and lines up below a, CompSpace apart.
    QCOMPARE(a->y(), 100);
    QCOMPARE(b->y(), 100 + 30 + 5);

    // A single child re-enters from the bottom edge.
    TScrollingCreditsBox single;
    single.resize(100, 100);
    single.SetScrollStep(25);
    auto* only = new QWidget(single.Client());
    only->setGeometry(0, 0, 50, 50);
    single.TimerTimer();
    single.TimerTimer();
    QCOMPARE(only->y(), 100);
}

void tst_About::memoSelectionClearedOnRelease()
{
    QMdiArea area;
    area.resize(800, 500);
    area.show();
    auto* about = qobject_cast<TFormAbout*>(TFormAbout::ShowOnce(&area));
    QVERIFY(about);
    about->ScrollingCreditsBox->SetPaused(true);
    QTextCursor cursor = about->Memo->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    about->Memo->setTextCursor(cursor);
    QVERIFY(about->Memo->textCursor().hasSelection());

    QTest::mouseRelease(about->Memo->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!about->Memo->textCursor().hasSelection());
    QCOMPARE(about->Memo->textCursor().position(), 0);
    QCOMPARE(about->Memo->focusPolicy() & Qt::TabFocus, 0);
}

QTEST_MAIN(tst_About)
#include "tst_About.moc"
