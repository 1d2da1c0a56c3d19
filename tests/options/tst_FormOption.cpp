#include "auth/TOAuthAccess.h"
#include "core/TBrkApart.h"
#include "options/TFormOption.h"
#include "options/TOptionHost.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TAuthServer.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TTestBrowser.h"
#include "testsupport/TTestCertificates.h"
#include "widgets/TFxLabel.h"
#include "widgets/TModal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QLayout>
#include <QtTest>
#include <memory>

namespace {

// Records what the dialog asks of the running program.
class FakeOptionHost : public TOptionHost {
public:
    QString path;
    TVarnEncryption encryption;
    bool ras = true;
    QStringList entries;

    QStringList created;
    QStringList destroyed;
    QList<QPair<QString, QString>> passwords;
    int count = 0;
    QStringList messages;
    QStringList sources;
    QList<TOptionState> refreshed;
    int nextChecks = 0;
    int raised = 0;
    QString configHome;
    TOAuthAccess* access = nullptr;

    FakeOptionHost() { encryption.Key = QStringLiteral("Q-Lumen"); }
    QString SettingsPath() const override { return path; }
    QString ExeFolder() const override { return QStringLiteral("/opt/mailvane/"); }
    TVarnEncryption& Encryption() override { return encryption; }
    bool RasPresent() override { return ras; }
    QStringList GetPhoneBookEntries() override { return entries; }
    void CreateMailbox(const QString& name) override { created << name; }
    void DestroyMailbox(const QString& name) override { destroyed << name; }
    void SetMailboxPassword(const QString& name, const QString& clear) override { passwords.append({name, clear}); }
    void AddMailboxCount(int delta) override { count += delta; }
    void ShowMessage(const QString& from, const QString& text) override
    {
        sources << from;
        messages << text;
    }
    void RefreshState(const TOptionState& state) override { refreshed << state; }
    void ChangeNextCheck() override { ++nextChecks; }
    void RaiseMainWindow() override { ++raised; }
    QString ConfigHome() const override { return configHome; }
    QString ProgramPath() const override { return QStringLiteral("/opt/mailvane/bin/mailvane"); }
    TOAuthAccess* OAuthAccess() override { return access; }
};

const QString kBadName = QStringLiteral("信箱名稱不正確，請重新命名。");
const QString kDuplicate = QStringLiteral("信箱名稱重覆，請重新命名。");
const QString kFull = QStringLiteral("最多設定10個信箱，請先刪除部份信箱。");
const QString kIncomplete = QStringLiteral("請詳細填寫資料！");

} // namespace

class tst_FormOption : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layout();
    void defaultsBecomeStored();
    void storedValuesSurvive();
    void add_data();
    void add();
    void addUpToTen();
    void deleteLine();
    void deleteFollowsSelectedLine();
    void update();
    void updateInOtherLetterCase();
    void clickOnSelectedLineRefills();
    void buttonsFollowName();
    void hourList_data();
    void hourList();
    void integerFields_data();
    void integerFields();
    void dialUp_data();
    void dialUp();
    void choosers();
    void unreadablePasswordKept();
    void closeBoxStores();
    void connectionFields();
    void overlongPasswordRefused();
    void testConnectionOffersTrust();
    void desktopChecks();
    void signInStoredAndLoaded();
    void signInRefusals();
    void signInNotes();
    void signInFieldsReadable();
    void authorizeInBrowser();
    void authorizeCancelled();
    void authorizedConnectionTest();

private:
    std::unique_ptr<TFormOption> open();
    QString read(const QString& section, const QString& key) const;
    void listMailboxes(const QStringList& names);
    QStringList lines(TFormOption& dialog) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeOptionHost> m_host;
    std::unique_ptr<TIniFile> m_ini;
};

void tst_FormOption::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_host = std::make_unique<FakeOptionHost>();
    m_host->path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_host->configHome = m_dir->filePath(QStringLiteral("config"));
    m_ini = std::make_unique<TIniFile>(m_host->path);
}

void tst_FormOption::cleanup()
{
    TFormOption::SetFileChooser({});
    TFormOption::SetFontChooser({});
    TFormOption::SetColorChooser({});
    TModal::SetHook({});
}

std::unique_ptr<TFormOption> tst_FormOption::open()
{
    return std::make_unique<TFormOption>(*m_host);
}

QString tst_FormOption::read(const QString& section, const QString& key) const
{
    return m_ini->ReadString(section, key, QStringLiteral("<missing>"));
}

void tst_FormOption::listMailboxes(const QStringList& names)
{
    for (int k = 0; k < names.size(); ++k) {
        m_ini->WriteString(QStringLiteral("Server"), QString::number(k), names[k]);
        m_ini->WriteString(names[k], QStringLiteral("Host"), names[k] + QStringLiteral(".example"));
        m_ini->WriteString(names[k], QStringLiteral("Login"), QStringLiteral("user"));
        m_ini->WriteString(QStringLiteral("IDs:") + names[k], QStringLiteral("1"), QStringLiteral("<id@x>"));
    }
}

QStringList tst_FormOption::lines(TFormOption& dialog) const
{
    QStringList result;
    for (int k = 0; k < dialog.ListBoxName->count(); ++k) {
        result << dialog.ListBoxName->item(k)->text();
    }
    return result;
}

void tst_FormOption::layout()
{
    auto dialog = open();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Option"));
    // Never smaller than the old fixed page, and as large as the fields need.
    QVERIFY(dialog->width() >= 392 && dialog->height() >= 225);
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    dialog->SelectPage(TFormOption::pgNetwork);
    dialog->TabSheetNetwork->layout()->activate();
    for (QWidget* field : std::initializer_list<QWidget*>{
             dialog->EditName, dialog->EditHost, dialog->EditLogin, dialog->EditPassword, dialog->ComboBoxProtocol,
             dialog->ComboBoxSecurity, dialog->EditPort, dialog->EditCertSha256, dialog->EditFolder,
             dialog->CheckBoxPush, dialog->ButtonTestConnection}) {
        QVERIFY2(field->height() >= field->minimumSizeHint().height() &&
                     field->width() >= field->minimumSizeHint().width(),
                 qPrintable(field->objectName()));
    }
    const QStringList tabs = {"一般", "網路", "音效動畫", "撥號", "過濾信件", "時間表"};
    QCOMPARE(dialog->PageControl->count(), tabs.size());
    for (int i = 0; i < tabs.size(); ++i) {
        QCOMPARE(dialog->PageControl->tabText(i), tabs[i]);
    }
    for (const char* name : {"EditTimeout", "ListBoxName", "ButtonAdd", "EditSound", "ComboBoxEntry", "ButtonColor5",
                             "EditHighLight3", "CheckBoxColor1", "RadioButtonSchedule", "TabSheetFilter"}) {
        QVERIFY2(dialog->findChild<QWidget*>(QLatin1String(name)), name);
    }
    // The note on which windows hold timed checks back shows on Wayland only.
    const auto* ownOnly = dialog->findChild<QLabel*>(QStringLiteral("LabelOwnWindowsOnly"));
    QVERIFY(ownOnly);
    QCOMPARE(!ownOnly->isHidden(), QGuiApplication::platformName().startsWith(QLatin1String("wayland")));
    const auto labels = dialog->findChildren<TFxLabel*>();
    // The network page names protocol, security, port, trusted certificate and folder as well,
    // the general page the interface language, and the eight fields of signing in.
    QCOMPARE(labels.size(), 43);
    for (TFxLabel* label : labels) {
        QCOMPARE(label->TextStyle(), TFxLabel::tsRaised);
        QCOMPARE(label->BevelOuter(), TFxLabel::bvNone);
        QCOMPARE(label->Effect(), 0);
    }
    dialog->SelectPage(TFormOption::pgSchedule);
    QCOMPARE(dialog->PageControl->currentWidget(), dialog->TabSheetSchedule);
}

void tst_FormOption::defaultsBecomeStored()
{
    open()->reject();
    QCOMPARE(read("Effect", "Animation"), QStringLiteral("/opt/mailvane/Mailvane.avi"));
    QCOMPARE(read("Effect", "Sound"), QStringLiteral("/opt/mailvane/Mailvane.wav"));
    QCOMPARE(read("General", "Timeout"), QStringLiteral("30"));
    QCOMPARE(read("General", "ViewerFontSize"), QStringLiteral("10"));
    QCOMPARE(read("General", "ConsolePassword"), QString());
    QCOMPARE(read("DialUp", "EnableDiapUp"), QStringLiteral("0"));
    QCOMPARE(read("DialUp", "Redial"), QStringLiteral("2"));
    QCOMPARE(read("DialUp", "RedialInterval"), QStringLiteral("30"));
    QCOMPARE(read("DialUp", "Entry"), QStringLiteral("0"));
    QCOMPARE(read("Filter", "Color5"), QStringLiteral("1"));
    QCOMPARE(read("Filter", "Delete5"), QStringLiteral("0"));
    QCOMPARE(read("Filter", "HighLightColor1"), QStringLiteral("0"));
    QCOMPARE(read("Schedule", "IntervalCheck"), QStringLiteral("1"));
    QCOMPARE(read("Schedule", "ScheduleCheck"), QStringLiteral("0"));
    QCOMPARE(read("Schedule", "AutoCheck"), QStringLiteral("3"));
    QCOMPARE(read("Server", "9"), QString());
    QCOMPARE(read("Option", "ReadableView"), QStringLiteral("1"));
    // Opening and closing does not move printing off its own face.
    QCOMPARE(read("General", "PrinterFontName"), QString());

    QCOMPARE(m_host->refreshed.size(), 1);
    QCOMPARE(m_host->nextChecks, 1);
    QCOMPARE(m_host->raised, 1);
    const TOptionState& state = m_host->refreshed.first();
    QCOMPARE(state.CheckInterval, 3);
    QCOMPARE(state.RedialAttempts, 2);
    QCOMPARE(state.AnimationFile, QStringLiteral("/opt/mailvane/Mailvane.avi"));
    QVERIFY(m_host->messages.isEmpty());
}

void tst_FormOption::storedValuesSurvive()
{
    m_ini->WriteString("General", "ConsolePassword", m_host->encryption.Scramble("guard"));
    m_ini->WriteString("General", "ViewerFontName", "Arial");
    m_ini->WriteInteger("General", "ViewerFontSize", 14);
    m_ini->WriteString("Filter", "HighLight2", "Sale");
    m_ini->WriteInteger("Filter", "HighLightColor2", 255);
    m_ini->WriteBool("Filter", "Delete2", true);
    m_ini->WriteString("DialUp", "DialUpLogin", "dialer");
    m_ini->WriteString("Schedule", "AutoCheck", "15");
    m_ini->WriteBool("Schedule", "ScheduleCheck", true);
    m_ini->WriteString("Schedule", "Schedule", "6,12,18,24");
    m_ini->WriteString("Server", "0", "A");
    m_ini->WriteString("Server", "2", "B");
    m_ini->WriteBool("Option", "ReadableView", false);

    auto dialog = open();
    QVERIFY(!dialog->CheckBoxReadableView->isChecked());
    QCOMPARE(dialog->CheckBoxReadableView->parentWidget(), dialog->TabSheetEffect);
    QCOMPARE(dialog->EditConsolePassword->text(), QStringLiteral("guard"));
    QCOMPARE(dialog->EditViewerFontName->text(), QStringLiteral("Arial 14"));
    QCOMPARE(dialog->EditHighLight[1]->text(), QStringLiteral("SALE"));
    QCOMPARE(dialog->EditHighLight[1]->palette().color(QPalette::Text), QColor(255, 0, 0));
    QVERIFY(dialog->RadioButtonSchedule->isChecked());
    QCOMPARE(lines(*dialog).mid(0, 3), (QStringList{"A", "", "B"}));
    dialog->reject();

    QCOMPARE(m_host->encryption.Unscramble(read("General", "ConsolePassword")), QStringLiteral("guard"));
    QCOMPARE(read("General", "ViewerFontName"), QStringLiteral("Arial"));
    QCOMPARE(read("General", "ViewerFontSize"), QStringLiteral("14"));
    QCOMPARE(read("Filter", "HighLight2"), QStringLiteral("SALE"));
    QCOMPARE(read("Filter", "HighLightColor2"), QStringLiteral("255"));
    QCOMPARE(read("Filter", "Delete2"), QStringLiteral("1"));
    QCOMPARE(read("Schedule", "Schedule"), QStringLiteral("6,12,18,24"));
    QCOMPARE(read("Server", "2"), QStringLiteral("B"));
    QCOMPARE(read("Option", "ReadableView"), QStringLiteral("0"));

    const TOptionState& state = m_host->refreshed.first();
    QCOMPARE(state.CheckInterval, 15);
    QCOMPARE(state.FilterRules.HighLight[1], QStringLiteral("SALE"));
    QCOMPARE(state.FilterRules.HighLightColor[1], 255);
    QVERIFY(state.FilterRules.Delete[1] && state.FilterRules.Color[1] && !state.FilterRules.Delete[0]);
    QCOMPARE(state.UserName, QStringLiteral("dialer"));
    QVERIFY(state.ScheduleCheck);
    QList<int> hours;
    for (int h = 1; h <= 24; ++h) {
        if (state.ScheduleHours[h - 1]) {
            hours << h;
        }
    }
    QCOMPARE(hours, (QList<int>{6, 12, 18, 24}));
}

void tst_FormOption::add_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("message"); // empty: accepted

    const QStringList home = {"home"};
    QTest::newRow("ok") << home << "work"
                        << "pop.work"
                        << "me" << QString();
    QTest::newRow("no name") << home << ""
                             << "pop.work"
                             << "me" << kIncomplete;
    QTest::newRow("no host") << home << "work"
                             << ""
                             << "me" << kIncomplete;
    QTest::newRow("no login") << home << "work"
                              << "pop.work"
                              << "" << kIncomplete;
    QTest::newRow("Status") << home << "Status"
                            << "h"
                            << "l" << kBadName;
    QTest::newRow("Viewer") << home << "Viewer"
                            << "h"
                            << "l" << kBadName;
    QTest::newRow("About") << home << "About"
                           << "h"
                           << "l" << kBadName;
    QTest::newRow("status in lower case") << home << "status"
                                          << "h"
                                          << "l" << QString();
    // Its prompt answers the console password, never a mailbox.
    QTest::newRow("Console") << home << "Console"
                             << "h"
                             << "l" << kBadName;
    QTest::newRow("console in lower case") << home << "console"
                                           << "h"
                                           << "l" << QString();
    QTest::newRow("leading U+FEFF") << home << QString(QChar(0xFEFF)) + "work"
                                    << "h"
                                    << "l" << kBadName;
    QTest::newRow("Home beside home") << home << "Home"
                                      << "h"
                                      << "l" << kDuplicate;
    QTest::newRow("closing bracket") << home << "a]b"
                                     << "h"
                                     << "l" << kBadName;
    QTest::newRow("opening bracket first") << home << "[ab"
                                           << "h"
                                           << "l" << kBadName;
    QTest::newRow("leading blank") << home << " ab"
                                   << "h"
                                   << "l" << kBadName;
    QTest::newRow("trailing blank") << home << "ab "
                                    << "h"
                                    << "l" << kBadName;
    QTest::newRow("line feed") << home << "a\nb"
                               << "h"
                               << "l" << kBadName;
    QTest::newRow("program section") << home << "general"
                                     << "h"
                                     << "l" << kBadName;
    QTest::newRow("seen-ID section") << home << "IDs:home"
                                     << "h"
                                     << "l" << kBadName;
    QStringList ten;
    for (int i = 0; i < 10; ++i) {
        ten << QStringLiteral("box%1").arg(i);
    }
    QTest::newRow("ten listed") << ten << "Status"
                                << "h"
                                << "l" << kFull;
}

void tst_FormOption::add()
{
    QFETCH(QStringList, listed);
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QString, login);
    QFETCH(QString, message);
    listMailboxes(listed);

    auto dialog = open();
    dialog->EditName->setText(name);
    dialog->EditHost->setText(host);
    dialog->EditLogin->setText(login);
    dialog->EditPassword->setText(QStringLiteral("pw"));
    dialog->ButtonAddClick();

    if (!message.isEmpty()) {
        QCOMPARE(m_host->messages, QStringList{message});
        QCOMPARE(m_host->sources, QStringList{QStringLiteral("設定選單")});
        QCOMPARE(lines(*dialog).mid(0, listed.size()), listed);
        QCOMPARE(read("Server", "0"), listed.first());
        QVERIFY(m_host->created.isEmpty());
        QCOMPARE(m_host->count, 0);
        return;
    }
    QVERIFY(m_host->messages.isEmpty());
    QCOMPARE(lines(*dialog), (QStringList{name} + listed + QStringList(9 - listed.size())));
    QCOMPARE(read("Server", "0"), name);
    QCOMPARE(read("Server", "1"), listed.first());
    QCOMPARE(read(name, "Host"), host);
    QCOMPARE(m_host->encryption.Unscramble(read(name, "Password")), QStringLiteral("pw"));
    QCOMPARE(m_host->created, QStringList{name});
    QCOMPARE(m_host->count, 1);
    QCOMPARE(dialog->ListBoxName->currentRow(), 0);
    QVERIFY(!dialog->ButtonAdd->isEnabled());
    QVERIFY(dialog->ButtonDelete->isEnabled());
}

void tst_FormOption::addUpToTen()
{
    QStringList nine;
    for (int i = 0; i < 9; ++i) {
        nine << QStringLiteral("box%1").arg(i);
    }
    listMailboxes(nine);
    auto dialog = open();
    dialog->EditName->setText(QStringLiteral("tenth"));
    dialog->EditHost->setText(QStringLiteral("h"));
    dialog->EditLogin->setText(QStringLiteral("l"));
    dialog->EditPassword->clear();
    dialog->ButtonAdd->click();
    QCOMPARE(lines(*dialog), QStringList{"tenth"} + nine);
    QCOMPARE(read("tenth", "Password"), QString()); // an empty password is not scrambled

    dialog->EditName->setText(QStringLiteral("eleventh"));
    dialog->ButtonAdd->click();
    QCOMPARE(m_host->messages, QStringList{kFull});
    QCOMPARE(m_host->created, QStringList{"tenth"});
}

void tst_FormOption::deleteLine()
{
    listMailboxes({"a", "b", "c", "d", "e", "f"});
    auto dialog = open();
    dialog->ListBoxName->setCurrentRow(3);
    QCOMPARE(dialog->EditName->text(), QStringLiteral("d"));
    QCOMPARE(dialog->EditHost->text(), QStringLiteral("d.example"));
    dialog->ButtonDelete->click();

    const QStringList expected = {"a", "b", "c", "e", "f", "", "", "", "", ""};
    QCOMPARE(lines(*dialog), expected);
    for (int k = 0; k < 10; ++k) {
        QCOMPARE(read("Server", QString::number(k)), expected[k]);
    }
    QVERIFY(!m_ini->SectionExists("d"));
    QVERIFY(!m_ini->SectionExists("IDs:d"));
    QVERIFY(m_ini->SectionExists("e") && m_ini->SectionExists("IDs:e"));
    QCOMPARE(m_host->destroyed, QStringList{"d"});
    QCOMPARE(m_host->count, -1);
    QCOMPARE(dialog->ListBoxName->currentRow(), 0);
    QCOMPARE(dialog->EditName->text(), QStringLiteral("a"));
}

void tst_FormOption::deleteFollowsSelectedLine()
{
    listMailboxes({"a", "b", "c"});
    auto dialog = open();
    dialog->ListBoxName->setCurrentRow(1);
    dialog->EditName->setText(QStringLiteral("C")); // another listed mailbox, other letter case
    QVERIFY(dialog->ButtonDelete->isEnabled());
    dialog->ButtonDelete->click();
    QCOMPARE(lines(*dialog).mid(0, 3), (QStringList{"a", "c", ""}));
    QCOMPARE(m_host->destroyed, QStringList{"b"});
    QVERIFY(!m_ini->SectionExists("b"));
    QVERIFY(m_ini->SectionExists("c") && m_ini->SectionExists("IDs:c"));

    // A free line holds no mailbox: nothing is destroyed, erased or counted.
    dialog->ListBoxName->setCurrentRow(5);
    dialog->ButtonDeleteClick();
    QCOMPARE(m_host->destroyed, QStringList{"b"});
    QCOMPARE(m_host->count, -1);
}

void tst_FormOption::update()
{
    listMailboxes({"home"});
    m_ini->WriteString("home", "Password", m_host->encryption.Scramble("secret"));
    auto dialog = open();
    QCOMPARE(dialog->EditPassword->text(), QStringLiteral("secret"));

    dialog->EditHost->clear();
    dialog->ButtonUpdate->click();
    QCOMPARE(m_host->messages, QStringList{QStringLiteral("除密碼外皆須填寫！")});
    QCOMPARE(read("home", "Host"), QStringLiteral("home.example"));

    dialog->EditHost->setText(QStringLiteral("pop.new"));
    dialog->EditPassword->clear();
    dialog->ButtonUpdate->click();
    QCOMPARE(read("home", "Host"), QStringLiteral("pop.new"));
    QCOMPARE(read("home", "Password"), QString());
    QCOMPARE(m_host->passwords, (QList<QPair<QString, QString>>{{"home", ""}}));
    QCOMPARE(read("Server", "0"), QStringLiteral("home"));
    QVERIFY(m_host->created.isEmpty());
}

void tst_FormOption::updateInOtherLetterCase()
{
    listMailboxes({"Home"});
    auto dialog = open();
    dialog->EditName->setText(QStringLiteral("HOME"));
    dialog->EditPassword->setText(QStringLiteral("fresh"));
    dialog->ButtonUpdate->click();
    // The open window is captioned as listed, so it is reached under the listed name.
    QCOMPARE(m_host->passwords, (QList<QPair<QString, QString>>{{"Home", "fresh"}}));
    QCOMPARE(m_host->encryption.Unscramble(read("Home", "Password")), QStringLiteral("fresh"));
    QCOMPARE(m_ini->ReadSection(QStringLiteral("Home")).size(), 3);
}

void tst_FormOption::clickOnSelectedLineRefills()
{
    listMailboxes({"home", "work"});
    m_ini->WriteString("work", "Password", "QQ"); // reported each time it is read
    auto dialog = open();
    dialog->SelectPage(TFormOption::pgNetwork);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const auto click = [&](int row) {
        QListWidget* list = dialog->ListBoxName;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    };

    QCOMPARE(dialog->ListBoxName->currentRow(), 0);
    dialog->EditHost->setText(QStringLiteral("typed"));
    dialog->EditLogin->clear();
    click(0);
    QCOMPARE(dialog->EditHost->text(), QStringLiteral("home.example"));
    QCOMPARE(dialog->EditLogin->text(), QStringLiteral("user"));

    // A click that moves the selection fills the fields once.
    click(1);
    QCOMPARE(dialog->EditName->text(), QStringLiteral("work"));
    QCOMPARE(m_host->messages.size(), 1);
    click(1);
    QCOMPARE(m_host->messages.size(), 2);
    dialog->hide();
}

void tst_FormOption::buttonsFollowName()
{
    listMailboxes({"home"});
    auto dialog = open();
    auto state = [&] {
        return QList<bool>{dialog->ButtonAdd->isEnabled(), dialog->ButtonUpdate->isEnabled(),
                           dialog->ButtonDelete->isEnabled()};
    };
    dialog->EditName->setText(QStringLiteral("HOME"));
    QCOMPARE(state(), (QList<bool>{false, true, true}));
    dialog->EditName->setText(QStringLiteral("office"));
    QCOMPARE(state(), (QList<bool>{true, false, false}));
    dialog->EditName->clear(); // matches a free line
    QCOMPARE(state(), (QList<bool>{false, true, true}));
}

void tst_FormOption::hourList_data()
{
    QTest::addColumn<bool>("hourMode");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");

    const QString bad = QStringLiteral("Bad time schedule!");
    const QString range = QStringLiteral("時間表格式錯誤！");
    QTest::newRow("four hours") << true << "6,12,18,24" << QString() << "6,12,18,24";
    QTest::newRow("blank before a number") << true << "6, 12" << QString() << "6, 12";
    QTest::newRow("blank before a comma") << true << "6 ,12" << bad << "";
    QTest::newRow("two commas") << true << "6,,12" << bad << "";
    QTest::newRow("trailing comma") << true << "6,12," << bad << "";
    QTest::newRow("empty list") << true << "" << bad << "";
    QTest::newRow("letters") << true << "six" << bad << "";
    QTest::newRow("hour 0") << true << "0,6" << range << "";
    QTest::newRow("hour 25") << true << "6,25" << range << "";
    QTest::newRow("not checked in interval mode") << false << "six,," << QString() << "six,,";
}

void tst_FormOption::hourList()
{
    QFETCH(bool, hourMode);
    QFETCH(QString, list);
    QFETCH(QString, message);
    QFETCH(QString, stored);

    auto dialog = open();
    (hourMode ? dialog->RadioButtonSchedule : dialog->RadioButtonInterval)->setChecked(true);
    dialog->EditSchedule->setText(list);
    dialog->reject();

    QCOMPARE(m_host->messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(read("Schedule", "Schedule"), stored);
    const bool hoursOn = hourMode && message.isEmpty();
    QCOMPARE(read("Schedule", "ScheduleCheck"), hoursOn ? QStringLiteral("1") : QStringLiteral("0"));
    QCOMPARE(read("Schedule", "IntervalCheck"), hoursOn ? QStringLiteral("0") : QStringLiteral("1"));
    const TOptionState& state = m_host->refreshed.first();
    QCOMPARE(state.ScheduleCheck, hoursOn);
    int marked = 0;
    for (bool h : state.ScheduleHours) {
        marked += h ? 1 : 0;
    }
    QCOMPARE(marked, hoursOn ? int(list.count(',')) + 1 : 0);
}

void tst_FormOption::integerFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");

    QTest::newRow("time-out 61") << "EditTimeout"
                                 << "61"
                                 << "General/Timeout"
                                 << "30";
    QTest::newRow("time-out -1") << "EditTimeout"
                                 << "-1"
                                 << "General/Timeout"
                                 << "30";
    QTest::newRow("time-out 0") << "EditTimeout"
                                << "0"
                                << "General/Timeout"
                                << "0";
    QTest::newRow("time-out 60") << "EditTimeout"
                                 << "60"
                                 << "General/Timeout"
                                 << "60";
    QTest::newRow("time-out letter") << "EditTimeout"
                                     << "3a"
                                     << "General/Timeout"
                                     << "30";
    QTest::newRow("time-out hex") << "EditTimeout"
                                  << "$1F"
                                  << "General/Timeout"
                                  << "$1F";
    QTest::newRow("redial emptied") << "EditRedial"
                                    << ""
                                    << "DialUp/Redial"
                                    << "2";
    QTest::newRow("redial 5") << "EditRedial"
                              << "5"
                              << "DialUp/Redial"
                              << "5";
    QTest::newRow("interval emptied") << "EditRedialInterval"
                                      << ""
                                      << "DialUp/RedialInterval"
                                      << "30";
    QTest::newRow("auto-check emptied") << "EditAutoCheck"
                                        << ""
                                        << "Schedule/AutoCheck"
                                        << "3";
    QTest::newRow("auto-check blank after") << "EditAutoCheck"
                                            << "10 "
                                            << "Schedule/AutoCheck"
                                            << "3";
}

void tst_FormOption::integerFields()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, key);
    QFETCH(QString, stored);

    auto dialog = open();
    auto* edit = dialog->findChild<QLineEdit*>(field);
    QVERIFY(edit);
    edit->setText(typed);
    dialog->reject();
    const QStringList parts = key.split('/');
    QCOMPARE(read(parts[0], parts[1]), stored);
    QVERIFY(m_host->messages.isEmpty());
    QCOMPARE(m_host->refreshed.size(), 1);
}

void tst_FormOption::dialUp_data()
{
    QTest::addColumn<bool>("ras");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("storedEntry");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("entryName");

    const QStringList three = {"ISP one", "ISP two", "ISP three"};
    QTest::newRow("no remote-access library") << false << three << 0 << "未安裝RASAPI32.DLL" << false << "";
    QTest::newRow("stored entry") << true << three << 2 << "" << true << "ISP three";
    QTest::newRow("entry beyond the list") << true << three << 5 << "" << true << "ISP one";
    QTest::newRow("negative entry") << true << three << -1 << "" << true << "ISP one";
    QTest::newRow("no entries") << true << QStringList() << 0 << "沒有撥號設定！" << false << "";
}

void tst_FormOption::dialUp()
{
    QFETCH(bool, ras);
    QFETCH(QStringList, entries);
    QFETCH(int, storedEntry);
    QFETCH(QString, message);
    QFETCH(bool, ticked);
    QFETCH(QString, entryName);
    m_host->ras = ras;
    m_host->entries = entries;
    m_ini->WriteBool("DialUp", "EnableDiapUp", true);
    m_ini->WriteInteger("DialUp", "Entry", storedEntry);

    auto dialog = open();
    QCOMPARE(m_host->messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(dialog->CheckBoxDialUp->isChecked(), ticked);
    QCOMPARE(dialog->CheckBoxDialUp->isEnabled(), ticked);
    QCOMPARE(dialog->ComboBoxEntry->isEnabled(), ticked);
    QCOMPARE(dialog->EditDialUpLogin->isEnabled(), ticked);
    QVERIFY(dialog->EditRedialInterval->isEnabled());
    dialog->reject();

    QCOMPARE(read("DialUp", "EnableDiapUp"), ticked ? QStringLiteral("1") : QStringLiteral("0"));
    const TOptionState& state = m_host->refreshed.first();
    QCOMPARE(state.DialUpEnabled, ticked);
    QCOMPARE(state.EntryName, entryName);
    if (ticked) {
        QCOMPARE(read("DialUp", "Entry"), QString::number(entries.indexOf(entryName)));
    }
}

void tst_FormOption::choosers()
{
    QList<int> filters;
    QString programFilter;
    TFormOption::SetFileChooser([&](QWidget*, const QStringList& names, int filter) {
        filters << filter;
        if (filter == 1) {
            programFilter = names.value(0);
        }
        return filter == 2 ? QStringLiteral("/media/new.avi") : QString();
    });
    TFormOption::SetFontChooser([](QWidget*, QFont& font) {
        font = QFont(QStringLiteral("DejaVu Serif"), 16);
        font.setBold(true);
        return true;
    });
    QList<QColor> offered;
    TFormOption::SetColorChooser([&](QWidget*, QColor& colour) {
        offered << colour;
        colour = QColor(0, 0, 255);
        return true;
    });

    auto dialog = open();
    dialog->ButtonAnimation->click();
    dialog->ButtonSound->click(); // cancelled
    dialog->ButtonMail->click();  // cancelled
    QCOMPARE(filters, (QList<int>{2, 3, 1}));
    // The first filter offered for the mail program shows programs without an extension.
    const QString patterns = programFilter.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
    QVERIFY2(QDir::match(patterns, QStringLiteral("thunderbird")), qPrintable(programFilter));
    QCOMPARE(dialog->EditAnimation->text(), QStringLiteral("/media/new.avi"));
    QCOMPARE(dialog->EditSound->text(), QStringLiteral("/opt/mailvane/Mailvane.wav"));

    dialog->ButtonPrinterFont->click();
    QCOMPARE(dialog->EditPrinterFontName->text(), QStringLiteral("DejaVu Serif 16"));

    dialog->ButtonColor[2]->click();
    dialog->ButtonColor[3]->click();
    QCOMPARE(offered.last(), QColor(0, 0, 255)); // opens with the colour chosen last
    dialog->reject();

    QCOMPARE(read("Effect", "Animation"), QStringLiteral("/media/new.avi"));
    QCOMPARE(read("General", "PrinterFontName"), QStringLiteral("DejaVu Serif"));
    QCOMPARE(read("General", "PrinterFontSize"), QStringLiteral("16"));
    QCOMPARE(read("General", "ViewerFontName"), QString());
    QCOMPARE(read("Filter", "HighLightColor3"), QString::number(0xFF0000));
    QCOMPARE(read("Filter", "HighLightColor4"), QString::number(0xFF0000));
    QCOMPARE(read("Filter", "HighLightColor1"), QStringLiteral("0"));
}

// A stored password that does not unscramble is reported, and kept unless replaced.
void tst_FormOption::unreadablePasswordKept()
{
    m_ini->WriteString("General", "ConsolePassword", "XYZ");
    m_ini->WriteString("DialUp", "DialUpPassword", "QQ");
    auto dialog = open();
    QCOMPARE(m_host->messages.size(), 2);
    QVERIFY(m_host->messages.first().endsWith(QStringLiteral("is not a valid integer value")));
    QVERIFY(dialog->EditConsolePassword->text().isEmpty());
    dialog->EditDialUpPassword->setText(QStringLiteral("fresh"));
    dialog->reject();
    QCOMPARE(read("General", "ConsolePassword"), QStringLiteral("XYZ"));
    QCOMPARE(m_host->encryption.Unscramble(read("DialUp", "DialUpPassword")), QStringLiteral("fresh"));
}

// Shown modally and closed with the close box, the dialog still stores and refreshes.
void tst_FormOption::closeBoxStores()
{
    auto dialog = open();
    dialog->EditMailProgram->setText(QStringLiteral("/usr/bin/mailer"));
    bool seen = false;
    TModal::SetHook([&](QDialog* shown) {
        seen = shown == dialog.get();
        shown->close();
    });
    QCOMPARE(TModal::Exec(dialog.get()), int(QDialog::Accepted));
    QVERIFY(seen);
    QCOMPARE(read("General", "MailProgram"), QStringLiteral("/usr/bin/mailer"));
    QCOMPARE(m_host->refreshed.size(), 1);
    QCOMPARE(m_host->refreshed.first().MailProgramPath, QStringLiteral("/usr/bin/mailer"));
}

// A password whose stored form would not fit a settings value would be read back cut.
void tst_FormOption::overlongPasswordRefused()
{
    listMailboxes({"home"});
    auto dialog = open();
    dialog->ListBoxName->setCurrentRow(0);
    const QString before = read("home", "Password");
    dialog->EditPassword->setText(QString(300, QChar(0x5bc6))); // 900 UTF-8 bytes
    dialog->ButtonUpdate->click();
    QCOMPARE(m_host->messages, QStringList{QStringLiteral("密碼過長！")});
    QCOMPARE(read("home", "Password"), before);

    // The longest that fits is kept whole.
    const QString longest(510, QLatin1Char('p'));
    dialog->EditPassword->setText(longest);
    dialog->ButtonUpdate->click();
    QCOMPARE(m_host->messages.size(), 1);
    QCOMPARE(m_host->encryption.Unscramble(read("home", "Password")), longest);
}

void tst_FormOption::connectionFields()
{
    listMailboxes({"home", "work"});
    const QString pin = QStringLiteral("AB:").repeated(31) + QStringLiteral("AB");
    m_ini->WriteString("work", "Security", "TLS");
    m_ini->WriteString("work", "Port", "995");
    m_ini->WriteString("work", "CertSha256", pin);
    auto dialog = open();
    dialog->ListBoxName->setCurrentRow(1);
    QCOMPARE(dialog->ComboBoxSecurity->currentText(), QStringLiteral("SSL/TLS"));
    QCOMPARE(dialog->EditPort->text(), QStringLiteral("995"));
    QCOMPARE(dialog->EditCertSha256->text(), pin);

    // Refused values store nothing.
    dialog->EditPort->setText(QStringLiteral("70000"));
    dialog->ButtonUpdate->click();
    dialog->EditPort->setText(QStringLiteral("110"));
    dialog->EditCertSha256->setText(QStringLiteral("abc"));
    dialog->ButtonUpdate->click();
    QCOMPARE(m_host->messages.size(), 2);
    QCOMPARE(read("work", "Port"), QStringLiteral("995"));

    dialog->EditCertSha256->clear();
    dialog->ComboBoxSecurity->setCurrentIndex(dialog->ComboBoxSecurity->findData(QStringLiteral("STARTTLS")));
    dialog->ButtonUpdate->click();
    QCOMPARE(read("work", "Security"), QStringLiteral("STARTTLS"));
    QCOMPARE(read("work", "Port"), QStringLiteral("110"));
    QCOMPARE(read("work", "CertSha256"), QString());

    // A hand-edited word is shown and kept, never turned into no encryption.
    m_ini->WriteString("home", "Security", "SSL3");
    dialog->ListBoxName->setCurrentRow(0);
    QCOMPARE(dialog->ComboBoxSecurity->currentText(), QStringLiteral("SSL3"));
    dialog->ButtonUpdate->click();
    QCOMPARE(read("home", "Security"), QStringLiteral("SSL3"));
    // A POP3 mailbox's section gains no IMAP keys; an IMAP one keeps its folder and push.
    QCOMPARE(read("home", "Protocol"), QStringLiteral("<missing>"));
    QVERIFY(!dialog->EditFolder->isEnabled());
    dialog->ComboBoxProtocol->setCurrentIndex(dialog->ComboBoxProtocol->findData(QStringLiteral("IMAP")));
    QVERIFY(dialog->EditFolder->isEnabled() && dialog->CheckBoxPush->isChecked());
    dialog->EditFolder->setText(QStringLiteral("Archiv/2024"));
    dialog->CheckBoxPush->setChecked(false);
    dialog->ButtonUpdate->click();
    QCOMPARE(read("home", "Protocol"), QStringLiteral("IMAP"));
    QCOMPARE(read("home", "Folder"), QStringLiteral("Archiv/2024"));
    QCOMPARE(read("home", "Push"), QStringLiteral("0"));
    dialog->ListBoxName->setCurrentRow(1);
    QCOMPARE(dialog->ComboBoxProtocol->currentText(), QStringLiteral("POP3"));
    dialog->ListBoxName->setCurrentRow(0);
    QCOMPARE(dialog->ComboBoxProtocol->currentText(), QStringLiteral("IMAP"));
    QCOMPARE(dialog->EditFolder->text(), QStringLiteral("Archiv/2024"));
    QVERIFY(!dialog->CheckBoxPush->isChecked());
}

void tst_FormOption::testConnectionOffersTrust()
{
    QString why;
    if (!TDovecot::Available(&why)) {
        QSKIP(qPrintable(why));
    }
    TTestCertificates pki;
    QVERIFY2(pki.Make(&why), qPrintable(why));
    TDovecot server;
    server.SetSsl(TDovecot::TSsl::Required, pki.Cert(QStringLiteral("selfsigned")),
                  pki.Key(QStringLiteral("selfsigned")));
    QVERIFY2(server.Start(&why), qPrintable(why));
    listMailboxes({"secure"});
    auto dialog = open();
    dialog->ListBoxName->setCurrentRow(0);
    dialog->EditHost->setText(QStringLiteral("localhost"));
    dialog->EditLogin->setText(server.User());
    dialog->EditPassword->setText(server.Password());
    dialog->ComboBoxSecurity->setCurrentIndex(dialog->ComboBoxSecurity->findData(QStringLiteral("TLS")));
    dialog->EditPort->setText(QString::number(server.TlsPort()));

    QStringList shown;
    int answer = QMessageBox::No;
    TModal::SetHook([&](QDialog* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        shown << (box ? box->objectName() + QLatin1Char('|') + box->text() : QString());
        d->done(answer);
    });
    const QString fingerprint = TTestCertificates::Fingerprint(pki.Cert(QStringLiteral("selfsigned")));
    // Declined: nothing is trusted.
    dialog->ButtonTestConnection->click();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].startsWith(QStringLiteral("MessageBoxTrust|")), qPrintable(shown[0]));
    for (const QString& part : {QStringLiteral("自我簽署"), QStringLiteral("localhost"), fingerprint}) {
        QVERIFY2(shown[0].contains(part), qPrintable(shown[0]));
    }
    QVERIFY(dialog->EditCertSha256->text().isEmpty());
    QCOMPARE(read("secure", "CertSha256"), QStringLiteral("<missing>"));

    // Trusted for a server the stored mailbox does not name: only the field takes it, and
    // the stored mailbox keeps checking its own server as before.
    answer = QMessageBox::Yes;
    dialog->ButtonTestConnection->click();
    QCOMPARE(dialog->EditCertSha256->text(), fingerprint);
    QCOMPARE(read("secure", "CertSha256"), QStringLiteral("<missing>"));
    QCOMPARE(read("secure", "Host"), QStringLiteral("secure.example"));

    // Trusted now: the test logs in and says so.
    dialog->ButtonTestConnection->click();
    QCOMPARE(shown.size(), 3);
    QVERIFY2(shown[2].contains(QStringLiteral("連線成功")), qPrintable(shown[2]));
    QVERIFY(dialog->ButtonTestConnection->isEnabled());

    // 更新 stores it with the server it belongs to.
    dialog->ButtonUpdate->click();
    QCOMPARE(read("secure", "Host"), QStringLiteral("localhost"));
    QCOMPARE(read("secure", "CertSha256"), fingerprint);

    // The stored server itself: trusting it keeps the trust at once.
    dialog->EditCertSha256->clear();
    dialog->ButtonUpdate->click();
    QCOMPARE(read("secure", "CertSha256"), QString());
    dialog->ButtonTestConnection->click();
    QCOMPARE(shown.size(), 4);
    QVERIFY2(shown[3].startsWith(QStringLiteral("MessageBoxTrust|")), qPrintable(shown[3]));
    QCOMPARE(read("secure", "CertSha256"), fingerprint);
    QCOMPARE(m_host->messages, QStringList());
}

void tst_FormOption::desktopChecks()
{
    const QString entry = m_dir->filePath(QStringLiteral("config/autostart/mailvane.desktop"));
    {
        auto dialog = open();
        QVERIFY(dialog->CheckBoxDesktopNotify->isChecked());
        QVERIFY(dialog->CheckBoxUseKeyring->isChecked());
        QVERIFY(!dialog->CheckBoxAutostart->isChecked());
        dialog->CheckBoxDesktopNotify->setChecked(false);
        dialog->CheckBoxAutostart->setChecked(true);
        dialog->reject();
    }
    QCOMPARE(read("Option", "DesktopNotify"), QStringLiteral("0"));
    QCOMPARE(read("Option", "UseKeyring"), QStringLiteral("1"));
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\nExec=/opt/mailvane/bin/mailvane\n"));
    file.close();

    auto dialog = open();
    QVERIFY(!dialog->CheckBoxDesktopNotify->isChecked());
    QVERIFY(dialog->CheckBoxAutostart->isChecked());
    dialog->CheckBoxAutostart->setChecked(false);
    dialog->CheckBoxUseKeyring->setChecked(false);
    dialog->reject();
    QVERIFY(!QFile::exists(entry));
    QCOMPARE(read("Option", "UseKeyring"), QStringLiteral("0"));
    QVERIFY(m_host->messages.isEmpty());
}

QTEST_MAIN(tst_FormOption)
#include "tst_FormOption.moc"

void tst_FormOption::signInStoredAndLoaded()
{
    listMailboxes({"home"});
    auto dialog = open();
    // A password mailbox stays as older versions wrote it.
    dialog->ListBoxName->setCurrentRow(0);
    QVERIFY(!dialog->ComboBoxOAuthProvider->isEnabled() && dialog->EditPassword->isEnabled());
    dialog->ButtonUpdate->click();
    QCOMPARE(read("home", "Auth"), QStringLiteral("<missing>"));
    QCOMPARE(read("home", "OAuthProvider"), QStringLiteral("<missing>"));

    // A provider given by hand stores every field; the password field is off meanwhile.
    dialog->EditName->setText(QStringLiteral("own"));
    dialog->EditHost->setText(QStringLiteral("mail.example"));
    dialog->EditLogin->setText(QStringLiteral("me@example"));
    dialog->ComboBoxSecurity->setCurrentIndex(dialog->ComboBoxSecurity->findData(QStringLiteral("TLS")));
    dialog->ComboBoxAuth->setCurrentIndex(dialog->ComboBoxAuth->findData(QStringLiteral("OAuth2")));
    QVERIFY(!dialog->EditPassword->isEnabled());
    dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QString()));
    QVERIFY(dialog->EditOAuthTokenUrl->isEnabled());
    dialog->EditOAuthAuthorizeUrl->setText(QStringLiteral("https://login.example/authorize"));
    dialog->EditOAuthTokenUrl->setText(QStringLiteral("https://login.example/token"));
    dialog->EditOAuthScope->setText(QStringLiteral(" mail   offline "));
    dialog->EditOAuthClientId->setText(QStringLiteral("client-1"));
    dialog->ComboBoxOAuthMechanism->setCurrentIndex(
        dialog->ComboBoxOAuthMechanism->findData(QStringLiteral("OAUTHBEARER")));
    dialog->ButtonAdd->click();
    QVERIFY2(m_host->messages.isEmpty(), qPrintable(m_host->messages.join('\n')));
    QCOMPARE(read("own", "Auth"), QStringLiteral("OAuth2"));
    QCOMPARE(read("own", "OAuthProvider"), QStringLiteral("<missing>"));
    QCOMPARE(read("own", "OAuthAuthorizeUrl"), QStringLiteral("https://login.example/authorize"));
    QCOMPARE(read("own", "OAuthTokenUrl"), QStringLiteral("https://login.example/token"));
    QCOMPARE(read("own", "OAuthScope"), QStringLiteral("mail offline"));
    QCOMPARE(read("own", "OAuthClientId"), QStringLiteral("client-1"));
    QCOMPARE(read("own", "OAuthMechanism"), QStringLiteral("OAUTHBEARER"));

    // A service of the table: its name and only a client of one's own beside it.
    dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QStringLiteral("Gmail")));
    QVERIFY(!dialog->EditOAuthTokenUrl->isEnabled() && dialog->EditOAuthClientId->isEnabled());
    QVERIFY(dialog->EditOAuthTokenUrl->placeholderText().startsWith(QStringLiteral("https://")));
    dialog->ButtonUpdate->click();
    QCOMPARE(read("own", "OAuthProvider"), QStringLiteral("Gmail"));
    QCOMPARE(read("own", "OAuthTokenUrl"), QString());
    QCOMPARE(read("own", "OAuthMechanism"), QString());
    QCOMPARE(read("own", "OAuthClientId"), QStringLiteral("client-1"));

    // Read back by a new dialog, whichever line was shown before.
    m_ini->WriteString("home", "Auth", "oauth2");
    m_ini->WriteString("home", "OAuthProvider", "outlook");
    m_ini->WriteString("home", "Security", "TLS");
    auto again = open();
    again->ListBoxName->setCurrentRow(1);
    QCOMPARE(again->EditName->text(), QStringLiteral("home"));
    QCOMPARE(again->ComboBoxAuth->currentData().toString(), QStringLiteral("OAuth2"));
    QCOMPARE(again->ComboBoxOAuthProvider->currentData().toString(), QStringLiteral("Outlook"));
    QVERIFY(!again->EditPassword->isEnabled());
    again->ListBoxName->setCurrentRow(0);
    QCOMPARE(again->EditName->text(), QStringLiteral("own"));
    QCOMPARE(again->ComboBoxOAuthProvider->currentData().toString(), QStringLiteral("Gmail"));
    QCOMPARE(again->EditOAuthClientId->text(), QStringLiteral("client-1"));
    // A name the table does not know is kept, not turned into the user's own values.
    m_ini->WriteString("home", "OAuthProvider", "Yahoo");
    again->ListBoxName->setCurrentRow(1);
    QCOMPARE(again->ComboBoxOAuthProvider->currentText(), QStringLiteral("Yahoo"));
    again->ButtonUpdate->click();
    QCOMPARE(read("home", "OAuthProvider"), QStringLiteral("Yahoo"));
    QVERIFY(again->LabelOAuthNote->text().contains(QStringLiteral("Yahoo")));
    // So is a way of signing in it does not know, never read as a password mailbox.
    m_ini->WriteString("home", "Auth", "Kerberos");
    again->ListBoxName->setCurrentRow(0);
    again->ListBoxName->setCurrentRow(1);
    QCOMPARE(again->ComboBoxAuth->currentText(), QStringLiteral("Kerberos"));
    again->ButtonUpdate->click();
    QCOMPARE(read("home", "Auth"), QStringLiteral("Kerberos"));
}

void tst_FormOption::signInRefusals()
{
    auto dialog = open();
    dialog->EditName->setText(QStringLiteral("plain"));
    dialog->EditHost->setText(QStringLiteral("mail.example"));
    dialog->EditLogin->setText(QStringLiteral("me"));
    dialog->ComboBoxAuth->setCurrentIndex(dialog->ComboBoxAuth->findData(QStringLiteral("OAuth2")));
    dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QString()));
    dialog->EditOAuthAuthorizeUrl->setText(QStringLiteral("https://login.example/authorize"));
    dialog->EditOAuthTokenUrl->setText(QStringLiteral("https://login.example/token"));
    dialog->EditOAuthScope->setText(QStringLiteral("mail"));
    dialog->EditOAuthClientId->setText(QStringLiteral("client-1"));
    // No encryption: a token is never sent in the clear.
    dialog->ButtonAdd->click();
    QCOMPARE(m_host->messages.size(), 1);
    QVERIFY2(m_host->messages[0].contains(QStringLiteral("STARTTLS")), qPrintable(m_host->messages[0]));
    // A token endpoint that is neither https nor loopback, and a missing client ID.
    dialog->ComboBoxSecurity->setCurrentIndex(dialog->ComboBoxSecurity->findData(QStringLiteral("STARTTLS")));
    dialog->EditOAuthTokenUrl->setText(QStringLiteral("http://login.example/token"));
    dialog->ButtonAdd->click();
    QCOMPARE(m_host->messages.size(), 2);
    QVERIFY2(m_host->messages[1].contains(QStringLiteral("https")), qPrintable(m_host->messages[1]));
    dialog->EditOAuthTokenUrl->setText(QStringLiteral("https://login.example/token"));
    dialog->EditOAuthClientId->clear();
    dialog->ButtonAdd->click();
    QCOMPARE(m_host->messages.size(), 3);
    QVERIFY2(m_host->messages[2].contains(QStringLiteral("OAuthClientId")), qPrintable(m_host->messages[2]));
    QVERIFY(m_host->created.isEmpty());
    QCOMPARE(read("plain", "Host"), QStringLiteral("<missing>"));
    // Fixed, it is stored.
    dialog->EditOAuthClientId->setText(QStringLiteral("client-1"));
    dialog->ButtonAdd->click();
    QCOMPARE(m_host->messages.size(), 3);
    QCOMPARE(m_host->created, QStringList{QStringLiteral("plain")});
    QCOMPARE(read("plain", "Security"), QStringLiteral("STARTTLS"));
}

void tst_FormOption::signInNotes()
{
    const auto& services = TOAuthProvider::Shipped();
    if (!services.value(QStringLiteral("Gmail")).ClientId.isEmpty() ||
        !services.value(QStringLiteral("Outlook")).ClientId.isEmpty()) {
        QSKIP("built with a client ID");
    }
    auto dialog = open();
    QVERIFY(dialog->LabelOAuthNote->text().isEmpty());
    dialog->ComboBoxAuth->setCurrentIndex(dialog->ComboBoxAuth->findData(QStringLiteral("OAuth2")));
    dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QStringLiteral("Gmail")));
    const QString gmail = dialog->LabelOAuthNote->text();
    // No client ID built in: it says so, and that Gmail still takes an app password.
    QVERIFY2(gmail.contains(QStringLiteral("MAILVANE_GOOGLE_CLIENT_ID")) &&
                 gmail.contains(QStringLiteral("應用程式密碼")),
             qPrintable(gmail));
    dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QStringLiteral("Outlook")));
    const QString outlook = dialog->LabelOAuthNote->text();
    QVERIFY2(outlook.contains(QStringLiteral("MAILVANE_MICROSOFT_CLIENT_ID")) &&
                 !outlook.contains(QStringLiteral("應用程式密碼")),
             qPrintable(outlook));
    // The mailbox's own client ID makes it possible.
    dialog->EditOAuthClientId->setText(QStringLiteral("mine"));
    QVERIFY2(!dialog->LabelOAuthNote->text().contains(QStringLiteral("MAILVANE_")),
             qPrintable(dialog->LabelOAuthNote->text()));
    QVERIFY(dialog->LabelOAuthNote->text().contains(QStringLiteral("以瀏覽器登入")));
}

void tst_FormOption::signInFieldsReadable()
{
    auto dialog = open();
    dialog->ComboBoxAuth->setCurrentIndex(dialog->ComboBoxAuth->findData(QStringLiteral("OAuth2")));
    dialog->SelectPage(TFormOption::pgNetwork);
    dialog->show();
    for (int i = 0; i < dialog->ComboBoxOAuthProvider->count(); ++i) {
        dialog->ComboBoxOAuthProvider->setCurrentIndex(i);
        dialog->grab();
        for (QWidget* field : std::initializer_list<QWidget*>{
                 dialog->ComboBoxAuth, dialog->ComboBoxOAuthProvider, dialog->EditOAuthAuthorizeUrl,
                 dialog->EditOAuthTokenUrl, dialog->EditOAuthScope, dialog->EditOAuthClientId,
                 dialog->EditOAuthClientSecret, dialog->ComboBoxOAuthMechanism, dialog->ButtonAuthorize,
                 dialog->ButtonTestConnection, dialog->EditPassword, dialog->CheckBoxPush}) {
            QVERIFY2(field->isVisible() && field->height() >= field->sizeHint().height() &&
                         field->width() >= field->minimumSizeHint().width() &&
                         dialog->TabSheetNetwork->rect().contains(
                             QRect(field->mapTo(dialog->TabSheetNetwork, QPoint(0, 0)), field->size())),
                     qPrintable(field->objectName()));
        }
        // The note, whatever it says, has the lines it needs.
        QLabel* note = dialog->LabelOAuthNote;
        QVERIFY2(note->heightForWidth(note->width()) <= note->height(),
                 qPrintable(QStringLiteral("%1: %2 > %3")
                                .arg(note->text())
                                .arg(note->heightForWidth(note->width()))
                                .arg(note->height())));
    }
}

void tst_FormOption::authorizeInBrowser()
{
    TAuthServer server;
    QVERIFY(server.start());
    TTestBrowser browser;
    int opened = 0;
    TOAuthAccess access(nullptr);
    access.Opener = [&](const QUrl& url) {
        ++opened;
        return browser.open(url);
    };
    m_host->access = &access;
    auto dialog = open();
    dialog->EditName->setText(QStringLiteral("own"));
    dialog->EditHost->setText(QStringLiteral("127.0.0.1"));
    dialog->EditLogin->setText(QStringLiteral("me@example"));
    dialog->ComboBoxSecurity->setCurrentIndex(dialog->ComboBoxSecurity->findData(QStringLiteral("TLS")));
    // Nothing to sign in with a password.
    QVERIFY(!dialog->ButtonAuthorize->isEnabled());
    dialog->ComboBoxAuth->setCurrentIndex(dialog->ComboBoxAuth->findData(QStringLiteral("OAuth2")));
    dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QString()));
    dialog->EditOAuthAuthorizeUrl->setText(server.url(QStringLiteral("/authorize")).toString());
    dialog->EditOAuthTokenUrl->setText(server.url(QStringLiteral("/token")).toString());
    dialog->EditOAuthScope->setText(QStringLiteral("mail"));
    // Incomplete values are said in words and open no browser.
    dialog->ButtonAuthorize->click();
    QCOMPARE(m_host->messages.size(), 1);
    QVERIFY2(m_host->messages[0].contains(QStringLiteral("OAuthClientId")), qPrintable(m_host->messages[0]));
    QCOMPARE(opened, 0);

    dialog->EditOAuthClientId->setText(QStringLiteral("mailvane-test"));
    dialog->ButtonAuthorize->click();
    QCOMPARE(opened, 1);
    QCOMPARE(dialog->ButtonAuthorize->text(), QStringLiteral("取消登入"));
    QTRY_COMPARE_WITH_TIMEOUT(m_host->messages.size(), 2, 10000);
    QVERIFY2(m_host->messages[1].contains(QStringLiteral("已以瀏覽器登入")), qPrintable(m_host->messages[1]));
    QCOMPARE(dialog->ButtonAuthorize->text(), QStringLiteral("以瀏覽器登入"));
    // Authorized as typed, before anything was stored; the token is nowhere in the file.
    TAccount account;
    account.Name = QStringLiteral("own");
    account.Login = QStringLiteral("me@example");
    QVERIFY(access.HasRefreshToken(account));
    QCOMPARE(read("own", "Host"), QStringLiteral("<missing>"));
    dialog->ButtonAdd->click();
    QFile file(m_host->path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("OAuthTokenUrl"));
    for (const QByteArray& token : server.accessTokens() + server.refreshTokens()) {
        QVERIFY(!text.contains(token));
    }
    for (const QString& message : std::as_const(m_host->messages)) {
        for (const QByteArray& token : server.accessTokens() + server.refreshTokens()) {
            QVERIFY(!message.contains(QString::fromLatin1(token)));
        }
    }
}

void tst_FormOption::authorizeCancelled()
{
    TAuthServer server;
    QVERIFY(server.start());
    QList<QUrl> opened;
    TOAuthAccess access(nullptr);
    // A browser the user never answers in.
    access.Opener = [&](const QUrl& url) {
        opened << url;
        return true;
    };
    m_host->access = &access;
    {
        auto dialog = open();
        dialog->EditName->setText(QStringLiteral("own"));
        dialog->EditHost->setText(QStringLiteral("127.0.0.1"));
        dialog->EditLogin->setText(QStringLiteral("me"));
        dialog->ComboBoxSecurity->setCurrentIndex(dialog->ComboBoxSecurity->findData(QStringLiteral("TLS")));
        dialog->ComboBoxAuth->setCurrentIndex(dialog->ComboBoxAuth->findData(QStringLiteral("OAuth2")));
        dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QString()));
        dialog->EditOAuthAuthorizeUrl->setText(server.url(QStringLiteral("/authorize")).toString());
        dialog->EditOAuthTokenUrl->setText(server.url(QStringLiteral("/token")).toString());
        dialog->EditOAuthScope->setText(QStringLiteral("mail"));
        dialog->EditOAuthClientId->setText(QStringLiteral("mailvane-test"));
        dialog->ButtonAuthorize->click();
        QCOMPARE(opened.size(), 1);
        QVERIFY(access.Authorizing());
        // The same button cancels, and says how it ended.
        dialog->ButtonAuthorize->click();
        QTRY_COMPARE(m_host->messages.size(), 1);
        QVERIFY2(m_host->messages[0].contains(QStringLiteral("own")), qPrintable(m_host->messages[0]));
        QVERIFY(!access.Authorizing());
        QCOMPARE(dialog->ButtonAuthorize->text(), QStringLiteral("以瀏覽器登入"));

        // A dialog closed while its sign-in runs takes the sign-in with it.
        dialog->ButtonAuthorize->click();
        QCOMPARE(opened.size(), 2);
        QVERIFY(access.Authorizing());
    }
    QVERIFY(!access.Authorizing());
    TAccount account;
    account.Name = QStringLiteral("own");
    account.Login = QStringLiteral("me");
    QVERIFY(!access.HasRefreshToken(account));
}

void tst_FormOption::authorizedConnectionTest()
{
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    TTestCertificates pki;
    QVERIFY2(pki.Make(&why), qPrintable(why));
    TAuthServer auth;
    QVERIFY(auth.start());
    TDovecot server;
    server.SetImap(true);
    server.SetSsl(TDovecot::TSsl::Required, pki.Cert(QStringLiteral("selfsigned")),
                  pki.Key(QStringLiteral("selfsigned")));
    server.SetOAuth2(auth.url(QStringLiteral("/userinfo")).toString());
    QVERIFY2(server.Start(&why), qPrintable(why));
    auth.setUser(server.User());
    TTestBrowser browser;
    int opened = 0;
    TOAuthAccess access(nullptr);
    access.Opener = [&](const QUrl& url) {
        ++opened;
        return browser.open(url);
    };
    m_host->access = &access;
    QStringList shown;
    TModal::SetHook([&](QDialog* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        shown << (box ? box->text() : QString());
        d->accept();
    });

    auto dialog = open();
    dialog->EditName->setText(QStringLiteral("token"));
    dialog->EditHost->setText(QStringLiteral("127.0.0.1"));
    dialog->EditLogin->setText(server.User());
    dialog->ComboBoxProtocol->setCurrentIndex(dialog->ComboBoxProtocol->findData(QStringLiteral("IMAP")));
    dialog->ComboBoxSecurity->setCurrentIndex(dialog->ComboBoxSecurity->findData(QStringLiteral("TLS")));
    dialog->EditPort->setText(QString::number(server.ImapsPort()));
    dialog->EditCertSha256->setText(TTestCertificates::Fingerprint(pki.Cert(QStringLiteral("selfsigned"))));
    dialog->ComboBoxAuth->setCurrentIndex(dialog->ComboBoxAuth->findData(QStringLiteral("OAuth2")));
    dialog->ComboBoxOAuthProvider->setCurrentIndex(dialog->ComboBoxOAuthProvider->findData(QString()));
    dialog->EditOAuthAuthorizeUrl->setText(auth.url(QStringLiteral("/authorize")).toString());
    dialog->EditOAuthTokenUrl->setText(auth.url(QStringLiteral("/token")).toString());
    dialog->EditOAuthScope->setText(QStringLiteral("mail"));
    dialog->EditOAuthClientId->setText(QStringLiteral("mailvane-test"));
    dialog->ComboBoxOAuthMechanism->setCurrentIndex(
        dialog->ComboBoxOAuthMechanism->findData(QStringLiteral("OAUTHBEARER")));

    // Before the sign-in the test has no token and opens no browser.
    dialog->ButtonTestConnection->click();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(!shown[0].contains(QStringLiteral("連線成功")), qPrintable(shown[0]));
    QCOMPARE(opened, 0);

    dialog->ButtonAuthorize->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_host->messages.size(), 1, 10000);
    QVERIFY2(m_host->messages[0].contains(QStringLiteral("已以瀏覽器登入")), qPrintable(m_host->messages[0]));
    // Signed in: the test logs in to the real server with the token, as typed.
    dialog->ButtonTestConnection->click();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[1].contains(QStringLiteral("連線成功")), qPrintable(shown[1]));
    QCOMPARE(opened, 1);
}
