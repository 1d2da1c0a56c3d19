#pragma once

#include <QMdiSubWindow>

class QFrame;
class QLabel;
class QMdiArea;
class QPlainTextEdit;
class TScrollingCreditsBox;
class TUrlLabel;
class TsolTile;

// The About window: a fixed-size child window of the frame with the program's name,
// a picture, scrolling credits and links to the home page and the author. It frees
// itself when closed; at most one is open (ShowOnce).
class TFormAbout : public QMdiSubWindow {
    Q_OBJECT
public:
    static const char* const HomePage;
    static const char* const MailAddress;
    static const char* const AuthorName;

    // Adds itself to the area and moves to the top of it, 10 pixels from the frame's right edge.
    // settingsPath, when given, is shown so that the user knows which file holds the settings.
    explicit TFormAbout(QMdiArea* area, const QString& settingsPath = QString());

    // The About command: shows a new About window unless a child captioned "About" is
    // already open; returns the one open afterwards.
    static QMdiSubWindow* ShowOnce(QMdiArea* area, const QString& settingsPath = QString());

    TsolTile* solTile = nullptr;
    QFrame* Panel = nullptr;
    QLabel* Image = nullptr;
    QLabel* Label1 = nullptr;
    TScrollingCreditsBox* ScrollingCreditsBox = nullptr;
    QPlainTextEdit* Memo = nullptr;
    TUrlLabel* UrlLabelWWW = nullptr;
    TUrlLabel* UrlLabelMail = nullptr;
    TUrlLabel* UrlLabelAuthor = nullptr;
    QLabel* LabelSettings = nullptr;

    // Selecting credits text serves no purpose; the selection goes when the mouse is let go.
    void MemoMouseUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_client;
};
