#include "mailbox/TSessionTexts.h"

#include <QCoreApplication>

namespace TSessionTexts {

QString Connecting()
{
    return QCoreApplication::translate("TSessionTexts", "開始連線...");
}
QString QueryingCapabilities()
{
    return QCoreApplication::translate("TSessionTexts", "查詢伺服器功能...");
}
QString StartingTls()
{
    return QCoreApplication::translate("TSessionTexts", "開始加密...");
}
QString SendingUser()
{
    return QCoreApplication::translate("TSessionTexts", "傳送使用者名稱...");
}
QString SendingPassword()
{
    return QCoreApplication::translate("TSessionTexts", "傳送密碼...");
}
QString SendingToken()
{
    return QCoreApplication::translate("TSessionTexts", "傳送授權...");
}
QString LoggedIn()
{
    return QCoreApplication::translate("TSessionTexts", "登入成功！");
}
QString LoggingOut()
{
    return QCoreApplication::translate("TSessionTexts", "開始離線...");
}
QString LeavingServer()
{
    return QCoreApplication::translate("TSessionTexts", "離線...");
}
QString LoggedOut()
{
    return QCoreApplication::translate("TSessionTexts", "離線成功！");
}
QString Receiving()
{
    return QCoreApplication::translate("TSessionTexts", "接收資料...");
}
QString Deleting()
{
    return QCoreApplication::translate("TSessionTexts", "刪除信件...");
}
QString Downloading()
{
    return QCoreApplication::translate("TSessionTexts", "下載信件...");
}
QString PushActive()
{
    return QCoreApplication::translate("TSessionTexts", "即時推送");
}
QString PushOff(const QString& why)
{
    return QCoreApplication::translate("TSessionTexts", "即時推送未啟用（%1），依排程收信。").arg(why);
}
QString PushNoIdle()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器不支援 IDLE");
}
QString PushIdleRefused()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器拒絕 IDLE");
}
QString PushNeedsLiteral()
{
    return QCoreApplication::translate("TSessionTexts", "帳號或密碼含有須等伺服器回應才能傳送的字元，而伺服器不支援 LITERAL+");
}
QString PushLoginRefused()
{
    return QCoreApplication::translate("TSessionTexts", "登入未成功");
}
QString PushTls()
{
    return QCoreApplication::translate("TSessionTexts", "加密連線未能建立");
}
QString PushFolder()
{
    return QCoreApplication::translate("TSessionTexts", "無法開啟信件匣");
}

QString Done()
{
    return QCoreApplication::translate("TSessionTexts", "連線完成！");
}

QString Unreachable()
{
    return QCoreApplication::translate("TSessionTexts", "無法連線！");
}
QString LoginError()
{
    return QCoreApplication::translate("TSessionTexts", "使用者名稱或密碼錯誤！");
}
QString ReceiveError()
{
    return QCoreApplication::translate("TSessionTexts", "接收資料錯誤！");
}
QString DeleteError()
{
    return QCoreApplication::translate("TSessionTexts", "刪除信件錯誤！");
}
QString DownloadError()
{
    return QCoreApplication::translate("TSessionTexts", "下載信件錯誤");
}
QString LogoutError()
{
    return QCoreApplication::translate("TSessionTexts", "無法離線！");
}
QString StartTlsNotOffered()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器不提供 STARTTLS 加密，未送出帳號密碼！");
}
QString StartTlsRefused()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器拒絕 STARTTLS 加密，未送出帳號密碼！");
}
QString BytesBeforeTls()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器在加密前送出多餘的資料，已中止連線！");
}
QString TlsFailed()
{
    return QCoreApplication::translate("TSessionTexts", "無法建立安全連線！");
}

QString SecureConnectionFailed(const QString& mailbox, const QString& reason)
{
    return QCoreApplication::translate("TSessionTexts", "信箱「%1」的安全連線失敗。\n%2\n").arg(mailbox, reason);
}

QString SocketError(int socket, int error, const QString& message)
{
    return QStringLiteral("Socket: %1\nError: %2\nMessage: %3\n").arg(socket).arg(error).arg(message);
}

QString MarksNotFound(int count)
{
    return QCoreApplication::translate("TSessionTexts", "有 %n 封標記刪除的信件找不到，未能刪除！\n", nullptr, count);
}

QString OAuthNeedsAuthorization(const QString& mailbox)
{
    return QCoreApplication::translate("TSessionTexts",
                                       "信箱「%1」需要重新授權：請按「立即檢查」或在選項中按「以瀏覽器登入」。\n")
        .arg(mailbox);
}

QString OAuthTemporary(const QString& mailbox, const QString& reason)
{
    return QCoreApplication::translate("TSessionTexts", "信箱「%1」暫時無法取得登入權杖，這次略過。\n%2\n")
        .arg(mailbox, reason);
}

QString OAuthNotOffered(const QString& mechanism)
{
    return QCoreApplication::translate("TSessionTexts", "伺服器不提供 %1 登入，未送出權杖！").arg(mechanism);
}

QString OAuthRefused()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器拒絕了瀏覽器登入的授權！");
}

QString OAuthServerUnavailable()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器暫時無法驗證授權，請稍後再試。");
}

QString OAuthUnusable(const QString& reason)
{
    return QCoreApplication::translate("TSessionTexts", "無法以瀏覽器登入：%1").arg(reason);
}

QString Moved()
{
    return QCoreApplication::translate("TSessionTexts", "信件已移動或刪除，請重新檢查！");
}
QString TooLarge()
{
    return QCoreApplication::translate("TSessionTexts", "信件過大！");
}

QString Aborted()
{
    return QCoreApplication::translate("TSessionTexts", "連線中斷!");
}
QString ConnectionLost()
{
    return QCoreApplication::translate("TSessionTexts", "連線中斷！");
}
QString MessageSource(const QString& mailbox)
{
    return QCoreApplication::translate("TSessionTexts", "主機 : ") + mailbox;
}

QString TestNoHost()
{
    return QCoreApplication::translate("TSessionTexts", "請填寫主機位址！");
}
QString TestBadSecurity(const QString& word)
{
    return QCoreApplication::translate("TSessionTexts", "安全連線設定「%1」無法辨認！").arg(word);
}
QString TestBadPin()
{
    return QCoreApplication::translate("TSessionTexts", "信任的憑證指紋格式錯誤，應為 64 位十六進位數字！");
}
QString TestLineBreak()
{
    return QCoreApplication::translate("TSessionTexts", "使用者名稱或密碼含有換行字元！");
}
QString TestReplyTooLong()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器的回應過長，不像 POP3 伺服器。");
}
QString TestPeerClosed()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器中斷了連線。");
}
QString TestNoGreeting()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器沒有送出 POP3 問候。");
}
QString TestStartTlsNotOffered()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器不提供 STARTTLS 加密，未送出帳號密碼。");
}

QString TestStartTlsRefused(const QString& serverWords)
{
    return QCoreApplication::translate("TSessionTexts", "伺服器拒絕 STARTTLS 加密（%1），未送出帳號密碼。")
        .arg(serverWords);
}

QString TestBytesBeforeTls()
{
    return QCoreApplication::translate("TSessionTexts", "伺服器在加密前送出多餘的資料，已中止連線。");
}

QString TestLoginRefused(const QString& serverWords)
{
    return QCoreApplication::translate("TSessionTexts", "使用者名稱或密碼錯誤！（伺服器：%1）").arg(serverWords);
}

QString TestCannotConnect(int error, const QString& message)
{
    return QCoreApplication::translate("TSessionTexts", "無法連線（錯誤 %1：%2）。").arg(error).arg(message);
}

QString TestPassedEncrypted()
{
    return QCoreApplication::translate("TSessionTexts", "連線成功：已透過加密連線登入並登出。");
}
QString TestPassedPlain()
{
    return QCoreApplication::translate("TSessionTexts", "連線成功：已登入並登出（未加密）。");
}

QString TestBadProtocol(const QString& word)
{
    return QCoreApplication::translate("TSessionTexts", "通訊協定設定「%1」無法辨認，應為 POP3 或 IMAP！").arg(word);
}

QString TestBadAuth(const QString& word)
{
    return QCoreApplication::translate("TSessionTexts", "登入方式「%1」無法辨認，應為 Password 或 OAuth2！").arg(word);
}

QString TestOAuthNeedsEncryption()
{
    return QCoreApplication::translate("TSessionTexts", "以瀏覽器登入（OAuth2）必須使用加密連線（STARTTLS 或 TLS）！");
}

QString TestIdleOffered()
{
    return QCoreApplication::translate("TSessionTexts", "\n伺服器支援 IDLE：新信件會即時推送。");
}

QString TestIdleMissing()
{
    return QCoreApplication::translate("TSessionTexts", "\n伺服器不支援 IDLE：只能依排程檢查新信件。");
}

} // namespace TSessionTexts
