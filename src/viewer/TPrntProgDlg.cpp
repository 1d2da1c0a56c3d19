#include "viewer/TPrntProgDlg.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

TPrntProgDlg::TPrntProgDlg(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("PrntProgDlg"));
    setWindowTitle(QStringLiteral("Print Progress"));
    // No sizing by the frame: the window keeps its size.
    setFixedSize(293, 111);
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    setFont(f);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(4, 4, 277, 77);

    auto label = [this](const char* name, int x, int y, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(x, y);
        l->resize(l->sizeHint().expandedTo(QSize(180, 14)));
        return l;
    };
    lblStatus = label("lblStatus", 12, 16, QString());
    lblTitle = label("lblTitle", 12, 36, QString());
    lblPageNumDesc = label("lblPageNumDesc", 12, 56, QStringLiteral("Page Number:"));
    lblPageNumDesc->resize(lblPageNumDesc->sizeHint());
    lblPageNumber = label("lblPageNumber", 92, 56, QString());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TPrntProgDlg::Update(const QString& message, const QString& title, int pageNumber)
{
    if (isHidden()) {
        show();
    }
    if (!message.isEmpty()) {
        lblStatus->setText(message);
    }
    lblTitle->setText(title);
    lblPageNumber->setText(QString::number(pageNumber));
    repaint();
}
