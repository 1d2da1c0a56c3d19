#pragma once

#include "settings/TPasswordStore.h"

#include <QMap>
#include <QString>

// A keyring in memory: entries by key, a switch that makes it behave as a missing service
// and one that makes only its writes fail.
class TMemoryPasswordStore : public TPasswordStore {
public:
    QMap<QString, QString> Entries;
    bool Available = true;
    bool WriteFails = false;
    int Calls = 0;

    TResult Read(const QString& key, QString& password) override
    {
        ++Calls;
        if (!Available) {
            return TResult::Unavailable;
        }
        if (!Entries.contains(key)) {
            return TResult::Missing;
        }
        password = Entries.value(key);
        return TResult::Done;
    }
    TResult Write(const QString& key, const QString& password) override
    {
        ++Calls;
        if (!Available || WriteFails) {
            return TResult::Unavailable;
        }
        Entries.insert(key, password);
        return TResult::Done;
    }
    TResult Remove(const QString& key) override
    {
        ++Calls;
        if (!Available) {
            return TResult::Unavailable;
        }
        return Entries.remove(key) > 0 ? TResult::Done : TResult::Missing;
    }
};
