#pragma once

#include <QLabel>
#include <functional>

// A label that opens a web or mail address when clicked: URL, or the caption when URL
// is blank, handed to the desktop's opener. Shows a pointing hand.
class TUrlLabel : public QLabel {
    Q_OBJECT
public:
    using TOpener = std::function<void(const QString& target)>;
    using TNotifyEvent = std::function<void(TUrlLabel* sender)>;

    explicit TUrlLabel(QWidget* parent = nullptr);

    QString URL() const { return m_url; }
    void SetURL(const QString& url) { m_url = url; }

    // What a click opens: URL unless it is blank, else the caption; empty when both are blank.
    QString Target() const;
    // The click: OnClick first, then the target is opened.
    void Click();

    TNotifyEvent OnClick;

    // Replaces the desktop opener (tests); an empty function restores it.
    static void SetOpener(TOpener opener);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static TOpener& opener();

    QString m_url;
    bool m_pressed = false;
};
