#include "widgets/TDocSite.h"

#include "widgets/TDocPanel.h"

TDocSite::TDocSite(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DocSite"));
}

void TDocSite::SetClient(QWidget* client)
{
    m_client = client;
    if (client) {
        client->setParent(this);
        client->show();
    }
    Relayout();
}

QRect TDocSite::ClientRect() const
{
    return const_cast<TDocSite*>(this)->placePanels(false);
}

QRect TDocSite::placePanels(bool apply)
{
    QRect area = rect();
    for (QObject* child : children()) {
        auto* panel = qobject_cast<TDocPanel*>(child);
        if (!panel || panel->Floating() || panel->isHidden() || panel->isWindow()) {
            continue;
        }
        QRect place;
        switch (panel->Align()) {
        case TDocPanel::alTop:
            place = QRect(area.left(), area.top(), area.width(), panel->height());
            area.setTop(area.top() + panel->height());
            break;
        case TDocPanel::alBottom:
            place = QRect(area.left(), area.bottom() + 1 - panel->height(), area.width(), panel->height());
            area.setBottom(area.bottom() - panel->height());
            break;
        case TDocPanel::alLeft:
            place = QRect(area.left(), area.top(), panel->width(), area.height());
            area.setLeft(area.left() + panel->width());
            break;
        case TDocPanel::alRight:
            place = QRect(area.right() + 1 - panel->width(), area.top(), panel->width(), area.height());
            area.setRight(area.right() - panel->width());
            break;
        case TDocPanel::alClient:
            place = area;
            area = QRect(area.topLeft(), QSize(0, 0));
            break;
        case TDocPanel::alNone:
            continue;
        }
        if (apply) {
            panel->setGeometry(place);
        }
    }
    return area;
}

void TDocSite::Relayout()
{
    // A panel that wraps its buttons changes its thickness while being placed.
    if (m_inLayout) {
        m_again = true;
        return;
    }
    m_inLayout = true;
    int rounds = 0;
    do {
        m_again = false;
        const QRect area = placePanels(true);
        if (m_client) {
            m_client->setGeometry(area);
        }
    } while (m_again && ++rounds < 4);
    m_inLayout = false;
}

void TDocSite::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}
