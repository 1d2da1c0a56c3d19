#include "widgets/TFxLabel.h"

#include <QtTest>

class tst_FxLabel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void defaults();
    void frame_data();
    void frame();
    void textStyle_data();
    void textStyle();
    void longCaption();
    void screenShowsBitmap_data();
    void screenShowsBitmap();

private:
    void prepare(TFxLabel& label);
};

namespace {

const QColor kLight(250, 250, 240);
const QColor kDark(60, 60, 70);
const QColor kFace(10, 200, 30);
const QColor kText(200, 0, 0);

QRect colourBounds(const QImage& image, const QColor& colour, const QRect& area)
{
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y) == colour) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

} // namespace

void tst_FxLabel::initTestCase()
{
    QPalette palette;
    palette.setColor(QPalette::Light, kLight);
    palette.setColor(QPalette::Dark, kDark);
    QApplication::setPalette(palette);
}

void tst_FxLabel::prepare(TFxLabel& label)
{
    QFont font = label.font();
    font.setPixelSize(14);
    font.setStyleStrategy(QFont::NoAntialias);
    label.setFont(font);
    label.SetColor(kFace);
    label.SetFontColor(kText);
}

void tst_FxLabel::defaults()
{
    TFxLabel label;
    QCOMPARE(label.size(), QSize(100, 30));
    QCOMPARE(label.Alignment(), TFxLabel::taCenter);
    QCOMPARE(label.TextStyle(), TFxLabel::tsRaised);
    QCOMPARE(label.BevelOuter(), TFxLabel::bvRaised);
    QCOMPARE(label.BevelInner(), TFxLabel::bvNone);
    QCOMPARE(label.BevelWidth(), 1);
    QCOMPARE(label.BorderWidth(), 0);
    QCOMPARE(label.BorderStyle(), TFxLabel::bsNone);
    QCOMPARE(label.Effect(), 0);
    label.SetEffect(60);
    QCOMPARE(label.Effect(), 41);
    label.SetBoxWidth(1);
    QCOMPARE(label.BoxWidth(), 2);
}

void tst_FxLabel::frame_data()
{
    QTest::addColumn<int>("border");
    QTest::addColumn<int>("outer");
    QTest::addColumn<int>("bevelWidth");
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("inner");
    QTest::addColumn<QRect>("fill");          // the innermost area in Color
    QTest::addColumn<QColor>("outerTopLeft"); // first pixel of the outer bevel

    QTest::newRow("frame + raised 1") << 1 << 2 << 1 << 0 << 0 << QRect(2, 2, 96, 26) << kLight;
    QTest::newRow("raised 1") << 0 << 2 << 1 << 0 << 0 << QRect(1, 1, 98, 28) << kLight;
    QTest::newRow("frame + lowered 2 + band 3") << 1 << 1 << 2 << 3 << 0 << QRect(3, 3, 94, 24) << kDark;
    QTest::newRow("raised + band 2 + inner lowered") << 0 << 2 << 1 << 2 << 1 << QRect(4, 4, 92, 22) << kLight;
}

void tst_FxLabel::frame()
{
    QFETCH(int, border);
    QFETCH(int, outer);
    QFETCH(int, bevelWidth);
    QFETCH(int, band);
    QFETCH(int, inner);
    QFETCH(QRect, fill);
    QFETCH(QColor, outerTopLeft);

    TFxLabel label;
    prepare(label);
    label.SetBorderStyle(static_cast<TFxLabel::TBorderStyle>(border));
    label.SetBevelOuter(static_cast<TFxLabel::TBevel>(outer));
    label.SetBevelWidth(bevelWidth);
    label.SetBorderWidth(band);
    label.SetBevelInner(static_cast<TFxLabel::TBevel>(inner));
    const QImage image = label.PaintBitmap();
    QCOMPARE(image.size(), QSize(100, 30));

    for (int y = fill.top(); y <= fill.bottom(); ++y) {
        for (int x = fill.left(); x <= fill.right(); ++x) {
            QCOMPARE(image.pixelColor(x, y), kFace);
        }
    }
    const QRect ring = fill.adjusted(-1, -1, 1, 1);
    for (int x = ring.left(); x <= ring.right(); ++x) {
        QVERIFY(image.pixelColor(x, ring.top()) != kFace);
        QVERIFY(image.pixelColor(x, ring.bottom()) != kFace);
    }
    if (border) {
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(image.pixelColor(99, 29), QColor(Qt::black));
    }
    QCOMPARE(image.pixelColor(border + 1, border), outerTopLeft);
    QCOMPARE(image.pixelColor(98 - border, 29 - border), outerTopLeft == kLight ? kDark : kLight);
}

void tst_FxLabel::textStyle_data()
{
    QTest::addColumn<int>("style");
    QTest::newRow("none") << int(TFxLabel::tsNone);
    QTest::newRow("raised") << int(TFxLabel::tsRaised);
    QTest::newRow("recessed") << int(TFxLabel::tsRecessed);
}

// Raised text has its shadow below right and its highlight above left; recessed the reverse.
void tst_FxLabel::textStyle()
{
    QFETCH(int, style);
    TFxLabel label;
    prepare(label);
    label.SetBevelOuter(TFxLabel::bvNone);
    label.SetTextStyle(static_cast<TFxLabel::TTextStyle>(style));
    label.SetCaption(QStringLiteral("HW"));
    const QImage image = label.PaintBitmap();

    const QRect area = image.rect();
    const QRect text = colourBounds(image, kText, area);
    const QRect light = colourBounds(image, kLight, area);
    const QRect dark = colourBounds(image, kDark, area);
    QVERIFY(!text.isEmpty());
    QVERIFY(qAbs(text.center().x() - 50) <= 2); // centred
    if (style == TFxLabel::tsNone) {
        QVERIFY(light.isEmpty());
        QVERIFY(dark.isEmpty());
        return;
    }
    const QRect& below = style == TFxLabel::tsRaised ? dark : light;
    const QRect& above = style == TFxLabel::tsRaised ? light : dark;
    QCOMPARE(below.bottomRight(), text.bottomRight() + QPoint(1, 1));
    QCOMPARE(above.topLeft(), text.topLeft() - QPoint(1, 1));
}

void tst_FxLabel::longCaption()
{
    TFxLabel label;
    const QString caption = QString(255, QLatin1Char('a')) + QStringLiteral("bcd");
    label.SetCaption(caption);
    QCOMPARE(label.Caption(), caption);
    QCOMPARE(label.DisplayText(), QString(255, QLatin1Char('a')));
}

void tst_FxLabel::screenShowsBitmap_data()
{
    QTest::addColumn<int>("effect");
    QTest::newRow("plain") << 0;
    QTest::newRow("random block") << 35;
    QTest::newRow("screen drip") << 37;
}

void tst_FxLabel::screenShowsBitmap()
{
    QFETCH(int, effect);
    TFxLabel label;
    prepare(label);
    label.SetBorderStyle(TFxLabel::bsSingle);
    label.SetCaption(QStringLiteral("動畫 : "));
    label.SetEffect(effect);
    const QImage shown = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, label.Bitmap().convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(tst_FxLabel)
#include "tst_FxLabel.moc"
