#include "status/TFormMedia.h"

#include "core/TExceptionHook.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioOutput>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QMediaDevices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>

namespace {
} // namespace

TFormMedia::TFormMedia(const TMediaContext& context)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), m_context(context)
{
    setObjectName(QStringLiteral("FormMedia"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QLatin1String(DesignCaption));
    setToolTip(QStringLiteral("Double click to close animation and bring up the main window."));
    resize(200, 150);

    PanelForm = new QFrame(this);
    PanelForm->setObjectName(QStringLiteral("PanelForm"));
    PanelForm->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PanelForm->setLineWidth(1);
    PanelDisplay = new QFrame(PanelForm);
    PanelDisplay->setObjectName(QStringLiteral("PanelDisplay"));
    PanelDisplay->setFrameStyle(QFrame::Box | QFrame::Plain);
    PanelDisplay->setLineWidth(1);
    PanelDisplay->setMouseTracking(false);
    PanelDisplay->installEventFilter(this);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PanelForm);
    auto* inner = new QVBoxLayout(PanelForm);
    inner->setContentsMargins(2, 2, 2, 2);
    inner->addWidget(PanelDisplay);

    MediaPlayer = new QMediaPlayer(this);
    MediaPlayer->setObjectName(QStringLiteral("MediaPlayer"));
    m_audio = new QAudioOutput(this);
    MediaPlayer->setAudioOutput(m_audio);
    connect(MediaPlayer, &QMediaPlayer::mediaStatusChanged, this, &TFormMedia::mediaStatusChanged);
    connect(MediaPlayer, &QMediaPlayer::errorOccurred, this, [this] { fail(); });

    TExceptionHook::Run([this] { formCreate(); });
}

TFormMedia::~TFormMedia()
{
    // The player goes first, while this window is whole: stopping it still delivers a last frame.
    MediaPlayer->disconnect(this);
    if (m_videoSink) {
        m_videoSink->disconnect(this);
    }
    delete MediaPlayer;
    MediaPlayer = nullptr;
}

void TFormMedia::formCreate()
{
    // A missing file gets no window at all: an idle hidden one would pile up on every pass.
    if (!QFileInfo(m_context.MediaFile).isFile()) {
        fail();
        return;
    }
    {
        const TIniFile ini(m_context.SettingsPath);
        const int top = TSetting(TSettingsKeys::WindowsMediaTop).ReadInteger(ini);
        const int left = TSetting(TSettingsKeys::WindowsMediaLeft).ReadInteger(ini);
        move(left, top);
    }
    const bool animation = m_context.MediaFile == m_context.AnimationFile;
    if (animation) {
        // Without any sound device the audio sink would fail the whole animation; show it silent.
        if (QMediaDevices::audioOutputs().isEmpty()) {
            MediaPlayer->setAudioOutput(nullptr);
        }
        m_videoSink = new QVideoSink(this);
        connect(m_videoSink, &QVideoSink::videoFrameChanged, this, &TFormMedia::videoFrameChanged);
        MediaPlayer->setVideoOutput(m_videoSink);
    }
    MediaPlayer->setSource(QUrl::fromLocalFile(QFileInfo(m_context.MediaFile).absoluteFilePath()));
    if (animation) {
        setWindowTitle(QLatin1String(VideoCaption));
        setWindowFlag(Qt::WindowStaysOnTopHint, m_context.StayOnTop);
        show();
    } else {
        setWindowTitle(QLatin1String(SoundCaption));
    }
    if (MediaPlayer->error() != QMediaPlayer::NoError) {
        fail();
        return;
    }
    MediaPlayer->play();
    m_dragActive = false;
}

void TFormMedia::fail()
{
    if (m_openFailed) {
        return;
    }
    // No message: the window just goes away.
    m_openFailed = true;
    emit OpenError();
    close();
}

TFormMedia* TFormMedia::Find(const QString& caption)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        auto* media = qobject_cast<TFormMedia*>(w);
        if (media && !media->m_closed && media->windowTitle() == caption) {
            return media;
        }
    }
    return nullptr;
}

void TFormMedia::mediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    TExceptionHook::Run([this, status] {
        if (status == QMediaPlayer::InvalidMedia) {
            fail();
        } else if (status == QMediaPlayer::EndOfMedia) {
            MediaPlayerNotify();
        }
    });
}

void TFormMedia::MediaPlayerNotify()
{
    if (!IsAnimation()) {
        close();
        return;
    }
    MediaPlayer->setPosition(0);
    MediaPlayer->play();
}

void TFormMedia::videoFrameChanged(const QVideoFrame& frame)
{
    if (!frame.isValid()) {
        return;
    }
    m_frame = frame.toImage();
    PanelDisplay->update();
}

void TFormMedia::paintDisplay()
{
    QPainter p(PanelDisplay);
    const QRect area = PanelDisplay->contentsRect();
    p.fillRect(area, Qt::black);
    if (!m_frame.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(area, m_frame);
    }
}

void TFormMedia::closeEvent(QCloseEvent* event)
{
    m_dragActive = false;
    m_closed = true;
    MediaPlayer->stop();
    // Freed a moment later; until then it must not count as a playing window to title searches.
    setWindowTitle(QLatin1String(DesignCaption));
    QWidget::closeEvent(event);
}

bool TFormMedia::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != PanelDisplay) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::Paint:
        paintDisplay();
        break;
    case QEvent::MouseButtonPress: {
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        PanelDisplayMouseDown(pos);
        return true;
    }
    case QEvent::MouseMove: {
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        PanelDisplayMouseMove(pos);
        return true;
    }
    case QEvent::MouseButtonRelease:
        TExceptionHook::Run([this] { PanelDisplayMouseUp(); });
        return true;
    case QEvent::MouseButtonDblClick:
        TExceptionHook::Run([this] { PanelDisplayDblClick(); });
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TFormMedia::PanelDisplayMouseDown(const QPoint& pos)
{
    m_dragActive = true;
    m_dragStartX = pos.x();
    m_dragStartY = pos.y();
}

void TFormMedia::PanelDisplayMouseMove(const QPoint& pos)
{
    if (!m_dragActive) {
        return;
    }
    // The grabbed point stays under the pointer.
    move(x() + pos.x() - m_dragStartX, y() + pos.y() - m_dragStartY);
}

void TFormMedia::PanelDisplayMouseUp()
{
    m_dragActive = false;
    TIniFile ini(m_context.SettingsPath);
    TSetting(TSettingsKeys::WindowsMediaTop).WriteInteger(ini, y());
    TSetting(TSettingsKeys::WindowsMediaLeft).WriteInteger(ini, x());
}

void TFormMedia::PanelDisplayDblClick()
{
    if (m_context.RestoreWindow && m_context.RestoreApplication) {
        m_context.RestoreApplication();
    }
    close();
}
