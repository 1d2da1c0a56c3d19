// A notification service for scripts that run the real program: registers on the session
// bus of DBUS_SESSION_BUS_ADDRESS and prints one line per Notify call,
//   notify <CLOCK_MONOTONIC seconds> <summary>\t<body with newlines as " | ">
// then "READY" once registered. Ends when its standard input closes.
#include "testsupport/TFakeNotifications.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <ctime>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TFakeNotifications service(QDBusConnection::sessionBus());
    if (!service.Register()) {
        std::fprintf(stderr, "cannot register the notification service\n");
        return 1;
    }
    QObject::connect(&service, &TFakeNotifications::Called, [&service] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const TFakeNotifications::TCall& call = service.Calls.constLast();
        QString body = call.Body;
        body.replace(QLatin1Char('\n'), QLatin1String(" | "));
        std::printf("notify %lld.%06ld %s\t%s\n", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000,
                    qPrintable(call.Summary), qPrintable(body));
        std::fflush(stdout);
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    std::printf("READY\n");
    std::fflush(stdout);
    return app.exec();
}
