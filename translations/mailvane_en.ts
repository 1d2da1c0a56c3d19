<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_TW">
<context>
    <name>TAccount</name>
    <message>
        <source>安全連線設定「%1」無法辨認，應為 None、STARTTLS 或 TLS！</source>
        <translation>The security setting “%1” is not recognized; it must be None, STARTTLS or TLS!</translation>
    </message>
    <message>
        <source>信任的憑證指紋格式錯誤，應為 64 位十六進位數字！</source>
        <translation>The trusted certificate fingerprint is malformed; it must be 64 hexadecimal digits!</translation>
    </message>
    <message>
        <source>通訊協定設定「%1」無法辨認，應為 POP3 或 IMAP！</source>
        <translation>The protocol setting “%1” is not recognized; it must be POP3 or IMAP!</translation>
    </message>
</context>
<context>
    <name>TCommandTable</name>
    <message>
        <source>檢查</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>檢查信件</source>
        <translation>Check Mail</translation>
    </message>
    <message>
        <source>撥號</source>
        <translation>Dial</translation>
    </message>
    <message>
        <source>撥號或掛斷</source>
        <translation>Dial or Hang Up</translation>
    </message>
    <message>
        <source>程式</source>
        <translation>Mailer</translation>
    </message>
    <message>
        <source>載入電子郵件程式</source>
        <translation>Start the E-mail Program</translation>
    </message>
    <message>
        <source>下載</source>
        <translation>View</translation>
    </message>
    <message>
        <source>下載信件</source>
        <translation>View Mail</translation>
    </message>
    <message>
        <source>刪除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>刪除信件</source>
        <translation>Delete Mail</translation>
    </message>
    <message>
        <source>復原</source>
        <translation>Undelete</translation>
    </message>
    <message>
        <source>復原信件</source>
        <translation>Undelete Mail</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>說明</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>離開</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>信件</source>
        <translation>Mail</translation>
    </message>
    <message>
        <source>載入程式</source>
        <translation>Start Mail Program</translation>
    </message>
    <message>
        <source>全部刪除</source>
        <translation>Delete All</translation>
    </message>
    <message>
        <source>全部復原</source>
        <translation>Undelete All</translation>
    </message>
    <message>
        <source>立即檢查</source>
        <translation>Check Now</translation>
    </message>
    <message>
        <source>一般設定 ...</source>
        <translation>General ...</translation>
    </message>
    <message>
        <source>網路設定 ...</source>
        <translation>Network ...</translation>
    </message>
    <message>
        <source>音效動畫 ...</source>
        <translation>Sound and Animation ...</translation>
    </message>
    <message>
        <source>撥號設定 ...</source>
        <translation>Dial-up ...</translation>
    </message>
    <message>
        <source>過濾信件 ...</source>
        <translation>Mail Filter ...</translation>
    </message>
    <message>
        <source>檢查時間 ...</source>
        <translation>Check Times ...</translation>
    </message>
    <message>
        <source>自動檢查信件</source>
        <translation>Check Mail Automatically</translation>
    </message>
    <message>
        <source>自動載入程式</source>
        <translation>Start Mail Program Automatically</translation>
    </message>
    <message>
        <source>自動刪除信件</source>
        <translation>Delete Mail Automatically</translation>
    </message>
    <message>
        <source>自動下載信件</source>
        <translation>View Mail Automatically</translation>
    </message>
    <message>
        <source>密碼保護</source>
        <translation>Password Protection</translation>
    </message>
    <message>
        <source>關閉音效</source>
        <translation>Sound Off</translation>
    </message>
    <message>
        <source>隱藏信件表頭</source>
        <translation>Hide Mail Headers</translation>
    </message>
    <message>
        <source>自動復原視窗</source>
        <translation>Restore Window Automatically</translation>
    </message>
    <message>
        <source>最上層顯示</source>
        <translation>Stay on Top</translation>
    </message>
    <message>
        <source>啟動時檢查</source>
        <translation>Check at Startup</translation>
    </message>
    <message>
        <source>啟動時最小化</source>
        <translation>Start Minimized</translation>
    </message>
    <message>
        <source>說明 ...</source>
        <translation>Help ...</translation>
    </message>
    <message>
        <source>關於 ...</source>
        <translation>About ...</translation>
    </message>
    <message>
        <source>復原視窗</source>
        <translation>Restore Window</translation>
    </message>
    <message>
        <source>關閉自動檢查</source>
        <translation>Disable Automatic Check</translation>
    </message>
    <message>
        <source>視窗</source>
        <translation>Window</translation>
    </message>
    <message>
        <source>非重疊顯示</source>
        <translation>Tile</translation>
    </message>
    <message>
        <source>階層顯示</source>
        <translation>Cascade</translation>
    </message>
    <message>
        <source>排列圖示</source>
        <translation>Arrange Icons</translation>
    </message>
</context>
<context>
    <name>TDesktopNotifier</name>
    <message numerus="yes">
        <source>Mailvane：%n 封新郵件</source>
        <translation>
            <numerusform>Mailvane: %n new message</numerusform>
            <numerusform>Mailvane: %n new messages</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>…還有 %n 封</source>
        <translation>
            <numerusform>…and %n more</numerusform>
            <numerusform>…and %n more</numerusform>
        </translation>
    </message>
    <message>
        <source>開啟 Mailvane</source>
        <translation>Open Mailvane</translation>
    </message>
</context>
<context>
    <name>TDialDriver</name>
    <message>
        <source>無法連線，請稍後再撥！</source>
        <translation>Cannot connect; please dial again later!</translation>
    </message>
</context>
<context>
    <name>TFirstRun</name>
    <message>
        <source>示範伺服器無法啟動！
</source>
        <translation>The demo server could not start!
</translation>
    </message>
</context>
<context>
    <name>TFormAbout</name>
    <message>
        <source>林志明</source>
        <translation>Lin Chih-ming</translation>
    </message>
    <message>
        <source>Mailvane 2.2 中文版

程式設計
林志明

介面與圖形
林志明

測試
所有熱心的使用者

感謝您使用 Mailvane！
有任何建議，歡迎來信。</source>
        <translation>Mailvane 2.2

Programming
Lin Chih-ming

Interface and graphics
Lin Chih-ming

Testing
All our keen users

Thank you for using Mailvane!
Suggestions are always welcome by mail.</translation>
    </message>
    <message>
        <source>Mailvane 2.2 中文版</source>
        <translation>Mailvane 2.2</translation>
    </message>
    <message>
        <source>首頁 : </source>
        <translation>Home page : </translation>
    </message>
    <message>
        <source>電子郵件 : </source>
        <translation>E-mail : </translation>
    </message>
    <message>
        <source>程式設計 : </source>
        <translation>Author : </translation>
    </message>
    <message>
        <source>設定檔 : </source>
        <translation>Settings file : </translation>
    </message>
</context>
<context>
    <name>TFormMain</name>
    <message>
        <source>不明錯誤!</source>
        <translation>Unknown error!</translation>
    </message>
    <message>
        <source>撥號系統</source>
        <translation>Dial-up</translation>
    </message>
</context>
<context>
    <name>TFormMessage</name>
    <message>
        <source>訊息來源</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>確定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TFormOption</name>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>中文（台灣）</source>
        <translation>Chinese (Taiwan)</translation>
    </message>
    <message>
        <source>介面語言 : </source>
        <translation>Language : </translation>
    </message>
    <message>
        <source>下次啟動時生效</source>
        <translation>Takes effect at the next start</translation>
    </message>
</context>
<context>
    <name>TFormStatus</name>
    <message>
        <source>信箱數目</source>
        <translation>Mailboxes</translation>
    </message>
    <message>
        <source>信件數目</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>新進信件</source>
        <translation>New mail</translation>
    </message>
    <message>
        <source>現在日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>現在時間</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>下次檢查</source>
        <translation>Next check</translation>
    </message>
</context>
<context>
    <name>TFormViewer</name>
    <message>
        <source>原始內容</source>
        <translation>Raw Text</translation>
    </message>
    <message>
        <source>另存新檔</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>信箱 : </source>
        <translation>Mailbox : </translation>
    </message>
    <message>
        <source>主題 : </source>
        <translation>Subject : </translation>
    </message>
    <message>
        <source>信件過大！</source>
        <translation>The message is too large!</translation>
    </message>
    <message numerus="yes">
        <source>%1 (%2, %n 位元組)</source>
        <translation>
            <numerusform>%1 (%2, %n byte)</numerusform>
            <numerusform>%1 (%2, %n bytes)</numerusform>
        </translation>
    </message>
    <message>
        <source>易讀內容</source>
        <translation>Readable</translation>
    </message>
    <message>
        <source>無法儲存附件 %1！
%2</source>
        <translation>Cannot save the attachment %1!
%2</translation>
    </message>
    <message>
        <source>沒有安裝印表機，信件已列印至 %1</source>
        <translation>No printer is installed; the message was printed to %1</translation>
    </message>
</context>
<context>
    <name>TMainMailHost</name>
    <message>
        <source>下載信件...</source>
        <translation>Downloading mail...</translation>
    </message>
</context>
<context>
    <name>TSecureSockets</name>
    <message>
        <source>連線已經加密，不能再次開始加密。</source>
        <translation>The connection is already encrypted; encryption cannot start again.</translation>
    </message>
    <message>
        <source>無法建立安全連線：%1</source>
        <translation>Cannot establish a secure connection: %1</translation>
    </message>
    <message>
        <source>憑證與此信箱信任的憑證不同</source>
        <translation>the certificate differs from the one trusted for this mailbox</translation>
    </message>
    <message>
        <source>伺服器的憑證與此信箱信任的憑證不同，已中止連線。
信任的指紋 (SHA-256)：%1
伺服器的指紋 (SHA-256)：%2</source>
        <translation>The server&apos;s certificate differs from the one trusted for this mailbox; the connection was stopped.
Trusted fingerprint (SHA-256): %1
Server&apos;s fingerprint (SHA-256): %2</translation>
    </message>
    <message>
        <source>無法建立安全連線：%1，且與此信箱信任的憑證不同。
信任的指紋 (SHA-256)：%2
伺服器的指紋 (SHA-256)：%3</source>
        <translation>Cannot establish a secure connection: %1, and the certificate differs from the one trusted for this mailbox.
Trusted fingerprint (SHA-256): %2
Server&apos;s fingerprint (SHA-256): %3</translation>
    </message>
    <message>
        <source>無法建立安全連線：%1。
伺服器的指紋 (SHA-256)：%2</source>
        <translation>Cannot establish a secure connection: %1.
Server&apos;s fingerprint (SHA-256): %2</translation>
    </message>
    <message>
        <source>伺服器中斷了連線</source>
        <translation>the server closed the connection</translation>
    </message>
    <message>
        <source>無法建立安全連線：加密交握失敗（%1）。</source>
        <translation>Cannot establish a secure connection: the encryption handshake failed (%1).</translation>
    </message>
    <message>
        <source>憑證已過期</source>
        <translation>the certificate has expired</translation>
    </message>
    <message>
        <source>憑證尚未生效</source>
        <translation>the certificate is not yet valid</translation>
    </message>
    <message>
        <source>憑證為自我簽署</source>
        <translation>the certificate is self-signed</translation>
    </message>
    <message>
        <source>憑證的簽發者不受信任</source>
        <translation>the certificate&apos;s issuer is not trusted</translation>
    </message>
    <message>
        <source>憑證上的名稱與主機「%1」不符</source>
        <translation>the name on the certificate does not match the host “%1”</translation>
    </message>
    <message>
        <source>憑證已被撤銷</source>
        <translation>the certificate has been revoked</translation>
    </message>
    <message>
        <source>憑證無法驗證（%1）</source>
        <translation>the certificate cannot be verified (%1)</translation>
    </message>
    <message>
        <source>、</source>
        <comment>between the reasons a certificate fails</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>加密連線中斷：%1</source>
        <translation>The encrypted connection broke: %1</translation>
    </message>
</context>
<context>
    <name>TSettingsRules</name>
    <message>
        <source>時間表格式錯誤！</source>
        <translation>The schedule is malformed!</translation>
    </message>
    <message>
        <source>埠號必須是 1 到 65535 的整數！</source>
        <translation>The port must be a whole number from 1 to 65535!</translation>
    </message>
    <message>
        <source>密碼過長！</source>
        <translation>The password is too long!</translation>
    </message>
</context>
<context>
    <name>TTrayFallback</name>
    <message>
        <source>桌面沒有通知區域（系統匣），Mailvane 改為一般的最小化視窗，可從工作列叫回。
</source>
        <translation>The desktop has no notification area (system tray); Mailvane minimizes to an ordinary window instead, which you can bring back from the taskbar.
</translation>
    </message>
</context>
</TS>
