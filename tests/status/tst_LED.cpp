#include "status/TLED.h"

#include <QTest>

class tst_LED : public QObject {
    Q_OBJECT
private slots:
    void blinkSequence_data();
    void blinkSequence();
    void realTimerAlternates();
    void pictures();
};

void tst_LED::blinkSequence_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QList<bool>>("litAfterTicks"); // before any tick, then after each tick

    // The first tick always shows the unlit picture, so an unlit light waits for the second.
    QTest::newRow("off") << int(TLEDState::LEDOff) << QList<bool>{false, false, true, false, true};
    QTest::newRow("on") << int(TLEDState::LEDOn) << QList<bool>{true, false, true, false, true};
}

void tst_LED::blinkSequence()
{
    QFETCH(int, state);
    QFETCH(QList<bool>, litAfterTicks);

    TLED led;
    QCOMPARE(led.size(), QSize(17, 17));
    QCOMPARE(led.BlinkInterval(), 500);
    led.SetState(static_cast<TLEDState>(state));
    led.SetBlinking(true);
    QVERIFY(led.BlinkPhase());
    for (int i = 0; i < litAfterTicks.size(); ++i) {
        if (i > 0) {
            led.TimerTimer();
        }
        QCOMPARE(led.ShowsLit(), litAfterTicks.at(i));
    }
    // Stopping shows the picture of State again, whatever the phase.
    led.TimerTimer();
    led.SetBlinking(false);
    QCOMPARE(led.ShowsLit(), state == int(TLEDState::LEDOn));
}

void tst_LED::realTimerAlternates()
{
    TLED led;
    led.SetState(TLEDState::LEDOff);
    led.SetBlinkInterval(40);
    led.SetBlinking(true);
    QTRY_VERIFY_WITH_TIMEOUT(led.ShowsLit(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!led.ShowsLit(), 2000);
    led.SetBlinking(false);
    QVERIFY(!led.ShowsLit());
}

void tst_LED::pictures()
{
    auto centre = [](TLEDColorType c, bool lit) { return TLED::Picture(c, lit).pixelColor(7, 8); };
    for (int c = int(TLEDColorType::Red); c <= int(TLEDColorType::White); ++c) {
        const auto color = static_cast<TLEDColorType>(c);
        QCOMPARE(TLED::Picture(color, true).size(), QSize(15, 15));
        QVERIFY2(centre(color, true).lightness() > centre(color, false).lightness(), qPrintable(QString::number(c)));
    }
    // Grey goes black when unlit, White goes dark grey.
    QVERIFY(centre(TLEDColorType::Grey, false).lightness() < 40);
    const QColor whiteOff = centre(TLEDColorType::White, false);
    QVERIFY(whiteOff.lightness() > 60 && whiteOff.lightness() < 180);
    QVERIFY(qAbs(whiteOff.red() - whiteOff.blue()) < 10);
    // Colours stay apart: a lit red light is red, a lit green one green.
    QVERIFY(centre(TLEDColorType::Red, true).red() > centre(TLEDColorType::Red, true).green());
    QVERIFY(centre(TLEDColorType::Green, true).green() > centre(TLEDColorType::Green, true).red());
}

QTEST_MAIN(tst_LED)
#include "tst_LED.moc"
