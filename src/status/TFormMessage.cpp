#include "status/TFormMessage.h"

#include "core/TClock.h"
#include "core/TExceptionHook.h"
#include "widgets/TModal.h"
#include "widgets/TsolTile.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {
constexpr int kWidth = 392;
constexpr int kHeight = 225;

QFont headingFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("serif")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(20);
    font.setBold(true);
    font.setItalic(true);
    return font;
}
} // namespace

TFormMessage::TFormMessage(QWidget* mainWindow, std::function<double()> nextCheckTime)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_mainWindow(mainWindow), m_nextCheckTime(std::move(nextCheckTime))
{
    setObjectName(QStringLiteral("FormMessage"));
    setWindowTitle(QStringLiteral("Message"));
    setToolTip(QStringLiteral("This window will automatically disappear."));
    setFixedSize(kWidth, kHeight);

    solTile = new TsolTile(this);
    solTile->setObjectName(QStringLiteral("solTile"));
    solTile->setGeometry(0, 0, kWidth, kHeight);
    solTile->SetImage(BackgroundPicture());

    Label1 = new QLabel(tr("訊息來源"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(headingFont());
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(0, 8, kWidth, 28);

    LabelFrom = new QLabel(QStringLiteral("xxx.xxx.xxx.xxx"), this);
    LabelFrom->setObjectName(QStringLiteral("LabelFrom"));
    LabelFrom->setFont(headingFont());
    LabelFrom->setAlignment(Qt::AlignCenter);
    LabelFrom->setGeometry(0, 38, kWidth, 28);

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setFocusPolicy(Qt::ClickFocus);
    QFont memoFont;
    memoFont.setStyleHint(QFont::SansSerif);
    memoFont.setFamilies({QStringLiteral("sans-serif")});
    memoFont.setPixelSize(17);
    Memo->setFont(memoFont);
    Memo->setGeometry(16, 72, kWidth - 32, 106);

    ButtonOK = new QPushButton(tr("確定"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setToolTip(QStringLiteral("Click to close this window."));
    ButtonOK->setDefault(true);
    ButtonOK->setGeometry((kWidth - 75) / 2, 188, 75, 27);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, [this] { TExceptionHook::Run([this] { TimerTimer(); }); });
    Timer->start();

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

int TFormMessage::Show(QWidget* mainWindow, const QString& from, const QString& message,
                       std::function<double()> nextCheckTime)
{
    TFormMessage form(mainWindow, std::move(nextCheckTime));
    form.LabelFrom->setText(from);
    form.Memo->setPlainText(message);
    return TModal::Exec(&form);
}

void TFormMessage::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    TExceptionHook::Run([this] { FormShow(); });
}

void TFormMessage::FormShow()
{
    // The report must come to the front even while the user works in another program.
    if (m_mainWindow) {
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
    raise();
    activateWindow();
}

void TFormMessage::TimerTimer()
{
    if (!m_nextCheckTime) {
        return;
    }
    const qint64 msLeft = qRound64((m_nextCheckTime() - TClock::Now()) * 86400000.0);
    if (msLeft <= 10000) {
        done(QDialog::Accepted);
    }
}

QImage TFormMessage::BackgroundPicture()
{
    // A pale paper tone with a faint diagonal weave.
    QImage img(24, 24, QImage::Format_RGB32);
    img.fill(QColor(246, 243, 232));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(234, 229, 212), 1));
    p.drawLine(QPointF(0, 24), QPointF(24, 0));
    p.drawLine(QPointF(-12, 12), QPointF(12, -12));
    p.drawLine(QPointF(12, 36), QPointF(36, 12));
    p.setPen(QPen(QColor(239, 235, 221), 1));
    p.drawLine(QPointF(0, 0), QPointF(24, 24));
    return img;
}
