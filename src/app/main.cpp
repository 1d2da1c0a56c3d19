#include "app/TFormMain.h"
#include "app/TSingleInstance.h"
#include "app/TStallProbe.h"
#include "app/TTermSignal.h"
#include "core/TCoreDumps.h"
#include "core/TExceptionHook.h"
#include "desktop/TDesktopNotifier.h"
#include "desktop/TKeychainStore.h"
#include "net/TSockets.h"
#include "settings/TLanguage.h"
#include "settings/TSettingsLocation.h"
#include "viewer/TFormViewer.h"
#include "widgets/TModal.h"

#include <QApplication>
#include <QPointer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    // Mail passwords sit in this process's memory: no core file may carry them off.
    QString coreError;
    if (!TCoreDumps::Disable(&coreError)) {
        std::fprintf(stderr, "Mailvane could not turn core dumps off (%s).\n", qPrintable(coreError));
    }
    // Without a display Qt would abort with a long trace; say it in one line instead.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "Mailvane needs a graphical desktop: no display found (DISPLAY is not set).\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mailvane"));
    // The tray keeps the program running while its frame is hidden.
    QApplication::setQuitOnLastWindowClosed(false);

    // Two copies on one settings file would poll the same mailboxes and overwrite each
    // other's settings: a second start brings the running copy to the front instead.
    const QString settingsPath = TSettingsLocation::ForThisProgram();
    // Before the first window, so that every text is made in the chosen language.
    TLanguage::Install(&app, TLanguage::ForSettings(settingsPath));
    TSingleInstance instance(settingsPath);
    const TSingleInstance::Result claim = instance.Claim();
    if (!instance.Warning().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(instance.Warning()));
    }
    switch (claim) {
    case TSingleInstance::Result::First:
        break;
    case TSingleInstance::Result::Raised:
        std::printf("Mailvane is already running; it was brought to the front.\n");
        return 0;
    case TSingleInstance::Result::NoAnswer:
        std::fprintf(stderr, "Mailvane is already running for %s but does not answer.\n", qPrintable(settingsPath));
        return 1;
    }

    // Set-up errors of the socket client appear in a message box of their own.
    TSockets::SetMessageBox(
        [](const QString& text, const QString& caption) { TModal::MessageBox(FormMain, text, caption, true); });
    // A print that went to a file because no printer is installed is reported in the message window.
    TFormViewer::SetInfoHook([](const QString& text) {
        if (FormMain) {
            FormMain->ShowMessage(QStringLiteral("Mailvane"), text);
        }
    });

    TStallProbe stallProbe;
    // Both outlive the frame; without a keyring or notification service they do nothing.
    TKeychainStore keyring;
    TDesktopNotifier notifier;
    auto* main = new TFormMain(settingsPath);
    main->SetDesktop(&keyring, &notifier);
    instance.OnRaise = [](const QString& token) {
        if (FormMain) {
            TExceptionHook::Run([&] { FormMain->OpenWithToken(token); });
        }
    };
    // A logout or kill closes the program the way its exit command does.
    TTermSignal termSignal([] {
        if (FormMain) {
            TExceptionHook::Run([] { FormMain->close(); });
        }
    });
    main->show();
    main->CreateStatusWindow();
    TExceptionHook::SetHandler([](const QString& message) {
        if (FormMain) {
            FormMain->OnException(message);
        }
    });
    const int rc = main->Run();
    TExceptionHook::SetHandler({});
    delete main;
    return rc;
}
