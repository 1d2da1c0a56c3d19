#pragma once

#include "auth/TOAuthTokens.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Access tokens of the running program, by mailbox and login, in memory only. A token is
// usable until shortly before it expires, so that a login never starts with one about to
// lapse. Time is TClock's monotonic clock, which tests move forward.
class TOAuthTokenCache {
public:
    // How long before its expiry a token is no longer handed out (at most half its lifetime).
    static constexpr qint64 MarginMs = 60 * 1000;
    // A token whose lifetime the provider did not give is taken to last this long.
    static constexpr qint64 AssumedLifetimeS = 3600;

    static QString Key(const QString& mailbox, const QString& login);

    void Put(const QString& key, const TOAuthTokens& tokens);
    // The access token while it is usable; empty when there is none or it is too old.
    QByteArray Usable(const QString& key) const;
    void Forget(const QString& key);
    void Clear();

private:
    struct Entry {
        QByteArray AccessToken;
        qint64 UsableUntil = 0; // monotonic milliseconds
    };
    QHash<QString, Entry> m_entries;
};
