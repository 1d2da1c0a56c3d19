#include "widgets/TUrlLabel.h"

#include "core/TExceptionHook.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
}

TUrlLabel::TOpener& TUrlLabel::opener()
{
    static TOpener instance;
    return instance;
}

void TUrlLabel::SetOpener(TOpener o)
{
    opener() = std::move(o);
}

QString TUrlLabel::Target() const
{
    const QString target = m_url.trimmed().isEmpty() ? text() : m_url;
    return target.trimmed();
}

void TUrlLabel::Click()
{
    if (OnClick) {
        OnClick(this);
    }
    const QString target = Target();
    if (target.isEmpty()) {
        return;
    }
    if (opener()) {
        opener()(target);
    } else {
        QDesktopServices::openUrl(QUrl::fromUserInput(target));
    }
}

void TUrlLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click) {
        TExceptionHook::Run([this] { Click(); });
    }
}
