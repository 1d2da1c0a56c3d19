#include "mailbox/TFormPassword.h"

#include "assets/MailvaneAssets.h"
#include "core/TExceptionHook.h"
#include "mailbox/TMailHost.h"
#include "widgets/TsolTile.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TFormPassword::TFormPassword(TMailHost* host, ConsoleHandOver console, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_host(host), m_console(std::move(console))
{
    setObjectName(QStringLiteral("FormPassword"));
    setWindowTitle(QStringLiteral("Password"));
    setToolTip(QStringLiteral("Mailvane will remember the password until exit."));
    setModal(true);

    solTile = new TsolTile(this);
    solTile->setObjectName(QStringLiteral("solTile"));
    InitMailvaneAssets();
    for (const char* path : {":/background/tile.png"}) {
        if (QFile::exists(QString::fromLatin1(path))) {
            solTile->SetImage(QImage(QString::fromLatin1(path)));
            break;
        }
    }
    solTile->lower();

    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel(tr("請輸入密碼"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    LabelName = new QLabel(this);
    LabelName->setObjectName(QStringLiteral("LabelName"));
    LabelName->setAlignment(Qt::AlignCenter);
    EditPassword = new QLineEdit(this);
    EditPassword->setObjectName(QStringLiteral("EditPassword"));
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setToolTip(QStringLiteral("Please enter your password."));
    ButtonOK = new QPushButton(tr("確定"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setToolTip(QStringLiteral("Click to close this window."));
    ButtonOK->setAutoDefault(false);
    layout->addWidget(Label1);
    layout->addWidget(LabelName);
    layout->addWidget(EditPassword);
    layout->addWidget(ButtonOK, 0, Qt::AlignHCenter);

    connect(ButtonOK, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    // EditPasswordKeyPress: Enter closes with OK.
    connect(EditPassword, &QLineEdit::returnPressed, this, [this] { done(QDialog::Accepted); });

    setFixedSize(sizeHint().expandedTo(QSize(220, 140)));
    setTabOrder(EditPassword, ButtonOK);
}

void TFormPassword::SetName(const QString& name)
{
    LabelName->setText(name);
}

void TFormPassword::FormShow()
{
    if (m_host && m_host->MainWidget()) {
        m_host->MainWidget()->raise();
        m_host->MainWidget()->activateWindow();
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    activateWindow();
    EditPassword->setFocus();
}

void TFormPassword::FormClose()
{
    if (m_handedOver) {
        return;
    }
    m_handedOver = true;
    const QString typed = EditPassword->text();
    if (LabelName->text() == QLatin1String("Console")) {
        if (m_console) {
            m_console(typed);
        }
        return;
    }
    if (m_host) {
        m_host->DeliverPassword(LabelName->text(), typed);
    }
}

void TFormPassword::done(int result)
{
    TExceptionHook::Run([this] { FormClose(); });
    QDialog::done(result);
}

void TFormPassword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormPassword::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    solTile->setGeometry(rect());
}
