#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>
#include <memory>

// A fake TCP server on 127.0.0.1 (port chosen by the system) for socket and POP3 tests.
// It serves from a thread of its own, so the client may block the test's thread.
//
// Script mode: the step builders below are run in order on the accepted connection.
// What the client sends is recorded line by line (received()); an expect() that does not
// match is recorded in failures(). Lines that no step asked for, sent before the script
// ends, are failures as well. After close(), reset() or silent() the following steps
// serve the next connection; nextConnection() says so explicitly. When the script has run
// out, the server stops listening (later connects are refused).
//
// Mailbox mode (serveMailbox): a small stateful POP3 server over a list of messages; it
// serves any number of sessions one after the other and applies DELE at QUIT.
class TScriptServer {
public:
    enum class Fault {
        ErrReply, // answer "-ERR injected fault"
        Close,    // close the connection gracefully instead of answering
        Reset,    // abort the connection (RST)
        Silent    // never answer
    };

    TScriptServer();
    ~TScriptServer();
    TScriptServer(const TScriptServer&) = delete;
    TScriptServer& operator=(const TScriptServer&) = delete;

    TScriptServer& send(const QByteArray& bytes);
    TScriptServer& sendLine(const QByteArray& line); // adds CR LF
    // One line from the client (CR LF removed). An expected text ending in "*" matches
    // every line that begins with the text before it.
    TScriptServer& expect(const QByteArray& line);
    TScriptServer& receiveLine(); // records one line, whatever it is
    TScriptServer& sendChunked(const QByteArray& bytes, int chunkSize, int pauseMs = 2);
    // size bytes of fill, streamed, no terminator; stops quietly when the client goes.
    TScriptServer& sendHuge(qint64 size, char fill = 'x');
    TScriptServer& pause(int ms);
    TScriptServer& close();  // graceful: FIN, then wait for the client to close
    TScriptServer& reset();  // abort: RST
    TScriptServer& silent(); // never answer; records lines until the client leaves
    TScriptServer& nextConnection();
    // greeting, then for each pair: expect the client line, send the reply (CR LF added
    // when the reply does not end in one).
    TScriptServer& dialogue(const QByteArray& greeting, const QList<QPair<QByteArray, QByteArray>>& pairs);

    // Mailbox mode; call before start(). Line ends of the messages become CR LF.
    void serveMailbox(const QList<QByteArray>& messages, const QByteArray& user = "user",
                      const QByteArray& pass = "pass");
    // In mailbox mode: the names CAPA lists (it is refused while there are none). The
    // server still reads and answers one command at a time.
    void announce(const QList<QByteArray>& capabilities);
    // In mailbox mode: every command that begins with prefix (any letter case) gets the fault.
    void failOn(const QByteArray& commandPrefix, Fault fault);
    // The messages still on the server (CR LF line ends).
    QList<QByteArray> mailbox() const;

    // Starts listening and serving; port() starts the server when it has not started yet.
    bool start();
    quint16 port();
    QStringList received() const;
    QStringList failures() const;
    int connections() const;
    // Script mode: true once the script has run to its end and its connection is closed.
    // Mailbox mode: true once a session has ended and no connection is open.
    bool waitForFinished(int ms = 10000);

    // A port on 127.0.0.1 where nothing listens.
    static quint16 refusedPort();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
