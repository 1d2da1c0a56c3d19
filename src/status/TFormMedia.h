#pragma once

#include <QImage>
#include <QMediaPlayer>
#include <QPointer>
#include <QWidget>
#include <functional>

class QAudioOutput;
class QFrame;
class QVideoFrame;
class QVideoSink;

// What the program hands to a media window.
struct TMediaContext {
    QString SettingsPath;
    // The file this window plays.
    QString MediaFile;
    // The configured animation; a MediaFile equal to it makes this the animation window.
    QString AnimationFile;
    bool StayOnTop = true;
    bool RestoreWindow = true;
    // Restores the minimised program (asking for the console password when that is on).
    std::function<void()> RestoreApplication;
};

// The new-mail animation (a small borderless window that loops until double-clicked)
// or the new-mail sound (a hidden window that closes itself when the sound ends).
// The window frees itself when it closes; hold it in a QPointer.
class TFormMedia : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* DesignCaption = "Mailvane Media Player";
    static constexpr const char* VideoCaption = "Mailvane Video Player";
    static constexpr const char* SoundCaption = "Mailvane Sound Player";

    explicit TFormMedia(const TMediaContext& context);
    ~TFormMedia() override;

    // True once the file turned out missing or unplayable; the window is then closing.
    bool OpenFailed() const { return m_openFailed; }
    bool IsAnimation() const { return windowTitle() == QLatin1String(VideoCaption); }

    // The program's media window with this caption, if one is open.
    static TFormMedia* Find(const QString& caption);

    QFrame* PanelForm;
    QFrame* PanelDisplay;
    QMediaPlayer* MediaPlayer;

    void MediaPlayerNotify();
    void PanelDisplayMouseDown(const QPoint& pos);
    void PanelDisplayMouseMove(const QPoint& pos);
    void PanelDisplayMouseUp();
    void PanelDisplayDblClick();

    bool DragActive() const { return m_dragActive; }
    // The last video frame drawn into the display.
    const QImage& CurrentFrame() const { return m_frame; }

signals:
    // The player could not open or play the file.
    void OpenError();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void formCreate();
    void fail();
    void mediaStatusChanged(QMediaPlayer::MediaStatus status);
    void videoFrameChanged(const QVideoFrame& frame);
    void paintDisplay();

    TMediaContext m_context;
    QAudioOutput* m_audio = nullptr;
    QVideoSink* m_videoSink = nullptr;
    QImage m_frame;
    bool m_openFailed = false;
    // Closed and waiting to be freed.
    bool m_closed = false;
    bool m_dragActive = false;
    int m_dragStartX = 0;
    int m_dragStartY = 0;
};
