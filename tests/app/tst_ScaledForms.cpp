#include "app/TFormMain.h"
#include "mailbox/TFormPassword.h"
#include "options/TFormOption.h"
#include "settings/TIniFile.h"
#include "settings/TLanguage.h"
#include "welcome/TFormWelcome.h"
#include "widgets/TModal.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

// Every form, laid out and grabbed offscreen, shows each label's and button's text whole;
// run once as is, once with QT_SCALE_FACTOR=2 and once in English.
class tst_ScaledForms : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void textsFit_data();
    void textsFit();

private:
    // The labels and buttons of window (all its pages) whose text needs more room than it has.
    static QStringList cut(QWidget* window);

    QTemporaryDir* m_dir = nullptr;
    TFormMain* m_main = nullptr;
};

void tst_ScaledForms::init()
{
    // Also run in another language than the texts as written (ctest sets it).
    const QString language = qEnvironmentVariable("MV_TEST_LANGUAGE");
    if (!language.isEmpty()) {
        QVERIFY(TLanguage::Install(qApp, language));
    }
    m_dir = new QTemporaryDir;
    const QString ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile f(ini);
    f.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    f.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("Inbox"));
    m_main = new TFormMain(ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
}

void tst_ScaledForms::cleanup()
{
    TModal::SetHook({});
    delete m_main;
    m_main = nullptr;
    delete m_dir;
    TLanguage::Uninstall(qApp);
}

QStringList tst_ScaledForms::cut(QWidget* window)
{
    QStringList found;
    // Each page of a tab widget in turn, so that its widgets are laid out and shown.
    QList<QTabWidget*> tabs = window->findChildren<QTabWidget*>();
    const int pages = tabs.isEmpty() ? 1 : tabs.first()->count();
    for (int page = 0; page < pages; ++page) {
        if (!tabs.isEmpty()) {
            tabs.first()->setCurrentIndex(page);
        }
        window->grab();
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty() || label->pixmap().cacheKey() != 0) {
                continue;
            }
            const QSize room = label->contentsRect().size();
            const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                                : label->sizeHint().width() <= label->width() + 1 &&
                                                      label->minimumSizeHint().height() <= label->height() + 1;
            if (!fits) {
                found << QStringLiteral("%1 \"%2\" %3x%4 needs %5x%6")
                             .arg(label->objectName(), label->text())
                             .arg(room.width())
                             .arg(room.height())
                             .arg(label->sizeHint().width())
                             .arg(label->sizeHint().height());
            }
        }
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (!button->isVisible() || button->text().isEmpty()) {
                continue;
            }
            // A push button's hint has a style minimum beyond its text; the text itself must fit.
            const bool push = qobject_cast<QPushButton*>(button) != nullptr;
            const int needed =
                push ? button->fontMetrics().horizontalAdvance(button->text()) + 8 : button->sizeHint().width();
            if (needed > button->width() + 1) {
                found << QStringLiteral("%1 \"%2\" %3 wide needs %4")
                             .arg(button->objectName(), button->text())
                             .arg(button->width())
                             .arg(needed);
            }
        }
    }
    found.removeDuplicates();
    return found;
}

void tst_ScaledForms::textsFit_data()
{
    QTest::addColumn<QString>("form");
    for (const char* form : {"main", "options", "welcome", "password"}) {
        QTest::newRow(form) << QString::fromLatin1(form);
    }
}

void tst_ScaledForms::textsFit()
{
    QFETCH(QString, form);
    QStringList found;
    if (form == QLatin1String("main")) {
        found = cut(m_main);
    } else {
        // Modal forms are checked while they are open, then closed.
        TModal::SetHook([&](QDialog* d) {
            found = cut(d);
            d->reject();
        });
        if (form == QLatin1String("options")) {
            m_main->MenuOptionPagesClick(m_main->MenuGeneral);
        } else if (form == QLatin1String("welcome")) {
            TFormWelcome dialog(true, m_main);
            TModal::Exec(&dialog);
        } else {
            TFormPassword dialog(&m_main->MailHost(), {}, m_main);
            dialog.SetName(QStringLiteral("Inbox"));
            TModal::Exec(&dialog);
        }
    }
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

QTEST_MAIN(tst_ScaledForms)
#include "tst_ScaledForms.moc"
