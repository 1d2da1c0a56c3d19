#pragma once

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class TDocPanel;

// The small stay-on-top window a floating TDocPanel lives in. It takes its caption,
// border and flags from the panel, paints the custom caption strip with its close
// control, and turns closing into hiding or rolling up (the panel decides which).
class TDocForm : public QWidget {
    Q_OBJECT
public:
    TDocForm(TDocPanel* panel, QWidget* owner);

    TDocPanel* Panel() const { return m_panel; }

    // Re-reads caption type, border, stay-on-top, title and icon from the panel.
    void ApplyStyle();
    // Sizes the client area; the panel does this, so it is not taken as a user resize.
    void FitClient(const QSize& size);
    // The close control at the right end of the custom caption strip.
    QRect CaptionButtonRect() const;
    // Whether a close request may really close the window.
    bool FormCloseQuery() const;
    // Fires once a stream of moves has settled and the dock test has run.
    const QTimer& MoveSettle() const { return m_moveSettle; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool inStrip(const QPoint& pos) const;

    QPointer<TDocPanel> m_panel;
    // A window manager reports a drag as a stream of moves; the dock test waits for it to settle.
    QTimer m_moveSettle;
    bool m_fitting = false;
    bool m_shuttingDown = false;
};
