#include "dialup/TRAS.h"

#include "dialup/TRasApi.h"
#include "dialup/TRasDialEvent.h"
#include "dialup/TRasNotifyWindow.h"

#include <QEvent>
#include <cstring>

namespace {

const int kFallbackDialEventMessage = 52429;
const int kMaxConnections = 4;
const int kMaxEntries = 20;

// Copies text into a fixed ANSI field, cut to at most maxBytes without splitting a character.
void copyField(char* field, size_t fieldSize, const QString& text, int maxBytes)
{
    std::memset(field, 0, fieldSize);
    QString cut = text.left(maxBytes);
    QByteArray bytes = cut.toLocal8Bit();
    while (bytes.size() > maxBytes) {
        cut.chop(1);
        bytes = cut.toLocal8Bit();
    }
    std::memcpy(field, bytes.constData(), static_cast<size_t>(bytes.size()));
}

template <size_t N> QString fieldText(const char (&field)[N])
{
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(qstrnlen(field, N)));
}

} // namespace

int TRAS::RegisteredDialEventMessage()
{
    // One number per process, as a registered message name gives.
    static const int message = [] {
        const int type = QEvent::registerEventType();
        return type < 0 ? kFallbackDialEventMessage : type;
    }();
    return message;
}

TRAS::TRAS(QObject* parent) : QObject(parent), DialEventMessage(RegisteredDialEventMessage()) {}

TRAS::~TRAS()
{
    HangUpSilently();
    PhoneBookEntries.clear();
    Connections.Clear();
}

QObject* TRAS::NotifyWindow() const
{
    return m_notifyWindow;
}

void TRAS::SetPhoneBookPath(const QString& path)
{
    m_phoneBookPath = path;
    GetPhoneBookEntries();
}

int TRAS::Dial()
{
    if (ConnectionHandle != 0) {
        HangUpSilently();
    }
    if (!m_notifyWindow) {
        m_notifyWindow = new TRasNotifyWindow(this);
    }
    ConnectionHandle = 0;

    RASDIALPARAMS params;
    std::memset(&params, 0, sizeof(params));
    params.dwSize = sizeof(RASDIALPARAMS);
    copyField(params.szEntryName, sizeof(params.szEntryName), EntryName, RAS_MaxEntryName);
    copyField(params.szPhoneNumber, sizeof(params.szPhoneNumber), PhoneNumber, RAS_MaxPhoneNumber);
    copyField(params.szCallbackNumber, sizeof(params.szCallbackNumber), CallbackNumber, RAS_MaxCallbackNumber);
    copyField(params.szUserName, sizeof(params.szUserName), UserName, RAS_MaxUserName);
    copyField(params.szPassword, sizeof(params.szPassword), Password, RAS_MaxPassword);
    copyField(params.szDomain, sizeof(params.szDomain), Domain, RAS_MaxDomain);

    const QByteArray phoneBook = m_phoneBookPath.toLocal8Bit();
    RASNOTIFYWINDOW notifier = m_notifyWindow->Notifier(static_cast<uint32_t>(DialEventMessage));
    LastError = TRasApi::RasDialA(nullptr, phoneBook.isEmpty() ? nullptr : phoneBook.constData(), &params,
                                  RAS_NOTIFIER_WINDOW, &notifier, &ConnectionHandle);
    // The password does not linger on the stack.
    std::memset(&params, 0, sizeof(params));
    return LastError;
}

int TRAS::HangUp()
{
    return hangUp(true);
}

int TRAS::HangUpSilently()
{
    return hangUp(false);
}

int TRAS::hangUp(bool notify)
{
    const RASHANDLE handle = ConnectionHandle;
    const int result = handle != 0 ? TRasApi::RasHangUpA(handle) : 0;
    ConnectionHandle = 0;
    destroyNotifyWindow();
    LastError = result;
    if (notify && OnDisconnect) {
        raiseDisconnect(handle);
    }
    return result;
}

void TRAS::destroyNotifyWindow()
{
    if (!m_notifyWindow) {
        return;
    }
    TRasNotifyWindow* window = m_notifyWindow;
    m_notifyWindow = nullptr;
    window->Detach();
    // A handler of the window's own event may be what hangs up.
    if (window->Dispatching()) {
        window->deleteLater();
    } else {
        delete window;
    }
}

void TRAS::raiseDisconnect(RASHANDLE handle)
{
    // Ask about the connection that just went, not about "no connection", so the
    // handler gets that connection's code and its text.
    RASCONNSTATUS status;
    std::memset(&status, 0, sizeof(status));
    status.dwSize = sizeof(RASCONNSTATUS);
    const int result = TRasApi::RasGetConnectStatusA(handle, &status);
    OnDisconnect(this, result, libraryErrorText(result));
}

int TRAS::GetConnectStatus()
{
    if (ConnectionHandle == 0) {
        return 0;
    }
    RASCONNSTATUS status;
    std::memset(&status, 0, sizeof(status));
    status.dwSize = sizeof(RASCONNSTATUS);
    const int result = TRasApi::RasGetConnectStatusA(ConnectionHandle, &status);
    if (result == 0) {
        DeviceName = fieldText(status.szDeviceName);
        DeviceType = fieldText(status.szDeviceType);
        ConnectionState = static_cast<quint16>(status.rasconnstate & 0xFFFF);
        LastError = static_cast<int>(status.dwError);
    } else {
        LastError = result;
    }
    return LastError;
}

int TRAS::GetConnections()
{
    Connections.Clear();
    RASCONN buffer[kMaxConnections];
    std::memset(buffer, 0, sizeof(buffer));
    buffer[0].dwSize = sizeof(RASCONN);
    uint32_t size = sizeof(buffer);
    uint32_t count = 0;
    LastError = TRasApi::RasEnumConnectionsA(buffer, &size, &count);
    if (LastError == 0 || LastError == RAS_ErrorBufferTooSmall) {
        const RASCONN* record = buffer;
        for (uint32_t i = 0; i < count && i < kMaxConnections; ++i) {
            record = Connections.AddConnection(record);
        }
    }
    return LastError;
}

int TRAS::GetPhoneBookEntries()
{
    PhoneBookEntries.clear();
    RASENTRYNAME buffer[kMaxEntries];
    std::memset(buffer, 0, sizeof(buffer));
    buffer[0].dwSize = sizeof(RASENTRYNAME);
    uint32_t size = sizeof(buffer);
    uint32_t count = 0;
    const QByteArray phoneBook = m_phoneBookPath.toLocal8Bit();
    LastError =
        TRasApi::RasEnumEntriesA(nullptr, phoneBook.isEmpty() ? nullptr : phoneBook.constData(), buffer, &size, &count);
    if (LastError == 0 || LastError == RAS_ErrorBufferTooSmall) {
        for (uint32_t i = 0; i < count && i < kMaxEntries; ++i) {
            const QString name = fieldText(buffer[i].szEntryName);
            if (!name.isEmpty()) {
                PhoneBookEntries.append(name);
            }
        }
    }
    return LastError;
}

QString TRAS::libraryErrorText(int code)
{
    char buffer[257];
    std::memset(buffer, 0, sizeof(buffer));
    TRasApi::RasGetErrorStringA(static_cast<uint32_t>(code), buffer, 256);
    const QString text = fieldText(buffer);
    return text.isEmpty() ? QStringLiteral("Status Unknown") : text;
}

QString TRAS::GetErrorString(int code)
{
    if (ConnectionHandle == 0) {
        return QString();
    }
    return libraryErrorText(code);
}

QString TRAS::StatusText()
{
    if (ConnectionHandle == 0) {
        return QStringLiteral("Not Active");
    }
    GetConnectStatus();
    if (LastError >= 600) {
        return GetErrorString(LastError);
    }
    if (LastError == RAS_ErrorInvalidHandle) {
        return QStringLiteral("Invalid Handle");
    }
    if (LastError == RAS_ErrorNotEnoughMemory) {
        return QStringLiteral("Not enough memory");
    }
    if (LastError != 0) {
        return QString();
    }
    switch (ConnectionState) {
    case 0:
        return QStringLiteral("Opening Port");
    case 1:
        return QStringLiteral("Port Opened");
    case 2:
        return QStringLiteral("Using Device: ") + DeviceName + QStringLiteral(" - ") + DeviceType;
    case 3:
        return QStringLiteral("Device is connected");
    case 4:
        return QStringLiteral("All Required Devices Connected");
    case 5:
        return QStringLiteral("Validating User/Password/Domain");
    case 6:
        return QStringLiteral("Authentication Notification");
    case 8:
        return QStringLiteral("Authentication Call Back");
    case 10:
        return QStringLiteral("Project");
    case 11:
        return QStringLiteral("Calculating Link speed");
    case 12:
        return QStringLiteral("Authentication acknowledged");
    case 13:
        return QStringLiteral("Reauthenticating");
    case 14:
        return QStringLiteral("Login Authenticated");
    case 15:
        return QStringLiteral("Preparing for Callback");
    case 16:
        return QStringLiteral("Waiting for Modem Reset");
    case 17:
        return QStringLiteral("Waiting for Callback");
    default:
        return QString();
    }
}

TRAS::TNotifyEvent* TRAS::stateEvent(int state)
{
    switch (state) {
    case 0:
        return &OnAboutToOpenPort;
    case 1:
        return &OnPortOpened;
    case 2:
        return &OnAboutToConnDev;
    case 3:
        return &OnDevConnected;
    case 4:
        return &OnAllDevsConnected;
    case 5:
        return &OnAuthenticate;
    case 6:
        return &OnAuthNotify;
    case 7:
        return &OnAuthRetry;
    case 8:
        return &OnAuthCallBack;
    case 9:
        return &OnAuthChangePassword;
    case 10:
        return &OnAuthProject;
    case 11:
        return &OnAuthLinkSpeed;
    case 12:
        return &OnAuthAck;
    case 13:
        return &OnReAuthenticate;
    case 14:
        return &OnAuthenticated;
    case 15:
        return &OnPrepareforCallback;
    case 16:
        return &OnWaitForModemReset;
    case 17:
        return &OnCallBack;
    case 4096:
        return &OnInteractiveStarted;
    case 4097:
        return &OnRetryAuth;
    case 4099:
        return &OnPasswordExpired;
    case RAS_StateConnected:
        return &OnConnect;
    default:
        return nullptr;
    }
}

bool TRAS::DialEventHandler(QEvent* event)
{
    auto* dialEvent = dynamic_cast<TRasDialEvent*>(event);
    if (!dialEvent || event->type() != DialEventMessage || ConnectionHandle == 0) {
        return false;
    }
    if (dialEvent->Error != 0) {
        LastError = static_cast<int>(dialEvent->Error);
    } else {
        ConnectionState = static_cast<quint16>(dialEvent->State & 0xFFFF);
        if (ConnectionState == RAS_StateDisconnected) {
            if (OnDisconnect) {
                raiseDisconnect(ConnectionHandle);
            }
        } else if (TNotifyEvent* handler = stateEvent(ConnectionState); handler && *handler) {
            (*handler)(this);
        }
    }
    // A handler may have hung up; StatusText then stays away from the library.
    StatusText();
    return true;
}
