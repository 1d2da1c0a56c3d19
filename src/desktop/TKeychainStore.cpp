#include "desktop/TKeychainStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

namespace {

// The Secret Service, and KWallet, which QtKeychain uses on a KDE desktop.
const char* const kServices[] = {"org.freedesktop.secrets", "org.kde.kwalletd5"};

} // namespace

bool TKeychainStore::ServicePresent()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon) {
        return false;
    }
    for (const char* name : kServices) {
        const QDBusReply<bool> running = daemon->isServiceRegistered(QLatin1String(name));
        if (running.isValid() && running.value()) {
            return true;
        }
    }
    const QDBusReply<QStringList> startable = daemon->activatableServiceNames();
    if (startable.isValid()) {
        for (const char* name : kServices) {
            if (startable.value().contains(QLatin1String(name))) {
                return true;
            }
        }
    }
    return false;
}

TKeychainStore::TKeychainStore(QString service, int timeoutMs) : m_service(std::move(service)), m_timeoutMs(timeoutMs)
{
}

TKeychainStore::~TKeychainStore()
{
    CancelWaits();
}

void TKeychainStore::CancelWaits()
{
    for (const QPointer<QEventLoop>& loop : std::as_const(m_waits)) {
        if (loop) {
            loop->exit(1);
        }
    }
}

template <typename Job, typename Setup>
TPasswordStore::TResult TKeychainStore::run(const QString& key, Setup setup, QString* text)
{
    // Without a service the client library may wait long for one that never comes.
    if (!ServicePresent()) {
        return TResult::Unavailable;
    }
    // The job deletes itself once finished, also when nobody waits for it any more.
    auto* job = new Job(m_service);
    job->setAutoDelete(true);
    // Never the plain-file fallback: without a keyring the settings file keeps the
    // scrambled password as before.
    job->setInsecureFallback(false);
    job->setKey(key);
    setup(*job);

    QEventLoop loop;
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        finished = true;
        error = done->error();
        if (text && error == QKeychain::NoError) {
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) {
                *text = read->textData();
            }
        }
        loop.exit(0);
    });
    QTimer::singleShot(m_timeoutMs, &loop, [&loop] { loop.exit(1); });
    m_waits.append(&loop);
    const auto forget = qScopeGuard([this, &loop] { m_waits.removeAll(QPointer<QEventLoop>(&loop)); });
    job->start();
    // A job that fails at once may have finished already. User input stays on: the exit
    // must reach the program, and an unlock prompt may be waiting for the user.
    if (!finished) {
        loop.exec();
    }
    if (!finished) {
        return TResult::Unavailable;
    }
    switch (error) {
    case QKeychain::NoError:
        return TResult::Done;
    case QKeychain::EntryNotFound:
        return TResult::Missing;
    default:
        return TResult::Unavailable;
    }
}

TPasswordStore::TResult TKeychainStore::Read(const QString& key, QString& password)
{
    QString text;
    const TResult result = run<QKeychain::ReadPasswordJob>(
        key, [](QKeychain::ReadPasswordJob&) {}, &text);
    if (result == TResult::Done) {
        password = text;
    }
    return result;
}

TPasswordStore::TResult TKeychainStore::Write(const QString& key, const QString& password)
{
    const TResult result = run<QKeychain::WritePasswordJob>(
        key, [&password](QKeychain::WritePasswordJob& job) { job.setTextData(password); }, nullptr);
    return result == TResult::Done ? TResult::Done : TResult::Unavailable;
}

void TKeychainStore::WriteInBackground(const QString& key, const QString& password, std::function<void(TResult)> done)
{
    if (m_writing.contains(key) || !ServicePresent()) {
        if (done) {
            done(TResult::Unavailable);
        }
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(m_service);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    job->setTextData(password);
    m_writing.insert(key);
    QObject::connect(job, &QKeychain::Job::finished, m_answers.get(),
                     [this, key, done = std::move(done)](QKeychain::Job* finished) {
                         m_writing.remove(key);
                         if (done) {
                             done(finished->error() == QKeychain::NoError ? TResult::Done : TResult::Unavailable);
                         }
                     });
    job->start();
}

TPasswordStore::TResult TKeychainStore::Remove(const QString& key)
{
    return run<QKeychain::DeletePasswordJob>(
        key, [](QKeychain::DeletePasswordJob&) {}, nullptr);
}
