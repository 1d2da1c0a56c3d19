#pragma once

#include "settings/TPasswordStore.h"

#include <QList>
#include <QPointer>
#include <QString>

class QEventLoop;

// The desktop's keyring (Secret Service, KWallet) through QtKeychain. Its calls are
// asynchronous: each is waited for in a local event loop bounded by a time-out, so the
// program keeps running meanwhile and anything it does then must expect the call to end
// with Unavailable.
class TKeychainStore : public TPasswordStore {
public:
    explicit TKeychainStore(QString service = QStringLiteral("Mailvane"), int timeoutMs = 20000);
    ~TKeychainStore() override;

    TResult Read(const QString& key, QString& password) override;
    TResult Write(const QString& key, const QString& password) override;
    TResult Remove(const QString& key) override;

    void CancelWaits() override;

private:
    template <typename Job, typename Setup> TResult run(const QString& key, Setup setup, QString* text);

    QString m_service;
    int m_timeoutMs;
    QList<QPointer<QEventLoop>> m_waits;
};
