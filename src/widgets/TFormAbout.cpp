#include "widgets/TFormAbout.h"

#include "core/TExceptionHook.h"
#include "widgets/TScrollingCreditsBox.h"
#include "widgets/TUrlLabel.h"
#include "widgets/TsolTile.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QPixmap>
#include <QPlainTextEdit>

const char* const TFormAbout::HomePage = "https://mailvane.example.org";
const char* const TFormAbout::MailAddress = "lin@mailvane.example.org";
const char* const TFormAbout::AuthorName = QT_TRANSLATE_NOOP("TFormAbout", "林志明");

namespace {

QFont sansSerif13()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    return font;
}

TUrlLabel* makeLink(QWidget* parent, const char* name, const QString& caption, const QString& url, const QString& hint)
{
    auto* label = new TUrlLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(sansSerif13());
    label->setText(caption);
    label->SetURL(url);
    label->setToolTip(hint);
    label->adjustSize();
    return label;
}

const char* const credits = QT_TRANSLATE_NOOP("TFormAbout", "Mailvane 2.2 中文版\n"
                                                            "\n"
                                                            "程式設計\n"
                                                            "林志明\n"
                                                            "\n"
                                                            "介面與圖形\n"
                                                            "林志明\n"
                                                            "\n"
                                                            "測試\n"
                                                            "所有熱心的使用者\n"
                                                            "\n"
                                                            "感謝您使用 Mailvane！\n"
                                                            "有任何建議，歡迎來信。");

} // namespace

TFormAbout::TFormAbout(QMdiArea* area, const QString& settingsPath)
    : QMdiSubWindow(nullptr, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_client(new QWidget)
{
    // The pictures are the program's own, registered at its start.
    setObjectName(QStringLiteral("FormAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/mailvane.png")));
    setFont(sansSerif13());
    setWidget(m_client);

    solTile = new TsolTile(m_client);
    solTile->setObjectName(QStringLiteral("solTile"));
    solTile->SetImage(QImage(QStringLiteral(":/about/background.png")));

    Panel = new QFrame(m_client);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setGeometry(16, 24, 137, 177);
    Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel->setLineWidth(1);
    Panel->setBackgroundRole(QPalette::Base);
    Panel->setAutoFillBackground(true);
    Image = new QLabel(Panel);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setGeometry(Panel->contentsRect());
    Image->setScaledContents(true);
    Image->setPixmap(QPixmap(QStringLiteral(":/about/picture.png")));

    Label1 = new QLabel(m_client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(176, 24, 223, 31);
    Label1->setAlignment(Qt::AlignCenter);
    QFont title(QStringLiteral("Times New Roman"));
    title.setStyleHint(QFont::Serif);
    title.setPixelSize(23);
    title.setBold(true);
    title.setItalic(true);
    Label1->setText(tr("Mailvane 2.2 中文版"));
    // Substitute fonts run wider than the one the window was drawn for.
    while (title.pixelSize() > 12 && QFontMetrics(title).horizontalAdvance(Label1->text()) > Label1->width()) {
        title.setPixelSize(title.pixelSize() - 1);
    }
    Label1->setFont(title);

    ScrollingCreditsBox = new TScrollingCreditsBox(m_client);
    ScrollingCreditsBox->setObjectName(QStringLiteral("ScrollingCreditsBox"));
    ScrollingCreditsBox->setGeometry(176, 64, 219, 137);
    ScrollingCreditsBox->SetBorderStyle(TScrollingCreditsBox::bsSingle);
    ScrollingCreditsBox->setBackgroundRole(QPalette::Base);
    ScrollingCreditsBox->setAutoFillBackground(true);
    ScrollingCreditsBox->SetCompSpace(10);
    ScrollingCreditsBox->SetScrollStep(1);
    ScrollingCreditsBox->SetPaused(false);

    Memo = new QPlainTextEdit(ScrollingCreditsBox->Client());
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setGeometry(0, 0, 215, 153);
    Memo->setReadOnly(true);
    Memo->setFrameStyle(QFrame::NoFrame);
    Memo->setFocusPolicy(Qt::ClickFocus);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->setPlainText(tr(credits));
    Memo->viewport()->installEventFilter(this);

    const QString home = QLatin1String(HomePage);
    const QString mailto = QStringLiteral("mailto:") + QLatin1String(MailAddress);
    UrlLabelWWW = makeLink(m_client, "UrlLabelWWW", tr("首頁 : ") + home, home,
                           QStringLiteral("Click to visit Mailvane's home page."));
    UrlLabelWWW->setGeometry(16, 240, 381, UrlLabelWWW->height());
    UrlLabelWWW->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    UrlLabelMail = makeLink(m_client, "UrlLabelMail", tr("電子郵件 : ") + QLatin1String(MailAddress), mailto,
                            QStringLiteral("Click to mail to the author."));
    UrlLabelMail->move(176, 216);
    // Keep the address inside the window's right edge, as the panels above it are.
    QFont mailFont = UrlLabelMail->font();
    while (mailFont.pixelSize() > 9 && 176 + UrlLabelMail->width() > 399) {
        mailFont.setPixelSize(mailFont.pixelSize() - 1);
        UrlLabelMail->setFont(mailFont);
        UrlLabelMail->adjustSize();
    }
    UrlLabelAuthor = makeLink(m_client, "UrlLabelAuthor", tr("程式設計 : ") + tr(AuthorName), mailto,
                              QStringLiteral("Click to mail to the author."));
    UrlLabelAuthor->move(16, 216);

    if (!settingsPath.isEmpty()) {
        LabelSettings = new QLabel(m_client);
        LabelSettings->setObjectName(QStringLiteral("LabelSettings"));
        LabelSettings->setGeometry(16, 258, 381, QFontMetrics(font()).height() + 1);
        // A long path keeps its file name in sight; the whole path is in the tip.
        const QString text = tr("設定檔 : ") + settingsPath;
        LabelSettings->setText(QFontMetrics(font()).elidedText(text, Qt::ElideMiddle, LabelSettings->width()));
        LabelSettings->setToolTip(settingsPath);
        LabelSettings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    m_client->installEventFilter(this);
    if (area) {
        area->addSubWindow(this);
    }
    setFixedSize(418, 306);
    if (area) {
        // Kept inside the frame when it is narrower than the window.
        move(qMax(0, area->window()->width() - width() - 10), 0);
    }
}

QMdiSubWindow* TFormAbout::ShowOnce(QMdiArea* area, const QString& settingsPath)
{
    if (!area) {
        return nullptr;
    }
    for (QMdiSubWindow* child : area->subWindowList()) {
        if (child->windowTitle() == QLatin1String("About")) {
            return child;
        }
    }
    auto* about = new TFormAbout(area, settingsPath);
    about->show();
    return about;
}

void TFormAbout::MemoMouseUp()
{
    QTextCursor cursor = Memo->textCursor();
    cursor.setPosition(0);
    Memo->setTextCursor(cursor);
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Resize) {
        solTile->setGeometry(m_client->rect());
    } else if (Memo && watched == Memo->viewport() && event->type() == QEvent::MouseButtonRelease) {
        TExceptionHook::Run([this] { MemoMouseUp(); });
    }
    return QMdiSubWindow::eventFilter(watched, event);
}
