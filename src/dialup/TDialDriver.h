#pragma once

#include <QCoreApplication>
#include <QString>
#include <functional>

class TIniFile;
class TRAS;
class TVarnEncryption;

// Drives the dial-up component around checks: dialling with redials, the dial button
// and the hang-up rule. Holds references into the program state; the main window's
// handlers delegate here.
class TDialDriver {
    Q_DECLARE_TR_FUNCTIONS(TDialDriver)

public:
    struct Callbacks {
        // The status lights: colour word and text.
        std::function<void(const QString& colourWord, const QString& text)> LED;
        // The program's ShowError: shows the text and throws the silent abort.
        std::function<void(const QString& text)> ShowError;
        // Runs pending events between polls, so the dial button can be pressed.
        std::function<void()> ProcessEvents;
        // Runs the program's events for about ms milliseconds: the pause before a redial,
        // which the dial button or the exit may end. Without it the pause is TClock::Wait.
        std::function<void(int ms)> Pause;
    };

    TDialDriver(TRAS& ras, bool& DialUpEnabled, bool& DialedByProgram, int& RedialsLeft, int& RedialInterval,
                Callbacks callbacks);

    // Returns once connected; otherwise ends with ShowError and the silent abort.
    void ConnectModem();
    // True while ConnectModem waits for the line: the mailboxes wait for it.
    bool Dialling() const { return m_connecting; }
    void SpeedButtonDialClick();
    // Hangs up a connection the program dialled; the flag clears when that succeeds.
    // Answers the hang-up result, 0 when nothing was to be done.
    int HangUpIfDialed();

    // The dial step of a check pass: false when the pass must stop without checking
    // (no connection, only connected checks wanted, started by the timer).
    bool DialForCheck(bool fromTimer, bool connectedOnly);

    // Start-up: probe the library, read [DialUp] Redial, DialUpLogin and DialUpPassword
    // into the component, and choose its entry. Conversion failures propagate.
    static void ReadSettings(const TIniFile& ini, TVarnEncryption& encryption, TRAS& ras, bool& dialUpEnabled);
    // Start-up: adopt a connection made outside the program.
    void AdoptConnection();

    static QString CannotConnectText();

private:
    [[noreturn]] void fail(const QString& text);
    void pauseBeforeRedial();

    TRAS& m_ras;
    bool& m_dialUpEnabled;
    bool& m_dialedByProgram;
    int& m_redialsLeft;
    int& m_redialInterval;
    Callbacks m_callbacks;
    // ConnectModem is under way, its redial pause included.
    bool m_connecting = false;
};
