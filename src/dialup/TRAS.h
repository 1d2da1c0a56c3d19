#pragma once

#include "dialup/RasRecords.h"
#include "dialup/TConnectionList.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QEvent;
class TRasNotifyWindow;

// Dial-up component: dials a phone-book entry asynchronously and follows its progress,
// reads its connection's state, lists the entries and the active connections, gives
// the texts of error codes and states, and hangs up. Failures are result codes kept
// in LastError, never exceptions.
class TRAS : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TRAS* Sender)>;
    using TRasStateEvent = std::function<void(TRAS* Sender, int Error, const QString& ErrorString)>;

    explicit TRAS(QObject* parent = nullptr);
    ~TRAS() override;

    QString EntryName;
    QString PhoneNumber;
    QString PhoneBookPath() const { return m_phoneBookPath; }
    // Stores the path, then re-reads the entries from that phone book.
    void SetPhoneBookPath(const QString& path);
    QString CallbackNumber;
    QString UserName;
    QString Password;
    // Only stored; the caller redials.
    int RedialAttempts = 1;
    QString Domain;
    QString DeviceType;
    QString DeviceName;

    TNotifyEvent OnConnect;
    TRasStateEvent OnDisconnect;
    TNotifyEvent OnCallBack;
    TNotifyEvent OnAboutToOpenPort;
    TNotifyEvent OnPortOpened;
    TNotifyEvent OnAboutToConnDev;
    TNotifyEvent OnDevConnected;
    TNotifyEvent OnAllDevsConnected;
    TNotifyEvent OnAuthenticate;
    TNotifyEvent OnAuthNotify;
    TNotifyEvent OnAuthRetry;
    TNotifyEvent OnAuthCallBack;
    TNotifyEvent OnAuthChangePassword;
    TNotifyEvent OnAuthProject;
    TNotifyEvent OnAuthLinkSpeed;
    TNotifyEvent OnAuthAck;
    TNotifyEvent OnReAuthenticate;
    TNotifyEvent OnAuthenticated;
    TNotifyEvent OnPrepareforCallback;
    TNotifyEvent OnWaitForModemReset;
    TNotifyEvent OnInteractiveStarted;
    TNotifyEvent OnRetryAuth;
    TNotifyEvent OnPasswordExpired;

    // The connection dialled here or adopted at start-up; 0 for none.
    RASHANDLE ConnectionHandle = 0;
    // Low 16 bits of the platform's state, 8192 connected, 8193 disconnected.
    quint16 ConnectionState = 0;
    int LastError = 0;
    QStringList PhoneBookEntries;
    TConnectionList Connections;
    // Present from a dial until the next hang-up.
    QObject* NotifyWindow() const;
    // The event type dial progress arrives as.
    const int DialEventMessage;

    int Dial();
    int HangUp();
    int HangUpSilently();
    // Does nothing and answers 0 while no connection is held.
    int GetConnectStatus();
    int GetConnections();
    int GetPhoneBookEntries();
    QString GetErrorString(int code);
    QString StatusText();

    // Handles what reaches NotifyWindow; false for anything that is not dial progress
    // of a held connection, which then gets the default handling.
    bool DialEventHandler(QEvent* event);

    static int RegisteredDialEventMessage();

private:
    int hangUp(bool notify);
    void destroyNotifyWindow();
    void raiseDisconnect(RASHANDLE handle);
    TNotifyEvent* stateEvent(int state);
    QString libraryErrorText(int code);

    QString m_phoneBookPath;
    TRasNotifyWindow* m_notifyWindow = nullptr;
};
