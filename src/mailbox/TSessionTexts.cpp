#include "mailbox/TSessionTexts.h"

#include <QCoreApplication>

namespace TSessionTexts {

QString Connecting()
{
    return QStringLiteral("開始連線...");
}
QString QueryingCapabilities()
{
    return QStringLiteral("查詢伺服器功能...");
}
QString StartingTls()
{
    return QStringLiteral("開始加密...");
}
QString SendingUser()
{
    return QStringLiteral("傳送使用者名稱...");
}
QString SendingPassword()
{
    return QStringLiteral("傳送密碼...");
}
QString SendingToken()
{
    return QCoreApplication::translate("TSessionTexts", "傳送授權...");
}
QString LoggedIn()
{
    return QStringLiteral("登入成功！");
}
QString LoggingOut()
{
    return QStringLiteral("開始離線...");
}
QString LeavingServer()
{
    return QStringLiteral("離線...");
}
QString LoggedOut()
{
    return QStringLiteral("離線成功！");
}
QString Receiving()
{
    return QStringLiteral("接收資料...");
}
QString Deleting()
{
    return QStringLiteral("刪除信件...");
}
QString Downloading()
{
    return QStringLiteral("下載信件...");
}
QString PushActive()
{
    return QStringLiteral("即時推送");
}

QString Done()
{
    return QStringLiteral("連線完成！");
}

QString Unreachable()
{
    return QStringLiteral("無法連線！");
}
QString LoginError()
{
    return QStringLiteral("使用者名稱或密碼錯誤！");
}
QString ReceiveError()
{
    return QStringLiteral("接收資料錯誤！");
}
QString DeleteError()
{
    return QStringLiteral("刪除信件錯誤！");
}
QString DownloadError()
{
    return QStringLiteral("下載信件錯誤");
}
QString LogoutError()
{
    return QStringLiteral("無法離線！");
}
QString StartTlsNotOffered()
{
    return QStringLiteral("伺服器不提供 STARTTLS 加密，未送出帳號密碼！");
}
QString StartTlsRefused()
{
    return QStringLiteral("伺服器拒絕 STARTTLS 加密，未送出帳號密碼！");
}
QString BytesBeforeTls()
{
    return QStringLiteral("伺服器在加密前送出多餘的資料，已中止連線！");
}
QString TlsFailed()
{
    return QStringLiteral("無法建立安全連線！");
}

QString SecureConnectionFailed(const QString& mailbox, const QString& reason)
{
    return QStringLiteral("信箱「%1」的安全連線失敗。\n%2\n").arg(mailbox, reason);
}

QString SocketError(int socket, int error, const QString& message)
{
    return QStringLiteral("Socket: %1\nError: %2\nMessage: %3\n").arg(socket).arg(error).arg(message);
}

QString MarksNotFound(int count)
{
    return QStringLiteral("有 %1 封標記刪除的信件找不到，未能刪除！\n").arg(count);
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
    return QStringLiteral("信件已移動或刪除，請重新檢查！");
}
QString TooLarge()
{
    return QStringLiteral("信件過大！");
}

QString Aborted()
{
    return QStringLiteral("連線中斷!");
}
QString ConnectionLost()
{
    return QStringLiteral("連線中斷！");
}
QString MessageSource(const QString& mailbox)
{
    return QStringLiteral("主機 : ") + mailbox;
}

QString TestNoHost()
{
    return QStringLiteral("請填寫主機位址！");
}
QString TestBadSecurity(const QString& word)
{
    return QStringLiteral("安全連線設定「%1」無法辨認！").arg(word);
}
QString TestBadPin()
{
    return QStringLiteral("信任的憑證指紋格式錯誤，應為 64 位十六進位數字！");
}
QString TestLineBreak()
{
    return QStringLiteral("使用者名稱或密碼含有換行字元！");
}
QString TestReplyTooLong()
{
    return QStringLiteral("伺服器的回應過長，不像 POP3 伺服器。");
}
QString TestPeerClosed()
{
    return QStringLiteral("伺服器中斷了連線。");
}
QString TestNoGreeting()
{
    return QStringLiteral("伺服器沒有送出 POP3 問候。");
}
QString TestStartTlsNotOffered()
{
    return QStringLiteral("伺服器不提供 STARTTLS 加密，未送出帳號密碼。");
}

QString TestStartTlsRefused(const QString& serverWords)
{
    return QStringLiteral("伺服器拒絕 STARTTLS 加密（%1），未送出帳號密碼。").arg(serverWords);
}

QString TestBytesBeforeTls()
{
    return QStringLiteral("伺服器在加密前送出多餘的資料，已中止連線。");
}

QString TestLoginRefused(const QString& serverWords)
{
    return QStringLiteral("使用者名稱或密碼錯誤！（伺服器：%1）").arg(serverWords);
}

QString TestCannotConnect(int error, const QString& message)
{
    return QStringLiteral("無法連線（錯誤 %1：%2）。").arg(error).arg(message);
}

QString TestPassedEncrypted()
{
    return QStringLiteral("連線成功：已透過加密連線登入並登出。");
}
QString TestPassedPlain()
{
    return QStringLiteral("連線成功：已登入並登出（未加密）。");
}

QString TestBadProtocol(const QString& word)
{
    return QStringLiteral("通訊協定設定「%1」無法辨認，應為 POP3 或 IMAP！").arg(word);
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
    return QStringLiteral("\n伺服器支援 IDLE：新信件會即時推送。");
}

QString TestIdleMissing()
{
    return QStringLiteral("\n伺服器不支援 IDLE：只能依排程檢查新信件。");
}

} // namespace TSessionTexts
