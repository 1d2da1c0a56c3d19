#pragma once

#include <QPointer>
#include <QWidget>

// The area a TDocPanel docks in: docked panels (its direct TDocPanel children) take
// their side in child order, and the one client widget gets what remains.
class TDocSite : public QWidget {
    Q_OBJECT
public:
    explicit TDocSite(QWidget* parent = nullptr);

    // Takes the widget as its child and gives it the area the docked panels leave.
    void SetClient(QWidget* client);
    QWidget* Client() const { return m_client; }

    // Lays out the docked panels and the client again.
    void Relayout();
    // The part of the site the client gets.
    QRect ClientRect() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect placePanels(bool apply);

    QPointer<QWidget> m_client;
    bool m_inLayout = false;
    bool m_again = false;
};
