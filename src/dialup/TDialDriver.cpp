#include "dialup/TDialDriver.h"

#include "core/EAbort.h"
#include "core/TClock.h"
#include "core/TIntConvert.h"
#include "dialup/RasRecords.h"
#include "dialup/TRAS.h"
#include "dialup/TRasApi.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "settings/TVarnEncryption.h"

TDialDriver::TDialDriver(TRAS& ras, bool& DialUpEnabled, bool& DialedByProgram, int& RedialsLeft, int& RedialInterval,
                         Callbacks callbacks)
    : m_ras(ras), m_dialUpEnabled(DialUpEnabled), m_dialedByProgram(DialedByProgram), m_redialsLeft(RedialsLeft),
      m_redialInterval(RedialInterval), m_callbacks(std::move(callbacks))
{
}

QString TDialDriver::CannotConnectText()
{
    return tr("無法連線，請稍後再撥！");
}

void TDialDriver::fail(const QString& text)
{
    if (m_callbacks.ShowError) {
        m_callbacks.ShowError(text);
    }
    // ShowError is meant to end the command; make sure it does.
    throw EAbort();
}

void TDialDriver::pauseBeforeRedial()
{
    if (!m_callbacks.Pause) {
        TClock::Wait(m_redialInterval);
        return;
    }
    const qint64 end = TClock::Monotonic() + qint64(m_redialInterval) * 1000;
    for (qint64 left = end - TClock::Monotonic(); left > 0 && m_redialsLeft >= 0; left = end - TClock::Monotonic()) {
        m_callbacks.Pause(int(qMin<qint64>(left, 250)));
    }
}

void TDialDriver::ConnectModem()
{
    struct Connecting {
        bool& flag;
        bool was;
        ~Connecting() { flag = was; }
    } connecting{m_connecting, m_connecting};
    m_connecting = true;
    if (m_callbacks.LED) {
        m_callbacks.LED(QStringLiteral("Yellow"), QStringLiteral("Busy"));
    }
    m_dialedByProgram = true;
    int result = m_ras.Dial();
    if (result != 0) {
        fail(m_ras.GetErrorString(result));
    }
    m_redialsLeft = m_ras.RedialAttempts;
    m_ras.GetConnectStatus();
    while (m_ras.ConnectionState != RAS_StateConnected) {
        // Below zero: the dial button cancelled while we were waiting.
        if (m_redialsLeft < 0) {
            fail(CannotConnectText());
        }
        m_ras.GetConnectStatus();
        if (m_ras.ConnectionState == RAS_StateDisconnected || m_ras.ConnectionHandle == 0) {
            if (m_redialsLeft <= 0) {
                fail(CannotConnectText());
            }
            result = m_ras.HangUp();
            if (result != 0) {
                fail(m_ras.GetErrorString(result));
            }
            m_dialedByProgram = false;
            if (m_redialInterval > 0) {
                pauseBeforeRedial();
                // Given up meanwhile by the dial button or the exit.
                if (m_redialsLeft < 0) {
                    fail(CannotConnectText());
                }
            }
            m_dialedByProgram = true;
            result = m_ras.Dial();
            if (result != 0) {
                fail(m_ras.GetErrorString(result));
            }
            --m_redialsLeft;
        }
        if (m_callbacks.ProcessEvents) {
            m_callbacks.ProcessEvents();
        }
    }
    if (m_callbacks.LED) {
        m_callbacks.LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    }
}

void TDialDriver::SpeedButtonDialClick()
{
    if (!m_dialUpEnabled) {
        return;
    }
    m_ras.GetConnections();
    if (m_connecting && m_ras.Connections.Count() == 0) {
        // Pressed in the pause before a redial: the dial gives up rather than starting another.
        m_redialsLeft = -1;
    } else if (m_ras.Connections.Count() == 0) {
        ConnectModem();
    } else {
        // Also reached while ConnectModem is still dialling: its loop sees this and gives up.
        m_redialsLeft = -1;
        m_ras.HangUp();
    }
    // A connection made with the button stays up after check passes.
    m_dialedByProgram = false;
}

int TDialDriver::HangUpIfDialed()
{
    if (!m_dialedByProgram) {
        return 0;
    }
    const int result = m_ras.HangUp();
    if (result == 0) {
        m_dialedByProgram = false;
    }
    return result;
}

bool TDialDriver::DialForCheck(bool fromTimer, bool connectedOnly)
{
    if (!m_dialUpEnabled) {
        return true;
    }
    m_ras.GetConnections();
    if (m_ras.Connections.Count() > 0) {
        return true;
    }
    if (connectedOnly && fromTimer) {
        return false;
    }
    ConnectModem();
    return true;
}

void TDialDriver::ReadSettings(const TIniFile& ini, TVarnEncryption& encryption, TRAS& ras, bool& dialUpEnabled)
{
    if (!TRasApi::IsPresent()) {
        dialUpEnabled = false;
    }
    ras.RedialAttempts = TIntConvert::StrToInt(TSetting(TSettingsKeys::DialUpRedial).ReadString(ini));
    ras.UserName = TSetting(TSettingsKeys::DialUpLogin).ReadString(ini);
    ras.Password = encryption.Unscramble(TSetting(TSettingsKeys::DialUpPassword).ReadString(ini));
    if (!dialUpEnabled) {
        return;
    }
    ras.GetPhoneBookEntries();
    const int entry = TSetting(TSettingsKeys::DialUpEntry).ReadInteger(ini);
    if (entry >= 0 && entry < ras.PhoneBookEntries.size()) {
        ras.EntryName = ras.PhoneBookEntries.at(entry);
    } else if (!ras.PhoneBookEntries.isEmpty()) {
        ras.EntryName = ras.PhoneBookEntries.first();
    } else {
        dialUpEnabled = false;
    }
}

void TDialDriver::AdoptConnection()
{
    if (!m_dialUpEnabled) {
        return;
    }
    m_ras.GetConnections();
    if (m_ras.Connections.Count() > 0) {
        m_ras.ConnectionHandle = m_ras.Connections.RASConn(0);
    }
}
