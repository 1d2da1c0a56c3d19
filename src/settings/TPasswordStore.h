#pragma once

#include <QString>

#include <functional>

// A place for secrets outside the settings file (the desktop's keyring). Every call may
// wait for the service; an implementation must bound that wait.
class TPasswordStore {
public:
    virtual ~TPasswordStore() = default;

    enum class TResult { Done, Missing, Unavailable };

    // Done with the password, Missing when the key has no entry, Unavailable when there is
    // no service or it failed.
    virtual TResult Read(const QString& key, QString& password) = 0;
    // Done or Unavailable.
    virtual TResult Write(const QString& key, const QString& password) = 0;
    // Done, Missing (nothing to remove) or Unavailable.
    virtual TResult Remove(const QString& key) = 0;
    // Write without waiting for the service: done, when given, gets Done or Unavailable once
    // the answer is known, later from the event loop, or never when the store goes first.
    virtual void WriteInBackground(const QString& key, const QString& password, std::function<void(TResult)> done)
    {
        const TResult result = Write(key, password);
        if (done) {
            done(result);
        }
    }
    // Ends every call still waiting, with Unavailable (the program is ending).
    virtual void CancelWaits() {}
};
