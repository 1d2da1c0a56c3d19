#include "desktop/TDesktopNotifier.h"
#include "testsupport/TFakeNotifications.h"
#include "testsupport/TPrivateBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QtTest>

#include <memory>

// The notifier against a notification service registered on a bus of the test's own.
class tst_DesktopNotifier : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void notifyCarriesCountSendersAndSubjects();
    void onlyItsOwnDefaultActionRestores();
    void withoutServiceNothingWaitsOrComplains();

private:
    std::unique_ptr<TPrivateBus> m_bus;
    QString m_serviceName;
    QString m_clientName;
};

void tst_DesktopNotifier::init()
{
    m_bus = std::make_unique<TPrivateBus>();
    QVERIFY2(m_bus->Start(), qPrintable(m_bus->Error()));
    static int round = 0;
    ++round;
    m_serviceName = QStringLiteral("service%1").arg(round);
    m_clientName = QStringLiteral("client%1").arg(round);
}

void tst_DesktopNotifier::cleanup()
{
    QDBusConnection::disconnectFromBus(m_serviceName);
    QDBusConnection::disconnectFromBus(m_clientName);
    m_bus.reset();
}

void tst_DesktopNotifier::notifyCarriesCountSendersAndSubjects()
{
    TFakeNotifications service(QDBusConnection::connectToBus(m_bus->Address(), m_serviceName));
    QVERIFY(service.Register());
    TDesktopNotifier notifier(QDBusConnection::connectToBus(m_bus->Address(), m_clientName));

    QList<TDesktopNotifier::TMail> mail;
    mail << TDesktopNotifier::TMail{QStringLiteral("王小明 <ming@example.org>"), QStringLiteral("<b>會議</b> & 午餐")};
    for (int i = 1; i <= 6; ++i) {
        mail << TDesktopNotifier::TMail{QStringLiteral("s%1@example.org").arg(i), QStringLiteral("subject\n%1").arg(i)};
    }
    notifier.Notify(9, mail);
    QTRY_COMPARE(service.Calls.size(), 1);
    const TFakeNotifications::TCall call = service.Calls.first();
    QCOMPARE(call.AppName, QStringLiteral("Mailvane"));
    QCOMPARE(call.Icon, QStringLiteral("mailvane"));
    QVERIFY2(call.Summary.contains(QLatin1String("9")), qPrintable(call.Summary));
    QVERIFY(call.Actions.contains(QStringLiteral("default")));
    QCOMPARE(call.Hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("mailvane"));

    const QStringList lines = call.Body.split(QLatin1Char('\n'));
    // The newest five, in the order given, and a line for the rest.
    QCOMPARE(lines.size(), TDesktopNotifier::MaxListed + 1);
    // Mail text is shown as text, never read as markup; a line break in a subject stays on its line.
    QCOMPARE(lines.at(0), QStringLiteral("王小明 &lt;ming@example.org&gt; — &lt;b&gt;會議&lt;/b&gt; &amp; 午餐"));
    QCOMPARE(lines.at(1), QStringLiteral("s1@example.org — subject 1"));
    QCOMPARE(lines.at(4), QStringLiteral("s4@example.org — subject 4"));
    QVERIFY2(lines.last().contains(QLatin1String("4")), qPrintable(lines.last()));

    // The next check's notification replaces this one rather than piling up (once the
    // service has said which one it is: the call is asynchronous).
    QTRY_COMPARE(notifier.ShownId(), call.Id);
    notifier.Notify(1, mail.mid(0, 1));
    QTRY_COMPARE(service.Calls.size(), 2);
    QCOMPARE(service.Calls.at(1).ReplacesId, call.Id);
    QCOMPARE(service.Calls.at(1).Body.split(QLatin1Char('\n')).size(), 1);
}

void tst_DesktopNotifier::onlyItsOwnDefaultActionRestores()
{
    TFakeNotifications service(QDBusConnection::connectToBus(m_bus->Address(), m_serviceName));
    QVERIFY(service.Register());
    TDesktopNotifier notifier(QDBusConnection::connectToBus(m_bus->Address(), m_clientName));
    QStringList activated; // the activation tokens handed on
    notifier.OnActivated = [&](const QString& token) { activated << token; };

    notifier.Notify(2, {{QStringLiteral("a"), QStringLiteral("b")}});
    QTRY_COMPARE(service.Calls.size(), 1);
    const uint ours = service.Calls.first().Id;
    // Another program's notification and another action come first; the signals arrive in
    // order, so when our own activation has been seen the others have been too.
    service.SendActivationToken(ours + 1, QStringLiteral("theirs"));
    service.InvokeAction(ours + 1, QStringLiteral("default"));
    service.SendActivationToken(ours, QStringLiteral("for-reply"));
    service.InvokeAction(ours, QStringLiteral("reply"));
    service.SendActivationToken(ours, QStringLiteral("wl-token-1"));
    service.InvokeAction(ours, QStringLiteral("default"));
    QTRY_COMPARE(activated.size(), 1);
    QCOMPARE(activated.first(), QStringLiteral("wl-token-1"));
    // A token serves one activation: a server that sends none gives none.
    service.InvokeAction(ours + 7, QStringLiteral("default"));
    service.InvokeAction(ours, QStringLiteral("default"));
    QTRY_COMPARE(activated.size(), 2);
    QCOMPARE(activated.at(1), QString());
}

void tst_DesktopNotifier::withoutServiceNothingWaitsOrComplains()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    TDesktopNotifier notifier(QDBusConnection::connectToBus(m_bus->Address(), m_clientName));
    QElapsedTimer clock;
    clock.start();
    notifier.Notify(3, {{QStringLiteral("a"), QStringLiteral("b")}});
    // The call is sent, not waited for.
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    // The bus handles one connection's messages in order: once it answers this, the
    // notification has met the missing service.
    QVERIFY(
        !QDBusConnection(m_clientName).interface()->isServiceRegistered(QStringLiteral("org.example.none")).value());

    // A service that appears later gets the next notification only: the first was not
    // queued, and the failed one left nothing to replace.
    TFakeNotifications service(QDBusConnection::connectToBus(m_bus->Address(), m_serviceName));
    QVERIFY(service.Register());
    notifier.Notify(1, {{QStringLiteral("c"), QStringLiteral("d")}});
    QTRY_COMPARE(service.Calls.size(), 1);
    QCOMPARE(service.Calls.first().ReplacesId, 0u);
    QVERIFY(service.Calls.first().Summary.contains(QLatin1String("1")));

    // No bus at all: nothing either.
    TDesktopNotifier unconnected(QDBusConnection(QStringLiteral("no such connection")));
    unconnected.Notify(1, {});
}

QTEST_GUILESS_MAIN(tst_DesktopNotifier)
#include "tst_DesktopNotifier.moc"
