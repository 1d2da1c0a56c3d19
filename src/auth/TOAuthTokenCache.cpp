#include "auth/TOAuthTokenCache.h"

#include "core/TClock.h"

QString TOAuthTokenCache::Key(const QString& mailbox, const QString& login)
{
    // A mailbox name is one line, so the line break cannot be part of it.
    return mailbox + QLatin1Char('\n') + login;
}

void TOAuthTokenCache::Put(const QString& key, const TOAuthTokens& tokens)
{
    if (tokens.AccessToken.isEmpty()) {
        m_entries.remove(key);
        return;
    }
    const qint64 lifetimeMs = (tokens.ExpiresIn < 0 ? AssumedLifetimeS : tokens.ExpiresIn) * 1000;
    const qint64 margin = qMin(MarginMs, lifetimeMs / 2);
    m_entries.insert(key, Entry{tokens.AccessToken, tokens.ReceivedAt + lifetimeMs - margin});
}

QByteArray TOAuthTokenCache::Usable(const QString& key) const
{
    const auto it = m_entries.constFind(key);
    if (it == m_entries.cend() || TClock::Monotonic() >= it->UsableUntil) {
        return QByteArray();
    }
    return it->AccessToken;
}

void TOAuthTokenCache::Forget(const QString& key)
{
    m_entries.remove(key);
}

void TOAuthTokenCache::Clear()
{
    m_entries.clear();
}
