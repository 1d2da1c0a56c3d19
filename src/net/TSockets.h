#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

// A small TCP client. In blocking mode every call waits for its result while the
// program's event loop keeps running (timers, menus, repaints), guarded by a time-out
// in seconds. Every failure is turned into a Winsock error code and its English text
// and raised through OnErrorOccurred; the handler may throw, and the throw leaves from
// the blocked call itself, never from inside Qt's event dispatch.
class TSockets : public QObject {
    Q_OBJECT
public:
    using TErrorOccurred = std::function<void(TSockets* sender, int socket, int error, const QString& msg)>;
    using TMessageBox = std::function<void(const QString& text, const QString& caption)>;

    explicit TSockets(QObject* parent = nullptr);
    ~TSockets() override;

    int MaximumReceiveLength = 8192;
    QString IPAddr;
    QString Port;
    bool NonBlocking = true;
    int Timeout = 30;
    TErrorOccurred OnErrorOccurred;

    void SConnect();
    // Sends every byte of the text.
    void SetText(const QByteArray& text);
    // One receive of at most MaximumReceiveLength bytes; empty when closed or failed.
    QByteArray GetText();
    void Disconnect();

    // The socket handle, -1 when no socket is open.
    int SocketHandle() const;
    bool IsOpen() const { return SocketHandle() != -1; }
    // True while a blocking call waits.
    bool Waiting() const;

    static QString ErrorText(int code);

    // Where the set-up errors ("No Port Specified", ...) are shown, caption "WINSOCK ERROR".
    static void SetMessageBox(TMessageBox box);

protected:
    void ReportError(int socket, const QString& function, int code);

private:
    struct Private;
    Private* d;
};
