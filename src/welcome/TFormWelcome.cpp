#include "welcome/TFormWelcome.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormWelcome::TFormWelcome(bool demoListed, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormWelcome"));
    setWindowTitle(tr("歡迎使用 Mailvane"));
    setMinimumWidth(460);

    auto* layout = new QVBoxLayout(this);
    LabelIntro = new QLabel(this);
    LabelIntro->setObjectName(QStringLiteral("LabelIntro"));
    LabelIntro->setWordWrap(true);
    LabelIntro->setText(tr("<b>Mailvane 替你留意 POP3 信箱裡的新信。</b><br><br>"
                           "新增我的信箱：填寫電子郵件地址與密碼，常見郵件服務的伺服器會自動填好。<br>"
                           "示範信箱：不需要帳號，Mailvane 在本機提供十幾封信，讓你馬上看到它會做什麼。<br><br>"
                           "之後都可以在「設定 → 網路設定」修改或刪除信箱。"));
    layout->addWidget(LabelIntro);

    auto* buttons = new QHBoxLayout;
    ButtonAddMailbox = new QPushButton(tr("新增我的信箱..."), this);
    ButtonAddMailbox->setObjectName(QStringLiteral("ButtonAddMailbox"));
    ButtonDemo = new QPushButton(tr("試用示範信箱"), this);
    ButtonDemo->setObjectName(QStringLiteral("ButtonDemo"));
    ButtonRemoveDemo = new QPushButton(tr("移除示範信箱"), this);
    ButtonRemoveDemo->setObjectName(QStringLiteral("ButtonRemoveDemo"));
    ButtonClose = new QPushButton(tr("關閉"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    ButtonDemo->setVisible(!demoListed);
    ButtonRemoveDemo->setVisible(demoListed);
    buttons->addWidget(ButtonAddMailbox);
    buttons->addWidget(ButtonDemo);
    buttons->addWidget(ButtonRemoveDemo);
    buttons->addStretch();
    buttons->addWidget(ButtonClose);
    layout->addLayout(buttons);

    CheckBoxShowWelcome = new QCheckBox(tr("沒有信箱時，啟動後顯示這個視窗"), this);
    CheckBoxShowWelcome->setObjectName(QStringLiteral("CheckBoxShowWelcome"));
    CheckBoxShowWelcome->setChecked(true);
    layout->addWidget(CheckBoxShowWelcome);

    ButtonAddMailbox->setDefault(true);
    connect(ButtonAddMailbox, &QPushButton::clicked, this, [this] { choose(TChoice::AddMailbox); });
    connect(ButtonDemo, &QPushButton::clicked, this, [this] { choose(TChoice::Demo); });
    connect(ButtonRemoveDemo, &QPushButton::clicked, this, [this] { choose(TChoice::RemoveDemo); });
    connect(ButtonClose, &QPushButton::clicked, this, [this] { choose(TChoice::Close); });
}

bool TFormWelcome::ShowAgain() const
{
    return CheckBoxShowWelcome->isChecked();
}

void TFormWelcome::choose(TChoice choice)
{
    m_choice = choice;
    if (choice == TChoice::Close) {
        reject();
    } else {
        accept();
    }
}
