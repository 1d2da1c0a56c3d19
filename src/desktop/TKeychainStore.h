#pragma once

#include "settings/TPasswordStore.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <memory>

class QEventLoop;

// The desktop's keyring (Secret Service, KWallet) through QtKeychain. The session bus is
// asked first whether a keyring service runs or can be started; without one every call
// answers Unavailable at once. Otherwise the calls are asynchronous: each is waited for in
// a local event loop bounded by a time-out, taking user input too (an unlock prompt, the
// exit), so anything the program does meanwhile must expect the call to end with
// Unavailable.
class TKeychainStore : public TPasswordStore {
public:
    explicit TKeychainStore(QString service = QStringLiteral("Mailvane"), int timeoutMs = 20000);
    ~TKeychainStore() override;

    TResult Read(const QString& key, QString& password) override;
    TResult Write(const QString& key, const QString& password) override;
    TResult Remove(const QString& key) override;
    // Not bounded: a service that never answers only keeps the entry from being written
    // again meanwhile (done then gets Unavailable at once).
    void WriteInBackground(const QString& key, const QString& password, std::function<void(TResult)> done) override;

    void CancelWaits() override;

    // Whether the session bus has a keyring service running or able to start.
    static bool ServicePresent();

private:
    template <typename Job, typename Setup> TResult run(const QString& key, Setup setup, QString* text);

    QString m_service;
    int m_timeoutMs;
    QList<QPointer<QEventLoop>> m_waits;
    // Background writes still unanswered, by key; their answers go through m_answers.
    QSet<QString> m_writing;
    std::unique_ptr<QObject> m_answers = std::make_unique<QObject>();
};
