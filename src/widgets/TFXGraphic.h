#pragma once

#include <QImage>
#include <QRect>
#include <QVector>
#include <QWidget>

class QPainter;
class QRandomGenerator;

// One step of a transition: copy Source of the picture to Dest on the screen.
// Every effect but the screen drip copies a rectangle to the same place.
struct TFxCopy {
    QRect Source;
    QRect Dest;
};

// A control that shows a picture by copying it block by block in one of 41
// transition patterns (0 is the plain copy).
class TFXGraphic : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxEffect = 41;

    explicit TFXGraphic(QWidget* parent = nullptr);

    int Effect() const { return m_effect; }
    void SetEffect(int effect);
    int BoxWidth() const { return m_boxWidth; }
    void SetBoxWidth(int width);

    // The picture to show; absent (null) until a descendant provides one.
    const QImage& Source() const { return m_source; }
    void SetSource(const QImage& image);

    // The copies that reveal a width x height area with blocks of boxWidth pixels, in
    // the order of the effect. random supplies the random effects (the global
    // generator when null). An effect above MaxEffect copies nothing.
    static QVector<TFxCopy> Transition(int effect, int width, int height, int boxWidth,
                                       QRandomGenerator* random = nullptr);

    // Runs the transition from source onto painter.
    static void Run(QPainter& painter, const QImage& source, int effect, int boxWidth);

protected:
    void paintEvent(QPaintEvent* event) override;
    // For painting code that renews the picture itself: no repaint is asked for.
    void replaceSource(const QImage& image) { m_source = image; }

private:
    int m_effect = 0;
    int m_boxWidth = 5;
    QImage m_source;
};
