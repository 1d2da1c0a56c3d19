// Push latency through the real windows, offscreen: a main window with one IMAP mailbox in
// push against a private Dovecot and a notification service on a private bus. Messages are
// delivered into the Maildir one at a time, no key pressed; each is timed from delivery to
// the first paint of the mailbox window's list that shows its row, and to the desktop
// notification the service receives.
//   bench_PushLatency [deliveries=20]
// Prints one line per delivery, then "row_median_ms=", "row_p95_ms=", "notify_median_ms=",
// "notify_p95_ms=" and "notifications=" (the count for the deliveries, one each expected).
#include "app/TFormMain.h"
#include "desktop/TDesktopNotifier.h"
#include "mailbox/TFormMailList.h"
#include "settings/TIniFile.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TFakeNotifications.h"
#include "testsupport/TPrivateBus.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// Stamps the first paint after which the list holds a row with the awaited subject.
class TPaintWatch : public QObject {
public:
    TPaintWatch(TFormMailList& form, QElapsedTimer& clock) : m_form(form), m_clock(clock)
    {
        m_form.ColorStringGrid->viewport()->installEventFilter(this);
    }
    void Await(const QString& subject)
    {
        m_subject = subject;
        ShownMs = -1;
    }
    qint64 ShownMs = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && ShownMs < 0 && !m_subject.isEmpty() && holds()) {
            ShownMs = m_clock.elapsed();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool holds() const
    {
        for (int row = m_form.MessageRows(); row >= 1; --row) {
            if (m_form.ColorStringGrid->Cells(5, row) == m_subject) {
                return m_form.Marker(row) == QLatin1String("*");
            }
        }
        return false;
    }

    TFormMailList& m_form;
    QElapsedTimer& m_clock;
    QString m_subject;
};

// Runs the event loop until done() holds or timeoutMs pass; false on time-out.
bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

qint64 percentile(QList<qint64> values, double share)
{
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least this share of values at or below it.
    const auto rank = qsizetype(std::ceil(share * double(values.size())));
    return values.isEmpty() ? -1 : values.at(std::clamp<qsizetype>(rank - 1, 0, values.size() - 1));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int deliveries = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    TDovecot server;
    server.SetImap(true);
    if (!server.Start(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    server.AddMessage(TDovecot::MakeMessage("<start@bench>", "Start <s@bench>", "Start"));
    TPrivateBus bus;
    if (!bus.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(bus.Error()));
        return 1;
    }
    QStringList dialogs;
    TModal::SetHook([&dialogs](QDialog* dialog) {
        dialogs << dialog->windowTitle();
        dialog->reject();
    });
    int failures = 0;
    {
        TFakeNotifications service(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("service")));
        if (!service.Register()) {
            std::fprintf(stderr, "cannot register the notification service\n");
            return 1;
        }
        TDesktopNotifier notifier(QDBusConnection::connectToBus(bus.Address(), QStringLiteral("client")));
        QElapsedTimer clock;
        clock.start();
        qint64 notifiedMs = -1;
        QObject::connect(&service, &TFakeNotifications::Called, [&] { notifiedMs = clock.elapsed(); });

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
        {
            TIniFile ini(path);
            ini.WriteString(QStringLiteral("Option"), QStringLiteral("StartupCheck"), QStringLiteral("0"));
            ini.WriteString(QStringLiteral("Option"), QStringLiteral("ShowWelcome"), QStringLiteral("0"));
            ini.WriteString(QStringLiteral("Option"), QStringLiteral("UseKeyring"), QStringLiteral("0"));
            ini.WriteString(QStringLiteral("Option"), QStringLiteral("NoSound"), QStringLiteral("1"));
            ini.WriteString(QStringLiteral("Schedule"), QStringLiteral("AutoCheck"), QStringLiteral("60"));
            ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("10"));
            ini.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("Box"));
            ini.WriteString(QStringLiteral("Box"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
            ini.WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QString::number(server.ImapPort()));
            ini.WriteString(QStringLiteral("Box"), QStringLiteral("Protocol"), QStringLiteral("IMAP"));
            ini.WriteString(QStringLiteral("Box"), QStringLiteral("Login"), server.User());
        }
        TFormMain main(path);
        main.show();
        main.CreateStatusWindow();
        main.Startings();
        main.SetDesktop(nullptr, &notifier);
        if (main.MailboxWindows().size() != 1) {
            std::fprintf(stderr, "no mailbox window\n");
            return 1;
        }
        TFormMailList& form = *main.MailboxWindows().first();
        form.SetPassword(server.Password());
        main.MenuCheck->trigger();
        if (!runUntil([&] { return form.MessageRows() == 1 && form.PushActive() && notifiedMs >= 0; }, 15000)) {
            std::fprintf(stderr, "the first check or push did not come up (%d rows, push %d, notified %d)\n",
                         form.MessageRows(), int(form.PushActive()), int(notifiedMs >= 0));
            return 1;
        }
        TPaintWatch paints(form, clock);
        const qsizetype before = service.Calls.size();
        QList<qint64> rows;
        QList<qint64> notes;
        for (int n = 1; n <= deliveries; ++n) {
            const QByteArray subject = "Pushed " + QByteArray::number(n);
            notifiedMs = -1;
            paints.Await(QString::fromLatin1(subject));
            clock.start();
            server.AddMessage(TDovecot::MakeMessage("<p" + QByteArray::number(n) + "@bench>", "P <p@bench>", subject));
            const bool both = runUntil([&] { return paints.ShownMs >= 0 && notifiedMs >= 0; }, 10000);
            std::printf("delivery %2d: row %lld ms, notification %lld ms%s\n", n, paints.ShownMs, notifiedMs,
                        both ? "" : " (TIMED OUT)");
            std::fflush(stdout);
            if (!both) {
                ++failures;
                continue;
            }
            rows.append(paints.ShownMs);
            notes.append(notifiedMs);
            // Late news of this delivery would be counted with the next one.
            runUntil([&] { return !form.InSession(); }, 10000);
        }
        std::printf("row_median_ms=%lld\nrow_p95_ms=%lld\nnotify_median_ms=%lld\nnotify_p95_ms=%lld\n"
                    "notifications=%lld\ndeliveries=%d\n",
                    percentile(rows, 0.5), percentile(rows, 0.95), percentile(notes, 0.5), percentile(notes, 0.95),
                    static_cast<long long>(service.Calls.size() - before), deliveries);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    TModal::SetHook({});
    if (!dialogs.isEmpty()) {
        std::fprintf(stderr, "dialogs: %s\n", qPrintable(dialogs.join(QLatin1String(", "))));
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
