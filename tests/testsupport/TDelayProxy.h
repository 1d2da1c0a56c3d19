#pragma once

#include <QByteArray>
#include <memory>

// A TCP relay on 127.0.0.1 in front of a local server that holds every chunk for a fixed
// time in each direction, as a long link would: a round trip costs twice the delay. It
// serves any number of connections from a thread of its own.
class TDelayProxy {
public:
    // Listens on 127.0.0.1 at a port the system picks, or where listenAddress and
    // listenPort say (another loopback address, a fixed port).
    TDelayProxy(quint16 targetPort, int delayMsEachWay, const QByteArray& listenAddress = "127.0.0.1",
                quint16 listenPort = 0);
    ~TDelayProxy();
    TDelayProxy(const TDelayProxy&) = delete;
    TDelayProxy& operator=(const TDelayProxy&) = delete;

    bool Start();
    quint16 Port() const;
    // Answers the client's CAPA itself with "-ERR", as a server without capabilities does.
    void SetHideCapabilities(bool hide);
    // While on, every byte in either direction is lost and connections stay open: a link
    // that died without a word.
    void SetBlackHole(bool on);
    // Everything the clients sent so far, all connections together.
    QByteArray ClientBytes() const;
    int Connections() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
