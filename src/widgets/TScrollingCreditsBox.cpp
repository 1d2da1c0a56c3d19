#include "widgets/TScrollingCreditsBox.h"

#include "core/TExceptionHook.h"

TScrollingCreditsBox::TScrollingCreditsBox(QWidget* parent) : QFrame(parent), m_client(new QWidget(this))
{
    m_client->setObjectName(QStringLiteral("CreditsClient"));
    resize(161, 129);
    SetBorderStyle(bsNone);
    m_timer.setInterval(TimerInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] { TExceptionHook::Run([this] { TimerTimer(); }); });
}

void TScrollingCreditsBox::SetBorderStyle(TBorderStyle style)
{
    m_borderStyle = style;
    setFrameStyle(style == bsSingle ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
    m_client->setGeometry(contentsRect());
}

void TScrollingCreditsBox::TimerTimer()
{
    if (m_paused) {
        return;
    }
    // A hidden box gets its resize events only when shown.
    m_client->setGeometry(contentsRect());
    QList<QWidget*> kids;
    for (QObject* child : m_client->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && !w->isWindow()) {
            kids.append(w);
        }
    }
    if (kids.isEmpty()) {
        return;
    }
    // Before anything has come round, the lowest child counts as the last one moved.
    if (!m_lastMoved || !kids.contains(m_lastMoved.data())) {
        m_lastMoved = kids.first();
        for (QWidget* w : kids) {
            if (w->y() + w->height() > m_lastMoved->y() + m_lastMoved->height()) {
                m_lastMoved = w;
            }
        }
    }
    for (QWidget* w : kids) {
        w->move(w->x(), w->y() - m_scrollStep);
    }
    for (QWidget* w : kids) {
        if (w->y() + w->height() > 0) {
            continue;
        }
        // The first child starts a new round a whole box-height below the end.
        const int gap = w == kids.first() ? m_client->height() : m_compSpace;
        w->move(w->x(), m_lastMoved->y() + m_lastMoved->height() + gap);
        m_lastMoved = w;
    }
}

void TScrollingCreditsBox::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    m_timer.start();
}

void TScrollingCreditsBox::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    m_timer.stop();
}

void TScrollingCreditsBox::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    m_client->setGeometry(contentsRect());
}
