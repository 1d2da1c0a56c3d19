#include "app/TFormMain.h"

#include "MailvaneAssets.h"
#include "app/TMainOptionHost.h"
#include "app/TWindowFinder.h"
#include "core/EAbort.h"
#include "core/EConvertError.h"
#include "core/TClock.h"
#include "core/TExceptionHook.h"
#include "core/TIntConvert.h"
#include "core/TSchedule.h"
#include "dialup/TDialDriver.h"
#include "dialup/TRAS.h"
#include "dialup/TRasApi.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TFormPassword.h"
#include "settings/TIniFile.h"
#include "options/TFormOption.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"
#include "status/TFormMedia.h"
#include "status/TFormMessage.h"
#include "status/TFormStatus.h"
#include "viewer/TFormViewer.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TDocPanel.h"
#include "widgets/TDocSite.h"
#include "widgets/TFormAbout.h"
#include "widgets/TModal.h"
#include "widgets/TTrayIcon.h"
#include "widgets/TsolTile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>

TFormMain* FormMain = nullptr;
TFormStatus* FormStatus = nullptr;
QString MailProgramPath;
QString AnimationFile;
QString SoundFile;
TFilterRules FilterRules;
bool DialUpEnabled = false;
bool ConnectedOnly = false;
int RedialInterval = 30;
bool ScheduleCheck = false;
bool ScheduleHours[24] = {};
int CheckInterval = 3;
double NextCheckTime = 0;
bool NewMailFound = false;
bool DialedByProgram = false;
int RedialsLeft = 0;
QString MediaFile;

namespace {

namespace Keys = TSettingsKeys;

// The active child window is not a mailbox window.
class EWrongWindow {};

QString asciiUpper(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) {
            c = QChar(c.unicode() - 32);
        }
    }
    return out;
}

} // namespace

TFormMain::TFormMain(const QString& settingsPath, QWidget* parent)
    : QMainWindow(parent), m_settingsPath(settingsPath.isEmpty() ? TIniFile::DefaultPath() : settingsPath)
{
    FormMain = this;
    InitMailvaneAssets();
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Mailvane"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/mailvane.png")));

    Encryption.Key = QStringLiteral("Q-Lumen");

    solTile = new TsolTile(this);
    solTile->setObjectName(QStringLiteral("solTile"));
    solTile->SetImage(QImage(QStringLiteral(":/background/tile.png")));
    solTile->hide();

    m_mdiArea = new QMdiArea;
    m_mdiArea->setObjectName(QStringLiteral("MdiArea"));
    // A texture brush lays whole tiles from the top-left corner of the client area.
    m_mdiArea->setBackground(solTile->Image().isNull() ? QBrush(Qt::white)
                                                       : QBrush(QPixmap::fromImage(solTile->Image())));

    auto* site = new TDocSite;
    site->setObjectName(QStringLiteral("DocSite"));
    setCentralWidget(site);
    site->SetClient(m_mdiArea);
    DocPanel = new TDocPanel(site);
    DocPanel->setObjectName(QStringLiteral("DocPanel"));
    DocPanel->SetDockingMethod(TDocPanel::dmDrag);
    DocPanel->SetAutoWrap(false);
    DocPanel->SetAutoHide(false);
    DocPanel->SetDropDown(true);
    DocPanel->SetCaptionType(TDocPanel::ctWindows);
    DocPanel->SetNotificationCursor(false);
    DocPanel->SetTitle(QStringLiteral("Mailvane Buttons"));
    DocPanel->SetBevelInner(TDocPanel::bvLowered);
    DocPanel->SetBevelOuter(TDocPanel::bvNone);
    DocPanel->setToolTip(QStringLiteral("You can drag this bar to every where."));
    DocPanel->resize(551, 42);
    DocPanel->SetDocked(false);
    createMenus();
    createButtons();
    DocPanel->Loaded();

    RAS = new TRAS(this);
    RAS->setObjectName(QStringLiteral("RAS"));
    TDialDriver::Callbacks callbacks;
    callbacks.LED = [this](const QString& colour, const QString& text) { LED(colour, text); };
    callbacks.ShowError = [this](const QString& text) { ShowError(text); };
    callbacks.ProcessEvents = [] {
        // Pump the window for a moment instead of spinning on the status poll.
        QEventLoop pause;
        QTimer::singleShot(25, &pause, &QEventLoop::quit);
        pause.exec();
    };
    m_dial = new TDialDriver(*RAS, ::DialUpEnabled, DialedByProgram, RedialsLeft, RedialInterval, callbacks);
    m_optionHost = new TMainOptionHost(*this);

    TrayIcon = new TTrayIcon(this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->SetIcon(windowIcon());
    TrayIcon->SetToolTip(QStringLiteral("Mailvane"));
    TrayIcon->SetPopupMenu(PopupMenu);
    TrayIcon->OnDblClick = [this] { guarded([this] { PopMenuOpenClick(TrayIcon); }); };
    TrayIcon->SetActive(true);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, [this] { guarded([this] { TimerTimer(); }); });
    Timer->start();

    qApp->installEventFilter(this);
    FormCreate();
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    delete m_dial;
    delete m_optionHost;
    if (FormMain == this) {
        FormMain = nullptr;
        FormStatus = nullptr;
    }
}

void TFormMain::guarded(const std::function<void()>& body)
{
    TExceptionHook::Run(body);
}

QAction* TFormMain::addCommand(QMenu* menu, const char* name, const QString& caption, const QString& hint,
                               const QKeySequence& key, void (TFormMain::*handler)(QObject*))
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    if (!key.isEmpty()) {
        action->setShortcut(key);
    }
    if (menu) {
        menu->addAction(action);
    }
    connect(action, &QAction::triggered, this, [this, action, handler] { guarded([=] { (this->*handler)(action); }); });
    return action;
}

QAction* TFormMain::addToggle(QMenu* menu, const char* name, const QString& caption, const QString& hint, bool def)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    action->setCheckable(true);
    action->setChecked(def);
    menu->addAction(action);
    connect(action, &QAction::triggered, this, [this, action] {
        // The menu has already flipped the mark; the handler does the flipping itself.
        action->setChecked(!action->isChecked());
        guarded([=] { MenuOptionChecksClick(action); });
    });
    return action;
}

QToolButton* TFormMain::addButton(const char* name, const QString& text, const QString& hint,
                                  QStyle::StandardPixmap icon, int left, void (TFormMain::*handler)(QObject*))
{
    auto* button = new QToolButton(DocPanel);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setToolTip(hint);
    button->setIcon(style()->standardIcon(icon));
    button->setIconSize(QSize(20, 20));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setGeometry(left, 1, 40, 40);
    connect(button, &QToolButton::clicked, this,
            [this, button, handler] { guarded([=] { (this->*handler)(button); }); });
    return button;
}

void TFormMain::createButtons()
{
    SpeedButtonCheck = addButton("SpeedButtonCheck", QStringLiteral("檢查"), QStringLiteral("檢查信件"),
                                 QStyle::SP_BrowserReload, 1, &TFormMain::MenuCheckClick);
    SpeedButtonDial = addButton("SpeedButtonDial", QStringLiteral("撥號"), QStringLiteral("撥號或掛斷"),
                                QStyle::SP_DriveNetIcon, 41, &TFormMain::SpeedButtonDialClick);
    SpeedButtonLoad = addButton("SpeedButtonLoad", QStringLiteral("程式"), QStringLiteral("載入電子郵件程式"),
                                QStyle::SP_ComputerIcon, 80, &TFormMain::MenuLoadClick);
    SpeedButtonView = addButton("SpeedButtonView", QStringLiteral("下載"), QStringLiteral("下載信件"),
                                QStyle::SP_FileDialogContentsView, 130, &TFormMain::MenuViewClick);
    SpeedButtonDelete = addButton("SpeedButtonDelete", QStringLiteral("刪除"), QStringLiteral("刪除信件"),
                                  QStyle::SP_TrashIcon, 170, &TFormMain::MenuDeleteClick);
    SpeedButtonUndelete = addButton("SpeedButtonUndelete", QStringLiteral("復原"), QStringLiteral("復原信件"),
                                    QStyle::SP_ArrowBack, 210, &TFormMain::MenuDeleteClick);
    SpeedButtonOption = addButton("SpeedButtonOption", QStringLiteral("設定"), QStringLiteral("設定"),
                                  QStyle::SP_FileDialogDetailedView, 260, &TFormMain::MenuOptionPagesClick);
    SpeedButtonHelp = addButton("SpeedButtonHelp", QStringLiteral("說明"), QStringLiteral("說明"),
                                QStyle::SP_DialogHelpButton, 300, &TFormMain::MenuHelpFileClick);
    SpeedButtonExit = addButton("SpeedButtonExit", QStringLiteral("離開"), QStringLiteral("離開"),
                                QStyle::SP_DialogCloseButton, 340, &TFormMain::MenuExitClick);
}

void TFormMain::createMenus()
{
    QMenu* mail = menuBar()->addMenu(QStringLiteral("信件"));
    MenuView = addCommand(mail, "MenuView", QStringLiteral("下載信件"), QStringLiteral("View selected mail."),
                          QKeySequence(QStringLiteral("Ctrl+V")), &TFormMain::MenuViewClick);
    MenuLoad = addCommand(mail, "MenuLoad", QStringLiteral("載入程式"), QStringLiteral("Load E-Mail program."),
                          QKeySequence(QStringLiteral("Ctrl+L")), &TFormMain::MenuLoadClick);
    mail->addSeparator();
    MenuDeleteAll =
        addCommand(mail, "MenuDeleteAll", QStringLiteral("全部刪除"), QStringLiteral("Delete all mail on all server."),
                   QKeySequence(QStringLiteral("Ctrl+A")), &TFormMain::MenuDeleteClick);
    MenuDeleteOne =
        addCommand(mail, "MenuDeleteOne", QStringLiteral("刪除信件"), QStringLiteral("Delete selected mail."),
                   QKeySequence(QStringLiteral("Ctrl+D")), &TFormMain::MenuDeleteClick);
    MenuUndeleteAll =
        addCommand(mail, "MenuUndeleteAll", QStringLiteral("全部復原"), QStringLiteral("Unmark all delete signs."),
                   QKeySequence(QStringLiteral("Ctrl+N")), &TFormMain::MenuDeleteClick);
    MenuUndeleteOne =
        addCommand(mail, "MenuUndeleteOne", QStringLiteral("復原信件"), QStringLiteral("Unmark delete sign."),
                   QKeySequence(QStringLiteral("Ctrl+U")), &TFormMain::MenuDeleteClick);
    mail->addSeparator();
    MenuCheck = addCommand(mail, "MenuCheck", QStringLiteral("立即檢查"), QStringLiteral("Check all servers now."),
                           QKeySequence(QStringLiteral("Ctrl+C")), &TFormMain::MenuCheckClick);

    QMenu* option = menuBar()->addMenu(QStringLiteral("設定"));
    MenuGeneral = addCommand(option, "MenuGeneral", QStringLiteral("一般設定 ..."), QString(), QKeySequence(),
                             &TFormMain::MenuOptionPagesClick);
    MenuNetwork = addCommand(option, "MenuNetwork", QStringLiteral("網路設定 ..."), QString(), QKeySequence(),
                             &TFormMain::MenuOptionPagesClick);
    MenuEffect = addCommand(option, "MenuEffect", QStringLiteral("音效動畫 ..."), QString(), QKeySequence(),
                            &TFormMain::MenuOptionPagesClick);
    MenuDialUp = addCommand(option, "MenuDialUp", QStringLiteral("撥號設定 ..."), QString(), QKeySequence(),
                            &TFormMain::MenuOptionPagesClick);
    MenuFilter = addCommand(option, "MenuFilter", QStringLiteral("過濾信件 ..."), QString(), QKeySequence(),
                            &TFormMain::MenuOptionPagesClick);
    MenuSchedule = addCommand(option, "MenuSchedule", QStringLiteral("檢查時間 ..."), QString(), QKeySequence(),
                              &TFormMain::MenuOptionPagesClick);
    option->addSeparator();
    MenuAutoCheck = addToggle(option, "MenuAutoCheck", QStringLiteral("自動檢查信件"),
                              QStringLiteral("Automatically check servers."), true);
    MenuAutoLoad = addToggle(option, "MenuAutoLoad", QStringLiteral("自動載入程式"),
                             QStringLiteral("Automatically load E-Mail program if find new mail."), false);
    MenuAutoDelete = addToggle(option, "MenuAutoDelete", QStringLiteral("自動刪除信件"),
                               QStringLiteral("Automatically delete all old mails."), false);
    MenuAutoView = addToggle(option, "MenuAutoView", QStringLiteral("自動下載信件"),
                             QStringLiteral("Automatically open viewer if find new mail."), false);
    MenuConsoleProtect = addToggle(option, "MenuConsoleProtect", QStringLiteral("密碼保護"),
                                   QStringLiteral("Password protect when restore window."), false);
    MenuNoSound =
        addToggle(option, "MenuNoSound", QStringLiteral("關閉音效"), QStringLiteral("Turn off sound."), false);
    MenuNoHeader = addToggle(option, "MenuNoHeader", QStringLiteral("隱藏信件表頭"),
                             QStringLiteral("Do not diaplay mail header in viewer."), true);
    MenuRestoreWindow = addToggle(option, "MenuRestoreWindow", QStringLiteral("自動復原視窗"),
                                  QStringLiteral("Restore main window when close animation."), true);
    MenuStayOnTop = addToggle(option, "MenuStayOnTop", QStringLiteral("最上層顯示"),
                              QStringLiteral("Animation always stays on top."), true);
    MenuStartupCheck = addToggle(option, "MenuStartupCheck", QStringLiteral("啟動時檢查"),
                                 QStringLiteral("Check mails when startup."), true);
    MenuStartupMinimized = addToggle(option, "MenuStartupMinimized", QStringLiteral("啟動時最小化"),
                                     QStringLiteral("Minimize Mailvane when startup."), false);

    QMenu* window = menuBar()->addMenu(QStringLiteral("視窗"));
    window->setObjectName(QStringLiteral("MenuWindow"));
    MenuTile = addCommand(window, "MenuTile", QStringLiteral("非重疊顯示"), QString(), QKeySequence(),
                          &TFormMain::MenuWindowArrangeClick);
    MenuCascade = addCommand(window, "MenuCascade", QStringLiteral("階層顯示"), QString(), QKeySequence(),
                             &TFormMain::MenuWindowArrangeClick);
    MenuArrangeIcons = addCommand(window, "MenuArrangeIcons", QStringLiteral("排列圖示"), QString(), QKeySequence(),
                                  &TFormMain::MenuWindowArrangeClick);
    // The Window menu lists the open child windows.
    connect(window, &QMenu::aboutToShow, this, [this, window] {
        const auto actions = window->actions();
        for (QAction* a : actions) {
            if (a->property("childWindow").toBool()) {
                window->removeAction(a);
                a->deleteLater();
            }
        }
        const auto subs = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
        bool first = true;
        for (QMdiSubWindow* sub : subs) {
            if (first) {
                QAction* sep = window->addSeparator();
                sep->setProperty("childWindow", true);
                first = false;
            }
            QAction* a = window->addAction(sub->windowTitle());
            a->setProperty("childWindow", true);
            a->setCheckable(true);
            a->setChecked(sub == m_mdiArea->currentSubWindow());
            QPointer<QMdiSubWindow> target(sub);
            connect(a, &QAction::triggered, this, [this, target] {
                if (target) {
                    m_mdiArea->setActiveSubWindow(target);
                }
            });
        }
    });

    QMenu* help = menuBar()->addMenu(QStringLiteral("說明"));
    MenuHelpFile = addCommand(help, "MenuHelpFile", QStringLiteral("說明 ..."), QString(), QKeySequence(),
                              &TFormMain::MenuHelpFileClick);
    MenuHelpFile->setEnabled(false);
    MenuAbout = addCommand(help, "MenuAbout", QStringLiteral("關於 ..."), QString(), QKeySequence(),
                           &TFormMain::MenuAboutClick);

    MenuExit = addCommand(nullptr, "MenuExit", QStringLiteral("離開"), QString(),
                          QKeySequence(QStringLiteral("Ctrl+E")), &TFormMain::MenuExitClick);
    menuBar()->addAction(MenuExit);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopMenuCheck = addCommand(PopupMenu, "PopMenuCheck", QStringLiteral("檢查信件"),
                              QStringLiteral("Check all servers now."), QKeySequence(), &TFormMain::MenuCheckClick);
    PopupMenu->addSeparator();
    PopMenuOpen = addCommand(PopupMenu, "PopMenuOpen", QStringLiteral("復原視窗"),
                             QStringLiteral("Restore main window."), QKeySequence(), &TFormMain::PopMenuOpenClick);
    PopMenuClose = addCommand(PopupMenu, "PopMenuClose", QStringLiteral("離開"), QStringLiteral("Exit Mailvane."),
                              QKeySequence(), &TFormMain::MenuExitClick);
    PopupMenu->addSeparator();
    PopMenuDisable = addToggle(PopupMenu, "PopMenuDisable", QStringLiteral("關閉自動檢查"),
                               QStringLiteral("Disable auto check."), false);
}

QList<TFormMain::OptionToggle> TFormMain::optionToggles() const
{
    return {
        {MenuAutoCheck, Keys::OptionAutoCheck},
        {MenuAutoLoad, Keys::OptionAutoLoad},
        {MenuAutoDelete, Keys::OptionAutoDelete},
        {MenuAutoView, Keys::OptionAutoView},
        {MenuConsoleProtect, Keys::OptionConsoleProtect},
        {MenuNoSound, Keys::OptionNoSound},
        {MenuNoHeader, Keys::OptionNoHeader},
        {MenuRestoreWindow, Keys::OptionRestoreWindow},
        {MenuStayOnTop, Keys::OptionStayOnTop},
        {MenuStartupCheck, Keys::OptionStartupCheck},
        {MenuStartupMinimized, Keys::OptionStartupMinimized},
    };
}

void TFormMain::readOptions(TIniFile& ini)
{
    for (const OptionToggle& t : optionToggles()) {
        t.item->setChecked(t.setting.ReadBool(ini));
    }
    PopMenuDisable->setChecked(!MenuAutoCheck->isChecked());
}

void TFormMain::FormCreate()
{
    TIniFile ini(m_settingsPath);
    move(TSetting(Keys::WindowsMainLeft).ReadInteger(ini), TSetting(Keys::WindowsMainTop).ReadInteger(ini));
    resize(TSetting(Keys::WindowsMainWidth).ReadInteger(ini), TSetting(Keys::WindowsMainHeight).ReadInteger(ini));
    readOptions(ini);
    NewMailFound = false;
    DialedByProgram = false;

    MailProgramPath = TSetting(Keys::GeneralMailProgram).ReadString(ini);
    AnimationFile = TSetting(Keys::EffectAnimation).ReadString(ini);
    SoundFile = TSetting(Keys::EffectSound).ReadString(ini);
    FilterRules = TFilterRules::Read(ini);
    for (QString& word : FilterRules.HighLight) {
        // Matching upper-cases the cells, so a hand-edited lower-case word must be upper-cased too.
        word = asciiUpper(word);
    }

    ::DialUpEnabled = TSetting(Keys::DialUpEnable).ReadBool(ini);
    ConnectedOnly = TSetting(Keys::DialUpConnectedOnly).ReadBool(ini);
    std::fill(std::begin(ScheduleHours), std::end(ScheduleHours), false);
    try {
        RedialInterval = TIntConvert::StrToInt(TSetting(Keys::DialUpRedialInterval).ReadString(ini));
        ScheduleCheck = TSetting(Keys::ScheduleCheck).ReadBool(ini);
        if (ScheduleCheck) {
            TSettingsRules::ReadHourList(TSetting(Keys::ScheduleHours).ReadString(ini), ScheduleHours);
        }
        formCreateDialUp(ini);
    } catch (const EMailvane& e) {
        // The rest of the start-up settings keep their initial values, but dial-up must
        // not stay on without the remote-access library.
        if (!TRasApi::IsPresent()) {
            ::DialUpEnabled = false;
        }
        TModal::MessageBox(this, e.message(), QStringLiteral("Mailvane"));
    }
}

void TFormMain::CreateStatusWindow()
{
    FormStatus = new TFormStatus(
        m_mdiArea, m_settingsPath, [] { return NextCheckTime; },
        [this](const QString& tip) { TrayIcon->SetToolTip(tip); });
    FormStatus->setObjectName(QStringLiteral("FormStatus"));
    m_mdiArea->addSubWindow(FormStatus);
    FormStatus->show();
}

void TFormMain::Startings()
{
    TIniFile ini(m_settingsPath);
    for (int k = 0; k <= 9; ++k) {
        const QString name = TSetting(Keys::ServerLine).Numbered(k).ReadString(ini);
        if (!name.isEmpty()) {
            TFormMailList* w = CreateMailbox(name);
            w->LoadGeometry();
        }
    }
    CheckInterval = TSetting(Keys::ScheduleAutoCheck).ReadInteger(ini);
    ChangeNextCheck();
    // Every child window but the status window counts.
    FormStatus->SetCell(0, QString::number(m_mdiArea->subWindowList().size() - 1));
    startingsDialUp();
    LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    if (MenuStartupMinimized->isChecked()) {
        showMinimized();
        if (!m_minimized) {
            m_minimized = true;
            OnMinimize();
        }
    }
    if (MenuStartupCheck->isChecked()) {
        MenuCheckClick(Timer);
    }
}

int TFormMain::Run()
{
    TExceptionHook::Run([this] { Startings(); });
    // quit() does nothing before the loop runs: an exit during the start-up check is seen here.
    return Ending() ? 0 : QApplication::exec();
}

TFormMailList* TFormMain::CreateMailbox(const QString& name)
{
    auto* w = new TFormMailList(this, m_mdiArea);
    w->setWindowTitle(name);
    m_mdiArea->addSubWindow(w);
    w->show();
    return w;
}

bool TFormMain::IsMailboxCaption(const QString& caption)
{
    return caption != QLatin1String("Status") && caption != QLatin1String("Viewer") &&
           caption != QLatin1String("About");
}

QList<TFormMailList*> TFormMain::MailboxWindows() const
{
    QList<TFormMailList*> list;
    const auto subs = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow* sub : subs) {
        if (IsMailboxCaption(sub->windowTitle())) {
            if (auto* w = qobject_cast<TFormMailList*>(sub)) {
                list.append(w);
            }
        }
    }
    return list;
}

TFormMailList* TFormMain::ActiveMailbox() const
{
    QMdiSubWindow* sub = m_mdiArea->currentSubWindow();
    if (!sub || !IsMailboxCaption(sub->windowTitle())) {
        return nullptr;
    }
    return qobject_cast<TFormMailList*>(sub);
}

void TFormMain::FormClose()
{
    TIniFile ini(m_settingsPath);
    TSetting(Keys::WindowsMainTop).WriteInteger(ini, y());
    TSetting(Keys::WindowsMainLeft).WriteInteger(ini, x());
    TSetting(Keys::WindowsMainHeight).WriteInteger(ini, height());
    TSetting(Keys::WindowsMainWidth).WriteInteger(ini, width());
    if (FormStatus) {
        TSetting(Keys::WindowsStatusTop).WriteInteger(ini, FormStatus->y());
        TSetting(Keys::WindowsStatusLeft).WriteInteger(ini, FormStatus->x());
    }
    for (const OptionToggle& t : optionToggles()) {
        t.setting.WriteBool(ini, t.item->isChecked());
    }
    HangUpIfDialed();
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    if (m_terminated) {
        event->accept();
        return;
    }
    if (m_closing) {
        event->ignore();
        return;
    }
    m_closing = true;
    guarded([&] {
        // Each mailbox window stores its geometry as it is asked to close.
        for (TFormMailList* w : MailboxWindows()) {
            w->FormCloseQuery();
        }
        FormClose();
    });
    endWaits();
    event->accept();
    QCoreApplication::quit();
}

void TFormMain::endWaits()
{
    // No check may start on the way out.
    Timer->stop();
    // A check or dial still waiting must end before the event loops are told to stop,
    // or its wait could never finish.
    for (TFormMailList* w : MailboxWindows()) {
        if (w->InSession()) {
            w->Retire();
        }
    }
    RedialsLeft = -1;
    // A prompt the pass is waiting in would otherwise stay open until answered.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog && dialog->isVisible()) {
            dialog->reject();
        }
    }
}

void TFormMain::MenuExitClick(QObject*)
{
    close();
}

void TFormMain::endProgram()
{
    m_terminated = true;
    endWaits();
    // Acts only while the program's event loop runs; before that, Run() sees the flag.
    QCoreApplication::quit();
}

// --- schedule --------------------------------------------------------------

void TFormMain::TimerTimer()
{
    const bool due = m_schedule.Due(NextCheckTime);
    if (FormStatus) {
        const QDateTime now = TClock::CurrentDateTime();
        FormStatus->SetCell(3, QLocale().toString(now.date(), QLocale::ShortFormat));
        FormStatus->SetTimeCell(4, now.time());
        FormStatus->SetTimeCell(5, TClock::ToDateTime(NextCheckTime).time());
    }
    if (!due) {
        return;
    }
    ChangeNextCheck();
    for (const char* title : {"Message", "Option", "Password"}) {
        if (TWindowFinder::Exists(QLatin1String(title))) {
            return;
        }
    }
    if (!MenuAutoCheck->isChecked()) {
        return;
    }
    MenuCheckClick(Timer);
}

void TFormMain::ChangeNextCheck()
{
    m_schedule.Plan(NextCheckTime, ScheduleCheck, CheckInterval, ScheduleHours);
}

void TFormMain::MenuCheckClick(QObject* sender)
{
    if (Busy()) {
        return;
    }
    try {
        if (::DialUpEnabled) {
            const bool connected = ActiveConnections() > 0;
            if (!connected && ConnectedOnly && sender == Timer) {
                return;
            }
            if (!connected) {
                ConnectModem();
            }
        }
        SetStatusCount(1, 0);
        SetStatusCount(2, 0);
        QList<QPointer<TFormMailList>> windows;
        for (TFormMailList* w : MailboxWindows()) {
            windows.append(w);
        }
        for (const QPointer<TFormMailList>& w : std::as_const(windows)) {
            // A window deleted by a command that ran during an earlier wait is skipped.
            if (w) {
                w->Check();
            }
        }
        if (NewMailFound) {
            QCursor::setPos(frameGeometry().topLeft());
            announceNewMail();
            if (MenuAutoLoad->isChecked()) {
                MenuLoadClick(Timer);
            }
            NewMailFound = false;
        }
        HangUpIfDialed();
    } catch (const EAbort&) {
        LED(QStringLiteral("Red"), QStringLiteral("Error"));
    } catch (const EConvertError&) {
        LED(QStringLiteral("Red"), QStringLiteral("Error"));
    }
}

// --- commands --------------------------------------------------------------

void TFormMain::MenuViewClick(QObject* sender)
{
    try {
        TFormMailList* w = ActiveMailbox();
        if (!w) {
            throw EWrongWindow();
        }
        w->View(sender);
    } catch (const EAbort&) {
        LED(QStringLiteral("Red"), QStringLiteral("Error"));
    } catch (const EWrongWindow&) {
        LED(QStringLiteral("Red"), QStringLiteral("Error"));
    }
}

void TFormMain::countNewMail()
{
    int count = 0;
    for (TFormMailList* w : MailboxWindows()) {
        count += w->NewCount();
    }
    SetStatusCount(2, count);
}

void TFormMain::MenuDeleteClick(QObject* sender)
{
    if (StatusCount(1) <= 0) {
        return;
    }
    TFormMailList* active = ActiveMailbox();
    // Every sender looks at the active child window as a mailbox window.
    if (!active) {
        LED(QStringLiteral("Red"), QStringLiteral("Error"));
        return;
    }
    if (sender == MenuDeleteOne || sender == SpeedButtonDelete || sender == active->PopMenuDelete) {
        active->MarkDelete(active->SelectedRow());
    }
    if (sender == MenuUndeleteOne || sender == SpeedButtonUndelete || sender == active->PopMenuUndelete) {
        active->Undelete(active->SelectedRow());
    }
    if (sender == MenuDeleteAll || sender == MenuUndeleteAll) {
        for (TFormMailList* w : MailboxWindows()) {
            if (sender == MenuDeleteAll) {
                w->MarkAll();
            } else {
                w->UnmarkAll();
            }
        }
    }
    countNewMail();
}

void TFormMain::MenuLoadClick(QObject*)
{
    if (MailProgramPath.isEmpty()) {
        return;
    }
    const QFileInfo info(MailProgramPath);
    // The whole setting must name an existing program; it is started directly, never through a shell.
    if (!info.isFile() || !info.isExecutable()) {
        return;
    }
    QProcess::startDetached(info.absoluteFilePath(), QStringList(), info.absolutePath());
}

void TFormMain::MenuOptionChecksClick(QObject* sender)
{
    auto* item = qobject_cast<QAction*>(sender);
    if (!item) {
        return;
    }
    item->setChecked(!item->isChecked());
    if (item == MenuAutoCheck) {
        PopMenuDisable->setChecked(!MenuAutoCheck->isChecked());
    } else if (item == PopMenuDisable) {
        MenuAutoCheck->setChecked(!PopMenuDisable->isChecked());
    }
}

void TFormMain::MenuWindowArrangeClick(QObject* sender)
{
    if (sender == MenuTile) {
        m_mdiArea->tileSubWindows();
    } else if (sender == MenuCascade) {
        m_mdiArea->cascadeSubWindows();
    } else if (sender == MenuArrangeIcons) {
        // Minimised child windows line up along the bottom edge, left to right.
        int left = 0;
        const int bottom = m_mdiArea->viewport()->height();
        const auto subs = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
        for (QMdiSubWindow* sub : subs) {
            if (sub->isMinimized()) {
                const QSize s = sub->size();
                if (left + s.width() > m_mdiArea->viewport()->width() && left > 0) {
                    left = 0;
                }
                sub->move(left, bottom - s.height());
                left += s.width();
            }
        }
    }
}

void TFormMain::MenuHelpFileClick(QObject*)
{
    m_helpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/Mailvane.hlp");
}

[[noreturn]] void TFormMain::ShowError(const QString& text)
{
    LED(QStringLiteral("Red"), QStringLiteral("Error"));
    HangUpIfDialed();
    const QString message = text.isEmpty() ? QStringLiteral("不明錯誤!") : text;
    repaint();
    ShowMessage(QStringLiteral("撥號系統"), message);
    throw EAbort();
}

void TFormMain::OnException(const QString& message)
{
    ShowMessage(QStringLiteral("Mailvane Kernel"), message + QLatin1Char('\n'));
    endProgram();
}

// --- status host -----------------------------------------------------------

void TFormMain::LED(const QString& colourWord, const QString& text)
{
    if (FormStatus) {
        FormStatus->LED(colourWord, text);
    }
}

bool TFormMain::Busy() const
{
    return FormStatus && FormStatus->Busy();
}

int TFormMain::StatusCount(int row) const
{
    if (!FormStatus) {
        return 0;
    }
    bool ok = false;
    const int value = FormStatus->Cell(row).trimmed().toInt(&ok);
    return ok ? value : 0;
}

void TFormMain::SetStatusCount(int row, int value)
{
    if (FormStatus) {
        FormStatus->SetCell(row, QString::number(value));
    }
}

void TFormMain::SetNewMailFound()
{
    NewMailFound = true;
}

bool TFormMain::AutoDelete() const
{
    return MenuAutoDelete->isChecked();
}

bool TFormMain::AutoView() const
{
    return MenuAutoView->isChecked();
}

bool TFormMain::NoHeader() const
{
    return MenuNoHeader->isChecked();
}

const TFilterRules& TFormMain::Filters() const
{
    return FilterRules;
}

QString TFormMain::Unscramble(const QString& stored)
{
    return Encryption.Unscramble(stored);
}

void TFormMain::RepaintMain()
{
    repaint();
}

void TFormMain::ShowMessage(const QString& from, const QString& text)
{
    // Waits cut short by the exit report nothing.
    if (Ending()) {
        return;
    }
    TFormMessage::Show(this, from, text, [] { return NextCheckTime; });
}

void TFormMain::DeliverPassword(const QString& name, const QString& clear)
{
    for (TFormMailList* w : MailboxWindows()) {
        if (w->windowTitle() == name) {
            w->EditPassword->setText(clear);
        }
    }
}

QWidget* TFormMain::CreateViewer(const QString& server, const QString& subject)
{
    // Given the frame's area as parent, the viewer takes its place there itself.
    auto* viewer = new TFormViewer(m_mdiArea, m_settingsPath);
    viewer->LabelServer->setText(server);
    viewer->LabelSubject->setText(subject);
    viewer->SetFirstLine(QStringLiteral("下載信件..."));
    viewer->show();
    return viewer;
}

void TFormMain::FillViewer(QWidget* viewer, const QByteArray& shown, const QByteArray& whole, bool minimise)
{
    auto* v = qobject_cast<TFormViewer*>(viewer);
    if (!v) {
        return;
    }
    v->ShowText(shown, whole);
    if (minimise) {
        v->showMinimized();
    }
}

void TFormMain::DeleteCommand(QObject* sender)
{
    MenuDeleteClick(sender);
}

// --- hints, minimise, restore ----------------------------------------------

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    // Only the command buttons show their hints.
    if (event->type() == QEvent::ToolTip && !qobject_cast<QToolButton*>(watched)) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::changeEvent(QEvent* event)
{
    // State changes that arrive while the console password is asked are the restore's own.
    if (event->type() == QEvent::WindowStateChange && !m_inRestore) {
        if (isMinimized() && !m_minimized) {
            m_minimized = true;
            guarded([this] { OnMinimize(); });
        } else if (!isMinimized() && m_minimized && !m_inTray) {
            // Restored from the task bar, where there is no notification area.
            guarded([this] { restoreFrame(); });
        }
    }
    QMainWindow::changeEvent(event);
}

void TFormMain::OnMinimize()
{
    // Without a notification area the program stays minimised normally, within reach.
    if (TTrayIcon::Available()) {
        m_inTray = true;
        QTimer::singleShot(0, this, [this] {
            if (m_inTray) {
                hide();
            }
        });
    }
    if (TFormMedia* video = TFormMedia::Find(QLatin1String(TFormMedia::VideoCaption))) {
        video->show();
        video->raise();
    }
}

void TFormMain::PopMenuOpenClick(QObject*)
{
    // The console password is being asked: its prompt is already in front.
    if (m_inRestore) {
        return;
    }
    if (m_minimized) {
        m_inTray = false;
        restoreFrame();
        if (m_terminated || m_minimized) {
            return;
        }
    }
    raise();
    activateWindow();
}

void TFormMain::restoreFrame()
{
    m_inRestore = true;
    const auto done = qScopeGuard([this] { m_inRestore = false; });
    // Nothing of the frame (mailbox lists, viewers) may show before the console password is given.
    if (MenuConsoleProtect->isChecked()) {
        hide();
    }
    OnRestore();
    if (m_terminated) {
        return;
    }
    m_minimized = false;
    showNormal();
}

void TFormMain::OnRestore()
{
    if (!MenuConsoleProtect->isChecked()) {
        return;
    }
    TIniFile ini(m_settingsPath);
    const QString stored = Encryption.Unscramble(TSetting(Keys::GeneralConsolePassword).ReadString(ini));
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_consoleAttempt.clear();
        TFormPassword prompt(
            this, [this](const QString& typed) { m_consoleAttempt = typed; }, this);
        prompt.SetName(QStringLiteral("Console"));
        TModal::Exec(&prompt);
        if (m_consoleAttempt == stored) {
            return;
        }
    }
    ShowMessage(QStringLiteral("Mailvane Kernel"), QStringLiteral("Console password error!"));
    endProgram();
}

// --- new mail ----------------------------------------------------------------

void TFormMain::openMedia(const QString& file)
{
    MediaFile = file;
    TMediaContext context;
    context.SettingsPath = m_settingsPath;
    context.MediaFile = MediaFile;
    context.AnimationFile = AnimationFile;
    context.StayOnTop = MenuStayOnTop->isChecked();
    context.RestoreWindow = MenuRestoreWindow->isChecked();
    context.RestoreApplication = [this] { PopMenuOpenClick(nullptr); };
    QPointer<TFormMedia> media = new TFormMedia(context);
    if (media && media->OpenFailed()) {
        media->close();
    }
}

void TFormMain::announceNewMail()
{
    if (!AnimationFile.isEmpty() && !TWindowFinder::Exists(QLatin1String(TFormMedia::VideoCaption))) {
        openMedia(AnimationFile);
    }
    if (!SoundFile.isEmpty() && !MenuNoSound->isChecked() &&
        !TWindowFinder::Exists(QLatin1String(TFormMedia::SoundCaption))) {
        openMedia(SoundFile);
    }
}

// --- dial-up -----------------------------------------------------------------

void TFormMain::formCreateDialUp(const TIniFile& ini)
{
    TDialDriver::ReadSettings(ini, Encryption, *RAS, ::DialUpEnabled);
}

void TFormMain::startingsDialUp()
{
    if (::DialUpEnabled) {
        m_dial->AdoptConnection();
    }
}

bool TFormMain::DialUpEnabled() const
{
    return ::DialUpEnabled;
}

int TFormMain::ActiveConnections()
{
    RAS->GetConnections();
    return RAS->Connections.Count();
}

void TFormMain::ConnectModem()
{
    m_dial->ConnectModem();
}

void TFormMain::SpeedButtonDialClick(QObject*)
{
    m_dial->SpeedButtonDialClick();
}

void TFormMain::HangUpIfDialed()
{
    m_dial->HangUpIfDialed();
}

// --- options and About -------------------------------------------------------

void TFormMain::MenuOptionPagesClick(QObject* sender)
{
    try {
        TFormOption dialog(*m_optionHost, this);
        TFormOption::TPage page = TFormOption::pgGeneral;
        if (sender == MenuNetwork) {
            page = TFormOption::pgNetwork;
        } else if (sender == MenuEffect) {
            page = TFormOption::pgEffect;
        } else if (sender == MenuDialUp) {
            page = TFormOption::pgDialUp;
        } else if (sender == MenuFilter) {
            page = TFormOption::pgFilter;
        } else if (sender == MenuSchedule) {
            page = TFormOption::pgSchedule;
        }
        dialog.SelectPage(page);
        if (FormStatus) {
            m_mdiArea->setActiveSubWindow(FormStatus);
        }
        TModal::Exec(&dialog);
    } catch (const EConvertError&) {
        LED(QStringLiteral("Red"), QStringLiteral("Error"));
    }
}

void TFormMain::MenuAboutClick(QObject*)
{
    TFormAbout::ShowOnce(m_mdiArea);
}

void TFormMain::DestroyMailbox(const QString& name)
{
    for (TFormMailList* w : MailboxWindows()) {
        if (w->windowTitle() == name) {
            w->hide();
            m_mdiArea->removeSubWindow(w);
            w->Retire();
        }
    }
}
