#include "app/TFormMain.h"

#include "app/TCheckPass.h"
#include "app/TConsoleGuard.h"
#include "app/TMainMailHost.h"
#include "app/TMainOptionHost.h"
#include "app/TMainPlacement.h"
#include "app/TNewMailAnnouncer.h"
#include "app/TWindowFinder.h"
#include "assets/MailvaneAssets.h"
#include "auth/TOAuthAccess.h"
#include "core/EAbort.h"
#include "core/EConvertError.h"
#include "core/TClock.h"
#include "core/TExceptionHook.h"
#include "core/TIntConvert.h"
#include "core/TSchedule.h"
#include "desktop/TDesktopNotifier.h"
#include "dialup/TDialDriver.h"
#include "dialup/TRAS.h"
#include "dialup/TRasApi.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TFormPassword.h"
#include "mailbox/THeaderExtract.h"
#include "options/TFormOption.h"
#include "settings/TIniFile.h"
#include "settings/TPasswordStore.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"
#include "status/TFormMedia.h"
#include "status/TFormMessage.h"
#include "status/TFormStatus.h"
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
#include <QDesktopServices>
#include <QDialog>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QToolButton>

TFormMain* FormMain = nullptr;
TFormStatus* FormStatus = nullptr;

namespace Keys = TSettingsKeys;

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
    m_commands = std::make_unique<TCommandTable>(*this);
    m_commands->CreateMenus();
    m_commands->CreateButtons();
    m_commands->BindOptionMarks(m_state.Options);
    DocPanel->Loaded();

    RAS = new TRAS(this);
    RAS->setObjectName(QStringLiteral("RAS"));
    TDialDriver::Callbacks callbacks;
    callbacks.LED = [this](const QString& colour, const QString& text) { LED(colour, text); };
    callbacks.ShowError = [this](const QString& text) { ShowError(text); };
    // The window runs while the dial-up waits; the exit ends every event loop, this one too.
    callbacks.Pause = [](int ms) {
        QEventLoop pause;
        QTimer::singleShot(ms, &pause, &QEventLoop::quit);
        pause.exec();
    };
    // A moment's pause instead of spinning on the status poll.
    callbacks.ProcessEvents = [pause = callbacks.Pause] { pause(25); };
    m_dial = std::make_unique<TDialDriver>(*RAS, m_state.DialUpEnabled, m_state.DialedByProgram, m_state.RedialsLeft,
                                           m_state.RedialInterval, callbacks);
    m_oauth = new TOAuthAccess(nullptr, this);
    // The desktop's usual way: xdg-open, which honours BROWSER.
    m_oauth->Opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_mailHost = std::make_unique<TMainMailHost>(*this, m_state, *m_dial);
    m_host = m_mailHost.get();
    m_announcer = std::make_unique<TNewMailAnnouncer>(*this, m_state);
    m_checkPass = std::make_unique<TCheckPass>(*this, m_state, *m_dial, *m_announcer);
    m_checkPass->SetOAuthAccess(m_oauth);
    m_consoleGuard = std::make_unique<TConsoleGuard>(*this);
    m_optionHost = std::make_unique<TMainOptionHost>(*this);
    m_firstRun = std::make_unique<TFirstRun>(*this, *m_optionHost, *m_checkPass);

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
    if (m_notifier) {
        m_notifier->OnActivated = nullptr;
    }
    if (FormMain == this) {
        FormMain = nullptr;
        FormStatus = nullptr;
    }
}

void TFormMain::SetDesktop(TPasswordStore* keyring, TDesktopNotifier* notifier)
{
    m_keyring = keyring;
    m_oauth->SetStore(keyring);
    m_notifier = notifier;
    if (m_notifier) {
        // As the tray's restore: the console password is still asked for.
        m_notifier->OnActivated = [this](const QString& token) { guarded([&] { OpenWithToken(token); }); };
    }
}

void TFormMain::guarded(const std::function<void()>& body)
{
    TExceptionHook::Run(body);
}

void TFormMain::FormCreate()
{
    TIniFile ini(m_settingsPath);
    TMainPlacement::Restore(*this, ini);
    readOptions(ini);
    m_state.NewMailFound = false;
    m_state.DialedByProgram = false;

    m_state.MailProgramPath = TSetting(Keys::GeneralMailProgram).ReadString(ini);
    m_state.AnimationFile = TSetting(Keys::EffectAnimation).ReadString(ini);
    m_state.SoundFile = TSetting(Keys::EffectSound).ReadString(ini);
    readFilterRules(ini);

    m_state.DialUpEnabled = TSetting(Keys::DialUpEnable).ReadBool(ini);
    m_state.ConnectedOnly = TSetting(Keys::DialUpConnectedOnly).ReadBool(ini);
    std::fill(std::begin(m_state.ScheduleHours), std::end(m_state.ScheduleHours), false);
    try {
        m_state.RedialInterval = TIntConvert::StrToInt(TSetting(Keys::DialUpRedialInterval).ReadString(ini));
        m_state.ScheduleCheck = TSetting(Keys::ScheduleCheck).ReadBool(ini);
        if (m_state.ScheduleCheck) {
            TSettingsRules::ReadHourList(TSetting(Keys::ScheduleHours).ReadString(ini), m_state.ScheduleHours);
        }
        formCreateDialUp(ini);
    } catch (const EMailvane& e) {
        // The rest of the start-up settings keep their initial values, but dial-up must
        // not stay on without the remote-access library.
        if (!TRasApi::IsPresent()) {
            m_state.DialUpEnabled = false;
        }
        TModal::MessageBox(this, e.message(), QStringLiteral("Mailvane"));
    }
}

void TFormMain::readFilterRules(const TIniFile& ini)
{
    m_state.FilterRules = TFilterRules::Read(ini);
    for (QString& word : m_state.FilterRules.HighLight) {
        // Matching upper-cases the cells, so a hand-edited lower-case word must be upper-cased too.
        word = THeaderExtract::UpperAscii(word);
    }
}

void TFormMain::ReloadFilterRules()
{
    readFilterRules(TIniFile(m_settingsPath));
}

void TFormMain::CreateStatusWindow()
{
    FormStatus = new TFormStatus(
        m_mdiArea, m_settingsPath, [state = &m_state] { return state->NextCheckTime; },
        [this](const QString& tip) { TrayIcon->SetToolTip(tip); });
    FormStatus->setObjectName(QStringLiteral("FormStatus"));
    m_mdiArea->addSubWindow(FormStatus);
    FormStatus->show();
}

void TFormMain::Startings()
{
    m_firstRun->StartListedDemo();
    TIniFile ini(m_settingsPath);
    for (int k = 0; k <= 9; ++k) {
        const QString name = TSetting(Keys::ServerLine).Numbered(k).ReadString(ini);
        if (!name.isEmpty()) {
            CreateMailbox(name);
        }
    }
    m_state.CheckInterval = TSetting(Keys::ScheduleAutoCheck).ReadInteger(ini);
    ChangeNextCheck();
    // Every child window but the status window counts.
    FormStatus->SetCell(0, QString::number(m_mdiArea->subWindowList().size() - 1));
    startingsDialUp();
    LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    if (m_state.Options.StartupMinimized) {
        m_consoleGuard->StartMinimized();
    }
    if (m_state.Options.StartupCheck) {
        m_checkPass->Run(TOrigin::Timer);
    }
}

int TFormMain::Run()
{
    TExceptionHook::Run([this] { Startings(); });
    // From inside the message loop, so that an exit from the welcome window ends the loop.
    QTimer::singleShot(0, this, [this] {
        if (!Ending()) {
            guarded([this] { Welcome(); });
        }
    });
    // quit() does nothing before the loop runs: an exit during the start-up check is seen here.
    return Ending() ? 0 : QApplication::exec();
}

TFormMailList* TFormMain::CreateMailbox(const QString& name)
{
    auto* w = new TFormMailList(m_mailHost.get(), m_mdiArea);
    w->setWindowTitle(name);
    m_mdiArea->addSubWindow(w);
    w->show();
    // Stored geometry, or a first size that shows the columns' texts.
    w->LoadGeometry();
    // A mailbox that is not to be checked says why from the start.
    w->InService();
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
    TMainPlacement::Save(*this, ini);
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
    m_state.RedialsLeft = -1;
    if (m_keyring) {
        m_keyring->CancelWaits();
    }
    m_oauth->CancelWaits();
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

void TFormMain::EndProgram()
{
    m_terminated = true;
    endWaits();
    // Acts only while the program's event loop runs; before that, Run() sees the flag.
    QCoreApplication::quit();
}

// --- schedule --------------------------------------------------------------

void TFormMain::TimerTimer()
{
    const bool due = m_schedule.Due(m_state.NextCheckTime);
    if (FormStatus) {
        const QDateTime now = TClock::CurrentDateTime();
        FormStatus->SetCell(3, QLocale().toString(now.date(), QLocale::ShortFormat));
        FormStatus->SetTimeCell(4, now.time());
        FormStatus->SetTimeCell(5, TClock::ToDateTime(m_state.NextCheckTime).time());
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
    if (!m_state.Options.AutoCheck) {
        return;
    }
    m_checkPass->Run(TOrigin::Timer);
}

void TFormMain::ChangeNextCheck()
{
    m_schedule.Plan(m_state.NextCheckTime, m_state.ScheduleCheck, m_state.CheckInterval, m_state.ScheduleHours);
}

void TFormMain::MenuCheckClick(QObject*)
{
    m_checkPass->Run(TOrigin::User);
}

// --- commands --------------------------------------------------------------

void TFormMain::MenuViewClick(QObject*)
{
    TFormMailList* w = ActiveMailbox();
    if (!w) {
        LED(QStringLiteral("Red"), QStringLiteral("Error"));
        return;
    }
    try {
        w->View(TOrigin::User);
    } catch (const EAbort&) {
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
    TNewMailAnnouncer::StartMailProgram(m_state.MailProgramPath);
}

void TFormMain::SetProgramStarter(ProgramStarter starter)
{
    TNewMailAnnouncer::SetProgramStarter(std::move(starter));
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
    m_commands->ArrangeWindows(sender);
}

void TFormMain::MenuHelpFileClick(QObject*)
{
    m_helpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/Mailvane.hlp");
}

[[noreturn]] void TFormMain::ShowError(const QString& text)
{
    LED(QStringLiteral("Red"), QStringLiteral("Error"));
    HangUpIfDialed();
    const QString message = text.isEmpty() ? tr("不明錯誤!") : text;
    repaint();
    ShowMessage(tr("撥號系統"), message);
    throw EAbort();
}

void TFormMain::OnException(const QString& message)
{
    ShowMessage(QStringLiteral("Mailvane Kernel"), message + QLatin1Char('\n'));
    EndProgram();
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
    if (event->type() == QEvent::WindowStateChange && m_consoleGuard) {
        m_consoleGuard->WindowStateChanged();
    }
    QMainWindow::changeEvent(event);
}

void TFormMain::OnMinimize()
{
    m_consoleGuard->OnMinimize();
}

void TFormMain::OnRestore()
{
    m_consoleGuard->OnRestore();
}

void TFormMain::PopMenuOpenClick(QObject*)
{
    m_consoleGuard->Open();
}

void TFormMain::OpenWithToken(const QString& activationToken)
{
    m_consoleGuard->Open(activationToken);
}

// --- dial-up -----------------------------------------------------------------

void TFormMain::formCreateDialUp(const TIniFile& ini)
{
    TDialDriver::ReadSettings(ini, Encryption, *RAS, m_state.DialUpEnabled);
}

void TFormMain::startingsDialUp()
{
    if (m_state.DialUpEnabled) {
        m_dial->AdoptConnection();
    }
}

void TFormMain::SpeedButtonDialClick(QObject*)
{
    m_dial->SpeedButtonDialClick();
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
    TFormAbout::ShowOnce(m_mdiArea, m_settingsPath);
}

void TFormMain::DestroyMailbox(const QString& name)
{
    m_firstRun->MailboxDestroyed(name);
    for (TFormMailList* w : MailboxWindows()) {
        if (w->windowTitle() == name) {
            w->hide();
            m_mdiArea->removeSubWindow(w);
            w->Retire();
        }
    }
}
