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
    <message>
        <source>以瀏覽器登入（OAuth2）的信箱必須使用加密連線（STARTTLS 或 TLS）！</source>
        <translation>A mailbox that signs in with the browser (OAuth2) must use an encrypted connection (STARTTLS or TLS)!</translation>
    </message>
    <message>
        <source>登入方式設定「%1」無法辨認，應為 Password 或 OAuth2！</source>
        <translation>The sign-in setting “%1” is not recognized; it must be Password or OAuth2!</translation>
    </message>
</context>
<context>
    <name>TCheckPass</name>
    <message>
        <source>無法開啟瀏覽器。請在瀏覽器中開啟這個網址，登入並允許 Mailvane 讀取郵件：
%1
</source>
        <translation>Could not open a browser. Open this address in your browser, sign in and allow Mailvane to read your mail:
%1
</translation>
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
    <name>TDemoMailbox</name>
    <message>
        <source>示範信箱</source>
        <translation>Demo Mailbox</translation>
    </message>
    <message>
        <source>示範伺服器沒有啟動，不檢查此信箱。</source>
        <translation>The demo server is not running; this mailbox is not checked.</translation>
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
    <name>TFormAddMailbox</name>
    <message>
        <source>新增我的信箱</source>
        <translation>Add My Mailbox</translation>
    </message>
    <message>
        <source>電子郵件地址</source>
        <translation>E-mail address</translation>
    </message>
    <message>
        <source>密碼（或應用程式密碼）</source>
        <translation>Password (or app password)</translation>
    </message>
    <message>
        <source>郵件服務</source>
        <translation>Mail service</translation>
    </message>
    <message>
        <source>通訊協定</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>伺服器</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>連接埠</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>加密</source>
        <translation>Encryption</translation>
    </message>
    <message>
        <source>使用者名稱</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>信箱名稱</source>
        <translation>Mailbox name</translation>
    </message>
    <message>
        <source>測試連線</source>
        <translation>Test Connection</translation>
    </message>
    <message>
        <source>儲存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>請輸入完整的電子郵件地址，例如 name@example.com。</source>
        <translation>Type your full e-mail address, for example name@example.com.</translation>
    </message>
    <message>
        <source>（依網域猜測）</source>
        <translation>(guessed from the domain)</translation>
    </message>
    <message>
        <source>請詳細填寫資料！</source>
        <translation>Please fill in all the details!</translation>
    </message>
    <message>
        <source>請輸入密碼（或應用程式密碼）。</source>
        <translation>Please enter the password (or app password).</translation>
    </message>
    <message>
        <source>測試連線...</source>
        <translation>Testing the connection...</translation>
    </message>
    <message>
        <source>
主體：%1
簽發者：%2
有效期間：%3 – %4
SHA-256：%5</source>
        <translation>
Subject: %1
Issuer: %2
Valid: %3 – %4
SHA-256: %5</translation>
    </message>
    <message>
        <source>我認得這張憑證，信任它並重新測試</source>
        <translation>I recognize this certificate: trust it and test again</translation>
    </message>
    <message>
        <source>密碼</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>以瀏覽器登入 (OAuth2)</source>
        <translation>Sign in with browser (OAuth2)</translation>
    </message>
    <message>
        <source>登入方式</source>
        <translation>Sign-in method</translation>
    </message>
    <message>
        <source>以瀏覽器登入</source>
        <translation>Sign in with browser</translation>
    </message>
    <message>
        <source>按「以瀏覽器登入」，在瀏覽器中登入 %1 並允許 Mailvane 讀取郵件。</source>
        <translation>Press “Sign in with browser”, sign in to %1 in the browser and allow Mailvane to read your mail.</translation>
    </message>
    <message>
        <source>這個 Mailvane 建置時沒有 %1 的用戶端 ID，無法以瀏覽器登入。</source>
        <translation>This Mailvane was built without a client ID for %1, so it cannot sign in with the browser.</translation>
    </message>
    <message>
        <source>請在 %1 帳戶的安全性設定建立應用程式密碼，改選「密碼」並填在密碼欄。</source>
        <translation>Create an app password in your %1 account’s security settings, choose “Password” and enter it in the password field.</translation>
    </message>
    <message>
        <source>%1 不接受密碼登入：需要建置時提供用戶端 ID 的 Mailvane（見 README）。</source>
        <translation>%1 does not accept password sign-in: you need a Mailvane built with a client ID (see the README).</translation>
    </message>
    <message>
        <source>正在為「%1」以瀏覽器登入，請先完成或取消。</source>
        <translation>A browser sign-in for “%1” is under way; finish or cancel it first.</translation>
    </message>
    <message>
        <source>無法開始以瀏覽器登入。</source>
        <translation>Could not start the browser sign-in.</translation>
    </message>
    <message>
        <source>取消登入</source>
        <translation>Cancel sign-in</translation>
    </message>
    <message>
        <source>請在瀏覽器中登入 %1 並允許 Mailvane 讀取郵件...</source>
        <translation>Sign in to %1 in your browser and allow Mailvane to read your mail...</translation>
    </message>
    <message>
        <source>已以瀏覽器登入 %1。</source>
        <translation>Signed in to %1 with the browser.</translation>
    </message>
    <message>
        <source>請先按「以瀏覽器登入」。</source>
        <translation>Press “Sign in with browser” first.</translation>
    </message>
</context>
<context>
    <name>TFormMailList</name>
    <message>
        <source>下載信件</source>
        <translation>View Mail</translation>
    </message>
    <message>
        <source>刪除信件</source>
        <translation>Delete Mail</translation>
    </message>
    <message>
        <source>復原信件</source>
        <translation>Undelete Mail</translation>
    </message>
    <message>
        <source>編號</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>時間</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>發信人</source>
        <translation>From</translation>
    </message>
    <message>
        <source>標題</source>
        <translation>Subject</translation>
    </message>
    <message>
        <source>陳小明 &lt;xiaoming.chen@example.com.tw&gt;</source>
        <extracomment>A typical sender, only measured to size the column.</extracomment>
        <translation>Christopher Miller &lt;christopher.miller@example.com&gt;</translation>
    </message>
    <message>
        <source>新郵件的標題：本週的會議紀錄與附件</source>
        <extracomment>A typical subject, only measured to size the column.</extracomment>
        <translation>Subject of a new message: minutes of this week&apos;s meeting</translation>
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
        <translation>Language: </translation>
    </message>
    <message>
        <source>下次啟動時生效</source>
        <translation>Takes effect at the next start</translation>
    </message>
    <message>
        <source>設定選單</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>一般</source>
        <translation>General</translation>
    </message>
    <message>
        <source>網路最大等待時間 : </source>
        <translation>Network timeout: </translation>
    </message>
    <message>
        <source>秒.</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>瀏覽</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>電子郵件程式 : </source>
        <translation>Mail program: </translation>
    </message>
    <message>
        <source>字型 : </source>
        <translation>Viewer font: </translation>
    </message>
    <message>
        <source>列印字形 : </source>
        <translation>Printer font: </translation>
    </message>
    <message>
        <source>密碼保護 : </source>
        <translation>Password protection: </translation>
    </message>
    <message>
        <source>桌面通知</source>
        <translation>Desktop notifications</translation>
    </message>
    <message>
        <source>密碼存入鑰匙圈</source>
        <translation>Keep passwords in the keyring</translation>
    </message>
    <message>
        <source>開機時自動啟動</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>網路</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>信箱名稱 : </source>
        <translation>Mailbox name: </translation>
    </message>
    <message>
        <source>主機位址 : </source>
        <translation>Server: </translation>
    </message>
    <message>
        <source>使用者名稱 : </source>
        <translation>User name: </translation>
    </message>
    <message>
        <source>密碼 : </source>
        <translation>Password: </translation>
    </message>
    <message>
        <source>無</source>
        <translation>None</translation>
    </message>
    <message>
        <source>新信件即時推送 (IMAP IDLE)</source>
        <translation>Push new mail at once (IMAP IDLE)</translation>
    </message>
    <message>
        <source>通訊協定 : </source>
        <translation>Protocol: </translation>
    </message>
    <message>
        <source>安全連線 : </source>
        <translation>Encryption: </translation>
    </message>
    <message>
        <source>連接埠 : </source>
        <translation>Port: </translation>
    </message>
    <message>
        <source>信任的憑證 : </source>
        <translation>Trusted certificate: </translation>
    </message>
    <message>
        <source>信件匣 : </source>
        <translation>Folder: </translation>
    </message>
    <message>
        <source>新增</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>更改</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>刪除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>測試連線</source>
        <translation>Test Connection</translation>
    </message>
    <message>
        <source>音效動畫</source>
        <translation>Sound and Animation</translation>
    </message>
    <message>
        <source>動畫 : </source>
        <translation>Animation: </translation>
    </message>
    <message>
        <source>音效 : </source>
        <translation>Sound: </translation>
    </message>
    <message>
        <source>以易讀內容開啟信件</source>
        <translation>Open mail in readable form</translation>
    </message>
    <message>
        <source>撥號</source>
        <translation>Dial-up</translation>
    </message>
    <message>
        <source>使用數據機</source>
        <translation>Use a modem</translation>
    </message>
    <message>
        <source>已連線時才檢查</source>
        <translation>Check only when online</translation>
    </message>
    <message>
        <source>重撥次數 : </source>
        <translation>Redial: </translation>
    </message>
    <message>
        <source>次.</source>
        <translation>times</translation>
    </message>
    <message>
        <source>重撥間隔 : </source>
        <translation>Redial interval: </translation>
    </message>
    <message>
        <source>撥號號碼 : </source>
        <translation>Dial-up entry: </translation>
    </message>
    <message>
        <source>登入密碼 : </source>
        <translation>Login password: </translation>
    </message>
    <message>
        <source>過濾信件</source>
        <translation>Mail Filters</translation>
    </message>
    <message>
        <source>關鍵字</source>
        <translation>Keyword</translation>
    </message>
    <message>
        <source>顏色</source>
        <translation>Color</translation>
    </message>
    <message>
        <source>時間表</source>
        <translation>Schedule</translation>
    </message>
    <message>
        <source>每隔</source>
        <translation>Every</translation>
    </message>
    <message>
        <source>分鐘.</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>每天</source>
        <translation>Daily at</translation>
    </message>
    <message>
        <source>點鐘.</source>
        <translation>o&apos;clock</translation>
    </message>
    <message>
        <source>(請填由1至24之整數，請以逗號分開，例 6,12,18,24)</source>
        <translation>(Whole hours from 1 to 24, separated by commas, e.g. 6,12,18,24)</translation>
    </message>
    <message>
        <source>在 Wayland 上，訊息視窗開啟時暫停檢查只看 Mailvane 自己的視窗。</source>
        <translation>On Wayland, checks pause for an open message window only when it is one of Mailvane&apos;s own windows.</translation>
    </message>
    <message>
        <source>信任的憑證指紋格式錯誤，應為 64 位十六進位數字！</source>
        <translation>The trusted certificate&apos;s fingerprint is malformed: it must be 64 hexadecimal digits!</translation>
    </message>
    <message>
        <source>%1

主體：%2
簽發者：%3
有效期間：%4 至 %5
指紋 (SHA-256)：%6

確定這是您的郵件伺服器的憑證，並要信任它嗎？</source>
        <translation>%1

Subject: %2
Issuer: %3
Valid: %4 to %5
Fingerprint (SHA-256): %6

Are you sure this is your mail server&apos;s certificate, and do you want to trust it?</translation>
    </message>
    <message>
        <source>請詳細填寫資料！</source>
        <translation>Please fill in all the details!</translation>
    </message>
    <message>
        <source>最多設定10個信箱，請先刪除部份信箱。</source>
        <translation>At most 10 mailboxes can be set up; please delete some first.</translation>
    </message>
    <message>
        <source>信箱名稱不正確，請重新命名。</source>
        <translation>The mailbox name is not valid; please choose another name.</translation>
    </message>
    <message>
        <source>信箱名稱重覆，請重新命名。</source>
        <translation>A mailbox with this name already exists; please choose another name.</translation>
    </message>
    <message>
        <source>除密碼外皆須填寫！</source>
        <translation>Every field except the password must be filled in!</translation>
    </message>
    <message>
        <source>未安裝RASAPI32.DLL</source>
        <translation>RASAPI32.DLL is not installed</translation>
    </message>
    <message>
        <source>沒有撥號設定！</source>
        <translation>No dial-up entries are set up!</translation>
    </message>
    <message>
        <source>無法更改開機自動啟動設定：</source>
        <translation>Cannot change the start-at-login setting: </translation>
    </message>
    <message>
        <source>以瀏覽器登入</source>
        <translation>Sign in with browser</translation>
    </message>
    <message>
        <source>密碼</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>以瀏覽器登入 (OAuth2)</source>
        <translation>Sign in with browser (OAuth2)</translation>
    </message>
    <message>
        <source>自訂</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>登入方式 : </source>
        <translation>Sign-in method: </translation>
    </message>
    <message>
        <source>登入服務 : </source>
        <translation>Sign-in service: </translation>
    </message>
    <message>
        <source>授權網址 : </source>
        <translation>Authorization URL: </translation>
    </message>
    <message>
        <source>權杖網址 : </source>
        <translation>Token URL: </translation>
    </message>
    <message>
        <source>授權範圍 : </source>
        <translation>Scope: </translation>
    </message>
    <message>
        <source>用戶端 ID : </source>
        <translation>Client ID: </translation>
    </message>
    <message>
        <source>用戶端密鑰 : </source>
        <translation>Client secret: </translation>
    </message>
    <message>
        <source>登入機制 : </source>
        <translation>Mechanism: </translation>
    </message>
    <message>
        <source>填入在登入服務註冊的授權網址、權杖網址、授權範圍與用戶端 ID，再按「以瀏覽器登入」。</source>
        <translation>Enter the authorization URL, token URL, scope and client ID registered with the sign-in service, then press “Sign in with browser”.</translation>
    </message>
    <message>
        <source>服務表中沒有「%1」這個登入服務。</source>
        <translation>The service table has no sign-in service “%1”.</translation>
    </message>
    <message>
        <source>按「以瀏覽器登入」，在瀏覽器中登入 %1 並允許 Mailvane 讀取郵件。</source>
        <translation>Press “Sign in with browser”, sign in to %1 in the browser and allow Mailvane to read your mail.</translation>
    </message>
    <message>
        <source>這個 Mailvane 建置時沒有 %1 的用戶端 ID（%2），請在「用戶端 ID」填入您自己註冊的 ID。</source>
        <translation>This Mailvane was built without a client ID for %1 (%2); enter one you registered yourself under “Client ID”.</translation>
    </message>
    <message>
        <source>%1 仍接受應用程式密碼：在帳戶的安全性設定建立一組，改選「密碼」並填在密碼欄。</source>
        <translation>%1 still accepts app passwords: create one in your account’s security settings, choose “Password” and enter it in the password field.</translation>
    </message>
    <message>
        <source>%1 不接受密碼登入。</source>
        <translation>%1 does not accept password sign-in.</translation>
    </message>
    <message>
        <source>請先填寫信箱名稱與使用者名稱，再以瀏覽器登入。</source>
        <translation>Enter the mailbox name and user name before signing in with the browser.</translation>
    </message>
    <message>
        <source>這個程式無法以瀏覽器登入。</source>
        <translation>This program cannot sign in with a browser.</translation>
    </message>
    <message>
        <source>正在為「%1」以瀏覽器登入，請先完成或取消。</source>
        <translation>A browser sign-in for “%1” is under way; finish or cancel it first.</translation>
    </message>
    <message>
        <source>無法開始以瀏覽器登入。</source>
        <translation>Could not start the browser sign-in.</translation>
    </message>
    <message>
        <source>取消登入</source>
        <translation>Cancel sign-in</translation>
    </message>
    <message>
        <source>已以瀏覽器登入「%1」，Mailvane 可以收這個信箱的信了。</source>
        <translation>Signed in to “%1” with the browser; Mailvane can now check this mailbox.</translation>
    </message>
    <message>
        <source>「%1」以瀏覽器登入失敗：%2</source>
        <translation>Browser sign-in for “%1” failed: %2</translation>
    </message>
    <message>
        <source>以瀏覽器登入必須使用加密連線：請選 STARTTLS 或 SSL/TLS。</source>
        <translation>Signing in with the browser needs an encrypted connection: choose STARTTLS or SSL/TLS.</translation>
    </message>
</context>
<context>
    <name>TFormPassword</name>
    <message>
        <source>請輸入密碼</source>
        <translation>Please enter the password</translation>
    </message>
    <message>
        <source>確定</source>
        <translation>OK</translation>
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
    <name>TFormWelcome</name>
    <message>
        <source>歡迎使用 Mailvane</source>
        <translation>Welcome to Mailvane</translation>
    </message>
    <message>
        <source>&lt;b&gt;Mailvane 替你留意 POP3 信箱裡的新信。&lt;/b&gt;&lt;br&gt;&lt;br&gt;新增我的信箱：填寫電子郵件地址與密碼，常見郵件服務的伺服器會自動填好。&lt;br&gt;示範信箱：不需要帳號，Mailvane 在本機提供十幾封信，讓你馬上看到它會做什麼。&lt;br&gt;&lt;br&gt;之後都可以在「設定 → 網路設定」修改或刪除信箱。</source>
        <translation>&lt;b&gt;Mailvane watches your POP3 mailboxes for new mail.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Add my mailbox: type your e-mail address and password; the servers of common mail services are filled in for you.&lt;br&gt;Demo mailbox: no account needed; Mailvane serves a dozen messages on this computer, so you see at once what it does.&lt;br&gt;&lt;br&gt;You can change or delete mailboxes at any time in “Settings → Network Settings”.</translation>
    </message>
    <message>
        <source>新增我的信箱...</source>
        <translation>Add My Mailbox...</translation>
    </message>
    <message>
        <source>試用示範信箱</source>
        <translation>Try the Demo Mailbox</translation>
    </message>
    <message>
        <source>移除示範信箱</source>
        <translation>Remove the Demo Mailbox</translation>
    </message>
    <message>
        <source>關閉</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>沒有信箱時，啟動後顯示這個視窗</source>
        <translation>Show this window at start-up while no mailbox is set up</translation>
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
    <name>TMimeMessage</name>
    <message>
        <source>附件%1</source>
        <translation>attachment%1</translation>
    </message>
    <message>
        <source>寄件者: </source>
        <translation>From: </translation>
    </message>
    <message>
        <source>收件者: </source>
        <translation>To: </translation>
    </message>
    <message>
        <source>日期: </source>
        <translation>Date: </translation>
    </message>
    <message>
        <source>主旨: </source>
        <translation>Subject: </translation>
    </message>
    <message>
        <source>

附件:</source>
        <translation>

Attachments:</translation>
    </message>
    <message numerus="yes">
        <source>
  %1 (%2, %3 位元組)</source>
        <translation>
            <numerusform>
  %1 (%2, %3 byte)</numerusform>
            <numerusform>
  %1 (%2, %3 bytes)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TNewMailbox</name>
    <message>
        <source>信箱</source>
        <translation>Mailbox</translation>
    </message>
    <message>
        <source>請詳細填寫資料！</source>
        <translation>Please fill in all the details!</translation>
    </message>
    <message>
        <source>最多設定10個信箱，請先刪除部份信箱。</source>
        <translation>At most 10 mailboxes can be set up; please delete some first.</translation>
    </message>
    <message>
        <source>信箱名稱不正確，請重新命名。</source>
        <translation>The mailbox name is not valid; please choose another name.</translation>
    </message>
    <message>
        <source>信箱名稱重覆，請重新命名。</source>
        <translation>A mailbox with this name already exists; please choose another name.</translation>
    </message>
</context>
<context>
    <name>TOAuthAccess</name>
    <message>
        <source>需要重新授權</source>
        <translation>Authorization needed again</translation>
    </message>
    <message>
        <source>沒有設定登入帳號，無法以瀏覽器登入。</source>
        <translation>No login is set, so the browser sign-in cannot start.</translation>
    </message>
    <message>
        <source>等候權杖端點的回應逾時，請稍後再試。</source>
        <translation>The token endpoint did not answer in time; try again later.</translation>
    </message>
    <message>
        <source>權杖端點給的存取權杖已經過期，請稍後再試。</source>
        <translation>The token endpoint gave an access token that has already expired; try again later.</translation>
    </message>
    <message>
        <source>這個信箱沒有設定以瀏覽器登入（Auth=OAuth2）。</source>
        <translation>This mailbox is not set to sign in with the browser (Auth=OAuth2).</translation>
    </message>
</context>
<context>
    <name>TOAuthFlow</name>
    <message>
        <source>這個位址只接受 Mailvane 授權的回應。</source>
        <translation>This address only accepts Mailvane&apos;s authorization responses.</translation>
    </message>
    <message>
        <source>等候瀏覽器中的授權逾時，已中止這次授權。</source>
        <translation>Waiting for the authorization in the browser timed out; this authorization was stopped.</translation>
    </message>
    <message>
        <source>沒有可以開啟瀏覽器的方法。</source>
        <translation>There is no way to open a browser.</translation>
    </message>
    <message>
        <source>無法在本機開啟接收授權回應的連接埠：%1</source>
        <translation>Cannot open a local port to receive the authorization response: %1</translation>
    </message>
    <message>
        <source>沒有可用的已儲存授權，需要重新授權。</source>
        <translation>There is no usable stored authorization; please sign in again.</translation>
    </message>
    <message>
        <source>已取消授權。</source>
        <translation>Authorization cancelled.</translation>
    </message>
    <message>
        <source>授權回應與這次登入不符（state 不同），已中止這次授權。這可能是過期或偽造的回應，請重新授權。</source>
        <translation>The authorization response does not belong to this sign-in (the state differs); this authorization was stopped. It may be an expired or forged response; please sign in again.</translation>
    </message>
    <message>
        <source>授權被拒絕了，Mailvane 沒有取得存取信箱的權限。</source>
        <translation>The authorization was denied; Mailvane did not get access to the mailbox.</translation>
    </message>
    <message>
        <source>授權服務商回報錯誤（%1），沒有完成授權。</source>
        <translation>The provider reported an error (%1); the authorization was not completed.</translation>
    </message>
    <message>
        <source>授權回應中沒有授權碼，沒有完成授權。</source>
        <translation>The authorization response carries no authorization code; the authorization was not completed.</translation>
    </message>
    <message>
        <source>逾時</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>無法從權杖端點取得權杖（%1），請稍後再試。</source>
        <translation>Could not get a token from the token endpoint (%1); please try again later.</translation>
    </message>
    <message>
        <source>服務商不再接受已儲存的授權（invalid_grant），需要重新授權。</source>
        <translation>The provider no longer accepts the stored authorization (invalid_grant); please sign in again.</translation>
    </message>
    <message>
        <source>服務商拒絕了授權碼（invalid_grant），請重新授權。</source>
        <translation>The provider refused the authorization code (invalid_grant); please sign in again.</translation>
    </message>
    <message>
        <source>權杖端點拒絕了要求（HTTP %1，%2）。</source>
        <translation>The token endpoint refused the request (HTTP %1, %2).</translation>
    </message>
    <message>
        <source>權杖端點的回應無法辨識（HTTP %1）。</source>
        <translation>The token endpoint&apos;s response was not understood (HTTP %1).</translation>
    </message>
    <message>
        <source>Mailvane 已取得授權，可以關閉這個分頁了。</source>
        <translation>Mailvane has been authorized. You can close this tab now.</translation>
    </message>
    <message>
        <source>Mailvane 沒有完成授權：%1</source>
        <translation>Mailvane did not complete the authorization: %1</translation>
    </message>
</context>
<context>
    <name>TOAuthProvider</name>
    <message>
        <source>沒有設定%1（%2）。</source>
        <translation>No %1 is set (%2).</translation>
    </message>
    <message>
        <source>%1（%2）不是有效的網址：%3</source>
        <translation>The %1 (%2) is not a valid URL: %3</translation>
    </message>
    <message>
        <source>%1（%2）必須使用 https（本機位址除外）：%3</source>
        <translation>The %1 (%2) must use https (except for local addresses): %3</translation>
    </message>
    <message>
        <source>服務表中沒有「%1」這個登入服務（OAuthProvider）。</source>
        <translation>The service table has no sign-in service “%1” (OAuthProvider).</translation>
    </message>
    <message>
        <source>登入方式「%1」無法辨認（OAuthMechanism），只能是 XOAUTH2 或 OAUTHBEARER。</source>
        <translation>The sign-in method “%1” is not recognized (OAuthMechanism); it must be XOAUTH2 or OAUTHBEARER.</translation>
    </message>
    <message>
        <source>授權網址</source>
        <translation>authorization URL</translation>
    </message>
    <message>
        <source>權杖網址</source>
        <translation>token URL</translation>
    </message>
    <message>
        <source>沒有設定授權範圍（OAuthScope）。</source>
        <translation>No authorization scope is set (OAuthScope).</translation>
    </message>
    <message>
        <source>這個 Mailvane 建置時沒有提供 %1 的用戶端 ID（%2），此信箱也沒有設定 OAuthClientId。</source>
        <translation>This build of Mailvane has no client ID for %1 (%2), and this mailbox sets no OAuthClientId.</translation>
    </message>
    <message>
        <source>沒有設定用戶端 ID（OAuthClientId）。</source>
        <translation>No client ID is set (OAuthClientId).</translation>
    </message>
    <message>
        <source>用戶端 ID、用戶端密鑰或授權範圍含有控制字元。</source>
        <translation>The client ID, client secret or authorization scope contains control characters.</translation>
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
    <name>TServicePresets</name>
    <message>
        <source>請先在 Gmail 設定的「轉寄和 POP/IMAP」啟用 POP，再到 Google 帳戶建立應用程式密碼，填在密碼欄。</source>
        <translation>First turn on POP under “Forwarding and POP/IMAP” in the Gmail settings, then create an app password in your Google Account and enter it as the password.</translation>
    </message>
    <message>
        <source>Outlook.com 只接受以瀏覽器登入（OAuth2）；請先在 Outlook.com 設定的「郵件 → 轉寄和 IMAP」允許以 POP 收信。</source>
        <translation>Outlook.com accepts only signing in with the browser (OAuth2); first allow POP under “Mail → Forwarding and IMAP” in the Outlook.com settings.</translation>
    </message>
    <message>
        <source>請先在 Yahoo 帳戶的安全性設定產生應用程式密碼，填在密碼欄。</source>
        <translation>First generate an app password in your Yahoo account&apos;s security settings and enter it as the password.</translation>
    </message>
    <message>
        <source>請先在 QQ 郵箱「設定 → 帳戶」開啟 POP3 服務，並把產生的授權碼填在密碼欄。</source>
        <translation>First turn on the POP3 service in QQ Mail under “Settings → Account”, and enter the authorization code it gives you as the password.</translation>
    </message>
    <message>
        <source>請先在 163 郵箱設定開啟 POP3 服務，並把設定的用戶端授權碼填在密碼欄。</source>
        <translation>First turn on the POP3 service in the 163 Mail settings, and enter the client authorization code you set there as the password.</translation>
    </message>
    <message>
        <source>請先在 GMX 網頁信箱的設定中允許以 POP3 收信。</source>
        <translation>First allow POP3 access in the settings of your GMX webmail.</translation>
    </message>
    <message>
        <source>請先在 Fastmail 設定的「密碼與安全性」建立允許 POP 的應用程式密碼，填在密碼欄。</source>
        <translation>First create an app password that allows POP under “Passwords and security” in the Fastmail settings, and enter it as the password.</translation>
    </message>
    <message>
        <source>伺服器是依地址猜的；若測試失敗，請查詢郵件服務商的 IMAP 或 POP3 設定，稍後在「設定 → 網路設定」修改。</source>
        <translation>The server is guessed from the address; if the test fails, look up your mail provider&apos;s IMAP or POP3 settings and change them later in “Settings → Network Settings”.</translation>
    </message>
</context>
<context>
    <name>TSessionTexts</name>
    <message>
        <source>開始連線...</source>
        <translation>Connecting...</translation>
    </message>
    <message>
        <source>查詢伺服器功能...</source>
        <translation>Asking for the server&apos;s capabilities...</translation>
    </message>
    <message>
        <source>開始加密...</source>
        <translation>Starting encryption...</translation>
    </message>
    <message>
        <source>傳送使用者名稱...</source>
        <translation>Sending user name...</translation>
    </message>
    <message>
        <source>傳送密碼...</source>
        <translation>Sending password...</translation>
    </message>
    <message>
        <source>登入成功！</source>
        <translation>Logged in!</translation>
    </message>
    <message>
        <source>開始離線...</source>
        <translation>Logging out...</translation>
    </message>
    <message>
        <source>離線...</source>
        <translation>Disconnecting...</translation>
    </message>
    <message>
        <source>離線成功！</source>
        <translation>Logged out!</translation>
    </message>
    <message>
        <source>接收資料...</source>
        <translation>Receiving data...</translation>
    </message>
    <message>
        <source>刪除信件...</source>
        <translation>Deleting mail...</translation>
    </message>
    <message>
        <source>下載信件...</source>
        <translation>Downloading mail...</translation>
    </message>
    <message>
        <source>即時推送</source>
        <translation>Push</translation>
    </message>
    <message>
        <source>連線完成！</source>
        <translation>Done!</translation>
    </message>
    <message>
        <source>無法連線！</source>
        <translation>Cannot connect!</translation>
    </message>
    <message>
        <source>使用者名稱或密碼錯誤！</source>
        <translation>Wrong user name or password!</translation>
    </message>
    <message>
        <source>接收資料錯誤！</source>
        <translation>Error receiving data!</translation>
    </message>
    <message>
        <source>刪除信件錯誤！</source>
        <translation>Error deleting mail!</translation>
    </message>
    <message>
        <source>下載信件錯誤</source>
        <translation>Error downloading mail</translation>
    </message>
    <message>
        <source>無法離線！</source>
        <translation>Cannot log out!</translation>
    </message>
    <message>
        <source>伺服器不提供 STARTTLS 加密，未送出帳號密碼！</source>
        <translation>The server offers no STARTTLS encryption; user name and password were not sent!</translation>
    </message>
    <message>
        <source>伺服器拒絕 STARTTLS 加密，未送出帳號密碼！</source>
        <translation>The server refused STARTTLS encryption; user name and password were not sent!</translation>
    </message>
    <message>
        <source>伺服器在加密前送出多餘的資料，已中止連線！</source>
        <translation>The server sent extra data before encryption; the connection was closed!</translation>
    </message>
    <message>
        <source>無法建立安全連線！</source>
        <translation>Cannot establish a secure connection!</translation>
    </message>
    <message>
        <source>信箱「%1」的安全連線失敗。
%2
</source>
        <translation>The secure connection of mailbox “%1” failed.
%2
</translation>
    </message>
    <message numerus="yes">
        <source>有 %n 封標記刪除的信件找不到，未能刪除！
</source>
        <translation>
            <numerusform>%n message marked for deletion was not found and could not be deleted!
</numerusform>
            <numerusform>%n messages marked for deletion were not found and could not be deleted!
</numerusform>
        </translation>
    </message>
    <message>
        <source>信件已移動或刪除，請重新檢查！</source>
        <translation>Messages were moved or deleted; please check again!</translation>
    </message>
    <message>
        <source>信件過大！</source>
        <translation>Message too large!</translation>
    </message>
    <message>
        <source>連線中斷!</source>
        <translation>Connection aborted!</translation>
    </message>
    <message>
        <source>連線中斷！</source>
        <translation>Connection lost!</translation>
    </message>
    <message>
        <source>主機 : </source>
        <translation>Server: </translation>
    </message>
    <message>
        <source>請填寫主機位址！</source>
        <translation>Please enter the server address!</translation>
    </message>
    <message>
        <source>安全連線設定「%1」無法辨認！</source>
        <translation>The security setting “%1” is not recognized!</translation>
    </message>
    <message>
        <source>信任的憑證指紋格式錯誤，應為 64 位十六進位數字！</source>
        <translation>The trusted certificate&apos;s fingerprint is malformed: it must be 64 hexadecimal digits!</translation>
    </message>
    <message>
        <source>使用者名稱或密碼含有換行字元！</source>
        <translation>The user name or password contains a line break!</translation>
    </message>
    <message>
        <source>伺服器的回應過長，不像 POP3 伺服器。</source>
        <translation>The server&apos;s reply is too long; it does not look like a POP3 server.</translation>
    </message>
    <message>
        <source>伺服器中斷了連線。</source>
        <translation>The server closed the connection.</translation>
    </message>
    <message>
        <source>伺服器沒有送出 POP3 問候。</source>
        <translation>The server sent no POP3 greeting.</translation>
    </message>
    <message>
        <source>伺服器不提供 STARTTLS 加密，未送出帳號密碼。</source>
        <translation>The server offers no STARTTLS encryption; user name and password were not sent.</translation>
    </message>
    <message>
        <source>伺服器拒絕 STARTTLS 加密（%1），未送出帳號密碼。</source>
        <translation>The server refused STARTTLS encryption (%1); user name and password were not sent.</translation>
    </message>
    <message>
        <source>伺服器在加密前送出多餘的資料，已中止連線。</source>
        <translation>The server sent extra data before encryption; the connection was closed.</translation>
    </message>
    <message>
        <source>使用者名稱或密碼錯誤！（伺服器：%1）</source>
        <translation>Wrong user name or password! (Server: %1)</translation>
    </message>
    <message>
        <source>無法連線（錯誤 %1：%2）。</source>
        <translation>Cannot connect (error %1: %2).</translation>
    </message>
    <message>
        <source>連線成功：已透過加密連線登入並登出。</source>
        <translation>Connection OK: logged in and out over an encrypted connection.</translation>
    </message>
    <message>
        <source>連線成功：已登入並登出（未加密）。</source>
        <translation>Connection OK: logged in and out (not encrypted).</translation>
    </message>
    <message>
        <source>通訊協定設定「%1」無法辨認，應為 POP3 或 IMAP！</source>
        <translation>The protocol setting “%1” is not recognized; it must be POP3 or IMAP!</translation>
    </message>
    <message>
        <source>
伺服器支援 IDLE：新信件會即時推送。</source>
        <translation>
The server supports IDLE: new mail shows at once.</translation>
    </message>
    <message>
        <source>
伺服器不支援 IDLE：只能依排程檢查新信件。</source>
        <translation>
The server does not support IDLE: new mail is found by scheduled checks only.</translation>
    </message>
    <message>
        <source>傳送授權...</source>
        <translation>Sending authorization...</translation>
    </message>
    <message>
        <source>即時推送未啟用（%1），依排程收信。</source>
        <translation>Push is off (%1); mail is checked on the schedule.</translation>
    </message>
    <message>
        <source>伺服器不支援 IDLE</source>
        <translation>the server does not offer IDLE</translation>
    </message>
    <message>
        <source>伺服器拒絕 IDLE</source>
        <translation>the server refused IDLE</translation>
    </message>
    <message>
        <source>帳號或密碼含有須等伺服器回應才能傳送的字元，而伺服器不支援 LITERAL+</source>
        <translation>the login or password has characters that must wait for the server’s go-ahead, and the server lacks LITERAL+</translation>
    </message>
    <message>
        <source>登入未成功</source>
        <translation>login failed</translation>
    </message>
    <message>
        <source>加密連線未能建立</source>
        <translation>the encrypted connection could not be made</translation>
    </message>
    <message>
        <source>無法開啟信件匣</source>
        <translation>the folder could not be opened</translation>
    </message>
    <message>
        <source>信箱「%1」需要重新授權：請按「立即檢查」或在選項中按「以瀏覽器登入」。
</source>
        <translation>Mailbox “%1” needs to be authorized again: press “Check Now”, or “Sign in with browser” in the options.
</translation>
    </message>
    <message>
        <source>信箱「%1」暫時無法取得登入權杖，這次略過。
%2
</source>
        <translation>Mailbox “%1” could not get a sign-in token for now and is skipped this time.
%2
</translation>
    </message>
    <message>
        <source>伺服器不提供 %1 登入，未送出權杖！</source>
        <translation>The server does not offer %1 sign-in; no token was sent!</translation>
    </message>
    <message>
        <source>伺服器拒絕了瀏覽器登入的授權！</source>
        <translation>The server refused the browser sign-in’s authorization!</translation>
    </message>
    <message>
        <source>伺服器暫時無法驗證授權，請稍後再試。</source>
        <translation>The server cannot verify the authorization for now; try again later.</translation>
    </message>
    <message>
        <source>無法以瀏覽器登入：%1</source>
        <translation>Cannot sign in with the browser: %1</translation>
    </message>
    <message>
        <source>登入方式「%1」無法辨認，應為 Password 或 OAuth2！</source>
        <translation>The sign-in method “%1” is not recognized; it must be Password or OAuth2!</translation>
    </message>
    <message>
        <source>以瀏覽器登入（OAuth2）必須使用加密連線（STARTTLS 或 TLS）！</source>
        <translation>Signing in with the browser (OAuth2) needs an encrypted connection (STARTTLS or TLS)!</translation>
    </message>
    <message>
        <source>（伺服器：%1）</source>
        <translation> (Server: %1)</translation>
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
