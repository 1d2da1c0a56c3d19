#include "core/TClock.h"
#include "widgets/TPaintThrottle.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QtTest>

namespace {

class TCountingLabel : public QLabel {
public:
    using QLabel::QLabel;
    int Paints = 0;
    QString Painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++Paints;
        Painted = text();
        QLabel::paintEvent(event);
    }
};

} // namespace

class tst_PaintThrottle : public QObject {
    Q_OBJECT
private slots:
    void init() { TClock::SetFixed(QDateTime(QDate(2024, 1, 1), QTime(12, 0))); }
    void cleanup() { TClock::SetReal(); }
    void burstPaintsOnceAnInterval();
    void flushShowsTheLastText();
};

// A thousand changes a millisecond apart, the event loop running between them as it does
// during socket waits: about one paint per interval, and the last text is the one shown.
void tst_PaintThrottle::burstPaintsOnceAnInterval()
{
    QWidget window;
    auto* label = new TCountingLabel(QStringLiteral("start"), &window);
    (new QVBoxLayout(&window))->addWidget(label);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TPaintThrottle throttle(&window, 50);
    QCoreApplication::processEvents();
    const int before = label->Paints;

    for (int i = 0; i < 1000; ++i) {
        label->setText(QString::number(i));
        throttle.Changed();
        QCoreApplication::processEvents();
        TClock::Advance(1);
        if (!throttle.Holding() && i > 0) {
            QVERIFY2(throttle.Paints() <= i / 50 + 2, qPrintable(QString::number(throttle.Paints())));
        }
    }
    // Without a throttle every pass of the loop would paint the label.
    QVERIFY2(label->Paints - before <= 1000 / 50 + 2, qPrintable(QString::number(label->Paints - before)));
    QVERIFY(throttle.Paints() >= 1);
    // The held changes are painted when the interval ends.
    QTRY_VERIFY(!throttle.Holding());
    QVERIFY(window.updatesEnabled());
    QCOMPARE(label->Painted, QStringLiteral("999"));
}

void tst_PaintThrottle::flushShowsTheLastText()
{
    QWidget window;
    auto* label = new TCountingLabel(QStringLiteral("a"), &window);
    (new QVBoxLayout(&window))->addWidget(label);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TPaintThrottle throttle(&window, 50);
    label->setText(QStringLiteral("b"));
    throttle.Changed();
    QCoreApplication::processEvents();
    QCOMPARE(label->Painted, QStringLiteral("b"));
    // Within the interval of that paint the next change waits.
    label->setText(QStringLiteral("c"));
    throttle.Changed();
    const int held = label->Paints;
    QCoreApplication::processEvents();
    QVERIFY(throttle.Holding());
    QCOMPARE(label->Paints, held);
    QCOMPARE(label->Painted, QStringLiteral("b"));
    // At the end of a check the last state is painted at the next pass of the event loop.
    throttle.Flush();
    QCoreApplication::processEvents();
    QVERIFY(!throttle.Holding());
    QVERIFY(label->Paints > held);
    QCOMPARE(label->Painted, QStringLiteral("c"));
}

QTEST_MAIN(tst_PaintThrottle)
#include "tst_PaintThrottle.moc"
