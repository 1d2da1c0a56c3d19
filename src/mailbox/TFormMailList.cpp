#include "mailbox/TFormMailList.h"

#include "mailbox/TCharset.h"
#include "mailbox/TColumnScale.h"
#include "mailbox/TFormPassword.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TMailHost.h"
#include "mailbox/TMessageDecoder.h"
#include "mailbox/TPop3Reply.h"
#include "net/TSockets.h"
#include "settings/EAbort.h"
#include "settings/TExceptionHook.h"
#include "settings/TIniFile.h"
#include "settings/TIntConvert.h"
#include "widgets/TColorRef.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

const QString kLoginError = QStringLiteral("使用者名稱或密碼錯誤！");
const QString kReceiveError = QStringLiteral("接收資料錯誤！");
const QString kReceiving = QStringLiteral("接收資料...");
const QString kDeleting = QStringLiteral("刪除信件...");
const QString kDeleteError = QStringLiteral("刪除信件錯誤！");
const QString kDownloading = QStringLiteral("下載信件...");
const QString kDownloadError = QStringLiteral("下載信件錯誤");
const QString kMoved = QStringLiteral("信件已移動或刪除，請重新檢查！");
constexpr int kNewRow = 2;
constexpr int kCountRow = 1;
constexpr int kViewLimit = 65534;

// Header values as received; raw 8-bit bytes are read by the charset of the reply's header.
QString displayText(const QByteArray& bytes, const QByteArray& reply)
{
    return TCharset::HeaderText(bytes, reply);
}

QByteArray number(int n)
{
    return QByteArray::number(n);
}

QString idKey(const QByteArray& id)
{
    return QString::fromLatin1(id).toLower();
}

bool sameId(const QByteArray& a, const QByteArray& b)
{
    return !a.isEmpty() && idKey(a) == idKey(b);
}

} // namespace

class TFormMailList::SessionScope {
public:
    explicit SessionScope(TFormMailList* form) : m_form(form) { ++m_form->m_sessionDepth; }
    ~SessionScope()
    {
        if (--m_form->m_sessionDepth == 0) {
            m_form->m_aborting = false;
            if (m_form->m_retired) {
                m_form->deleteLater();
            }
        }
    }
    SessionScope(const SessionScope&) = delete;
    SessionScope& operator=(const SessionScope&) = delete;

private:
    TFormMailList* m_form;
};

TFormMailList::TFormMailList(TMailHost* host, QWidget* parent) : QMdiSubWindow(parent), m_host(host)
{
    setObjectName(QStringLiteral("FormMailList"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ColorStringGrid = new TColorStringGrid(client, 1);
    ColorStringGrid->setObjectName(QStringLiteral("ColorStringGrid"));
    ColorStringGrid->SetColCount(6);
    ColorStringGrid->SetRowCount(2);
    ColorStringGrid->setFrameShape(QFrame::NoFrame);
    ColorStringGrid->setShowGrid(true);
    ColorStringGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ColorStringGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ColorStringGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ColorStringGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ColorStringGrid->setToolTip(QStringLiteral("Right click for pop-up menu. Double click to view selected mail."));
    const int designed[6] = {16, 39, 44, 99, 90, 90};
    for (int i = 0; i < 6; ++i) {
        ColorStringGrid->SetColWidths(i, designed[i]);
    }
    ColorStringGrid->OnGetCellColor = [this](TColorStringGrid* sender, int row, int col, QStyle::State state,
                                             TCellPaint& paint) {
        ColorStringGridGetCellColor(sender, row, col, state, paint);
    };
    layout->addWidget(ColorStringGrid);

    StatusBar = new QStatusBar(client);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    layout->addWidget(StatusBar);

    EditPassword = new QLineEdit(client);
    EditPassword->setObjectName(QStringLiteral("EditPassword"));
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setFocusPolicy(Qt::NoFocus);
    EditPassword->setVisible(false);

    Socket = new TSockets(this);
    Socket->setObjectName(QStringLiteral("Socket"));
    Socket->Port = QStringLiteral("110");
    Socket->MaximumReceiveLength = 8192;
    Socket->NonBlocking = false;
    Socket->OnErrorOccurred = [this](TSockets* sender, int socket, int error, const QString& msg) {
        SocketErrorOccurred(sender, socket, error, msg);
    };

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopMenuView = PopupMenu->addAction(QStringLiteral("下載信件"));
    PopMenuView->setObjectName(QStringLiteral("PopMenuView"));
    PopMenuView->setStatusTip(QStringLiteral("View selected mail."));
    PopMenuDelete = PopupMenu->addAction(QStringLiteral("刪除信件"));
    PopMenuDelete->setObjectName(QStringLiteral("PopMenuDelete"));
    PopMenuDelete->setStatusTip(QStringLiteral("Delete selected mail."));
    PopMenuUndelete = PopupMenu->addAction(QStringLiteral("復原信件"));
    PopMenuUndelete->setObjectName(QStringLiteral("PopMenuUndelete"));
    PopMenuUndelete->setStatusTip(QStringLiteral("Undelete selected mail."));
    connect(PopMenuView, &QAction::triggered, this, [this] { TExceptionHook::Run([this] { View(TOrigin::User); }); });
    connect(PopMenuDelete, &QAction::triggered, this,
            [this] { TExceptionHook::Run([this] { PopMenuDeleteClick(PopMenuDelete); }); });
    connect(PopMenuUndelete, &QAction::triggered, this,
            [this] { TExceptionHook::Run([this] { PopMenuDeleteClick(PopMenuUndelete); }); });

    ColorStringGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ColorStringGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu->popup(ColorStringGrid->viewport()->mapToGlobal(pos)); });
    connect(ColorStringGrid, &TColorStringGrid::CellDoubleClicked, this,
            [this](int) { TExceptionHook::Run([this] { View(TOrigin::User); }); });

    setWidget(client);

    // FormCreate: the header row.
    const char* headers[6] = {"", "編號", "大小", "時間", "發信人", "標題"};
    for (int i = 0; i < 6; ++i) {
        ColorStringGrid->SetCells(i, 0, QString::fromUtf8(headers[i]));
    }
    m_pumpClock.start();
}

TFormMailList::~TFormMailList() = default;

int TFormMailList::MessageRows() const
{
    return ColorStringGrid->RowCount() - 1;
}

QString TFormMailList::Marker(int row) const
{
    return ColorStringGrid->Cells(0, row);
}

void TFormMailList::SetMarker(int row, const QString& marker)
{
    ColorStringGrid->SetCells(0, row, marker);
}

QByteArray TFormMailList::RowId(int row) const
{
    return row >= 1 && row <= m_rowIds.size() ? m_rowIds.at(row - 1) : QByteArray();
}

void TFormMailList::setStatus(const QString& text)
{
    StatusBar->showMessage(text);
    if (!m_retired) {
        m_host->RepaintMain();
    }
}

void TFormMailList::checkRetired() const
{
    if (m_retired) {
        throw EAbort();
    }
}

void TFormMailList::pumpEvents(bool mayAbort)
{
    // Long settings work between waits would otherwise freeze the program.
    if (m_pumpClock.elapsed() >= 20) {
        QCoreApplication::processEvents();
        m_pumpClock.restart();
        if (mayAbort) {
            checkRetired();
        }
    }
}

// ---- geometry -------------------------------------------------------------------

int TFormMailList::clientWidth() const
{
    return contentsRect().width();
}

void TFormMailList::LoadGeometry()
{
    const TIniFile ini(m_host->SettingsPath());
    const QString name = MailboxName();
    const int top = ini.ReadInteger(name, QStringLiteral("Top"), 0);
    const int left = ini.ReadInteger(name, QStringLiteral("Left"), 0);
    const int height = ini.ReadInteger(name, QStringLiteral("Height"), 200);
    int client = 0;
    QList<int> widths;
    for (int i = 0; i < 6; ++i) {
        widths.append(ini.ReadInteger(name, QStringLiteral("Column%1").arg(i), 50));
        client += widths.last() + 1;
    }
    for (int i = 0; i < 6; ++i) {
        ColorStringGrid->SetColWidths(i, widths.at(i));
    }
    const QMargins frame = contentsMargins();
    setGeometry(left, top, client + frame.left() + frame.right(), height);
    rememberGeometry();
}

void TFormMailList::FormCloseQuery()
{
    const bool normal = !(isMinimized() || isMaximized()) || !m_normalGeometry.isValid();
    const QRect g = normal ? geometry() : m_normalGeometry;
    TIniFile ini(m_host->SettingsPath());
    const QString name = MailboxName();
    ini.WriteInteger(name, QStringLiteral("Top"), g.y());
    ini.WriteInteger(name, QStringLiteral("Left"), g.x());
    ini.WriteInteger(name, QStringLiteral("Height"), g.height());
    // The next start sizes the window from the columns: save those of the normal window.
    for (int i = 0; i < 6; ++i) {
        const int width = !normal && i < m_normalWidths.size() ? m_normalWidths.at(i) : ColorStringGrid->ColWidths(i);
        ini.WriteInteger(name, QStringLiteral("Column%1").arg(i), width);
    }
}

void TFormMailList::FormResize()
{
    QList<int> widths;
    for (int i = 0; i < 6; ++i) {
        widths.append(ColorStringGrid->ColWidths(i));
    }
    const QList<int> scaled = TColumnScale::Rescale(widths, clientWidth());
    for (int i = 0; i < 6; ++i) {
        ColorStringGrid->SetColWidths(i, scaled.at(i));
    }
}

void TFormMailList::rememberGeometry()
{
    if (!isMinimized() && !isMaximized()) {
        m_normalGeometry = geometry();
        m_normalWidths.clear();
        for (int i = 0; i < 6; ++i) {
            m_normalWidths.append(ColorStringGrid->ColWidths(i));
        }
    }
}

void TFormMailList::closeEvent(QCloseEvent* event)
{
    TExceptionHook::Run([this] { FormCloseQuery(); });
    // The user's close only minimises; the main window destroys the window at exit.
    event->ignore();
    showMinimized();
}

void TFormMailList::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    // A minimised window is a title bar: squeezing the columns into it would lose them.
    if (!isMinimized()) {
        FormResize();
    }
    rememberGeometry();
}

void TFormMailList::moveEvent(QMoveEvent* event)
{
    QMdiSubWindow::moveEvent(event);
    rememberGeometry();
}

// ---- drawing and pop-up menu ------------------------------------------------------

void TFormMailList::ColorStringGridGetCellColor(TColorStringGrid* sender, int ARow, int ACol, QStyle::State,
                                                TCellPaint& paint)
{
    TColorStringGrid* grid = sender ? sender : ColorStringGrid;
    const QColor highlight = grid->HighlightColor();
    const bool active = mdiArea() ? mdiArea()->activeSubWindow() == this : isActiveWindow();
    if (!active && ARow != 0 && paint.Brush.color() == highlight) {
        paint.Brush = QBrush(grid->GridColor());
        paint.FontColor = palette().color(QPalette::WindowText);
    }
    const QString text = grid->Cells(ACol, ARow);
    if (text == QLatin1String("*") || text == QLatin1String("x")) {
        paint.FontColor = QColor(255, 0, 0);
    }
    if ((ACol == 0 || ACol == 4 || ACol == 5) && paint.Brush.color() != highlight && ARow != 0 && !text.isEmpty()) {
        const TFilterRules& rules = m_host->Filters();
        const QString upper = THeaderExtract::UpperAscii(text);
        for (int k = 0; k < 5; ++k) {
            if (!rules.HighLight[k].isEmpty() && upper.contains(rules.HighLight[k])) {
                if (rules.Color[k]) {
                    paint.FontColor = TColorRef::ToQColor(rules.HighLightColor[k]);
                }
                break;
            }
        }
    }
}

void TFormMailList::PopMenuDeleteClick(QObject* sender)
{
    m_host->DeleteCommand(sender);
}

// ---- sessions ---------------------------------------------------------------------

void TFormMailList::Retire()
{
    if (m_retired) {
        return;
    }
    m_retired = true;
    if (InSession()) {
        // Reports of the cancelled wait are not shown; the session notices the mark
        // right after the wait and ends with the silent abort.
        m_aborting = true;
        Socket->Disconnect();
    } else {
        deleteLater();
    }
}

QByteArray TFormMailList::readReply(bool multiLine, qint64 limit, const QString& errorText, bool keepStart)
{
    int scanned = 0;
    for (;;) {
        const int lineEnd = m_pending.indexOf("\r\n");
        if (lineEnd >= 0) {
            // A refusal of a multi-line command is a single line.
            if (!multiLine || m_pending.isEmpty() || m_pending.at(0) != '+') {
                const QByteArray reply = m_pending.left(lineEnd + 2);
                m_pending.remove(0, lineEnd + 2);
                return reply;
            }
            const int end = m_pending.indexOf("\r\n.\r\n", qMax(0, scanned - 4));
            if (end >= 0) {
                const QByteArray reply = m_pending.left(end + 5);
                m_pending.remove(0, end + 5);
                return reply;
            }
            scanned = int(m_pending.size());
        }
        if (m_pending.size() > limit) {
            if (keepStart && multiLine && lineEnd >= 0 && m_pending.at(0) == '+') {
                return skipToReplyEnd(limit, errorText);
            }
            AbortSession(errorText);
        }
        const QByteArray chunk = Socket->GetText();
        checkRetired();
        if (chunk.isEmpty()) {
            if (multiLine) {
                AbortSession(errorText);
            }
            const QByteArray partial = m_pending;
            m_pending.clear();
            return partial;
        }
        m_pending += chunk;
    }
}

QByteArray TFormMailList::skipToReplyEnd(qint64 keep, const QString& errorText)
{
    // A long unwrapped line is not an endless reply: keep the start (the headers come
    // first) and read the rest to its end, holding only what may begin the terminator.
    const QByteArray kept = m_pending.left(keep);
    QByteArray tail = m_pending.right(4);
    m_pending.clear();
    for (;;) {
        const QByteArray chunk = Socket->GetText();
        checkRetired();
        if (chunk.isEmpty()) {
            AbortSession(errorText);
        }
        tail += chunk;
        const int end = tail.indexOf("\r\n.\r\n");
        if (end >= 0) {
            m_pending = tail.mid(end + 5);
            return kept + "\r\n.\r\n";
        }
        tail = tail.right(4);
    }
}

QByteArray TFormMailList::exchange(const QByteArray& command, const QString& statusText, const QString& errorText,
                                   qint64 limit)
{
    setStatus(statusText);
    Socket->SetText(command + "\r\n");
    checkRetired();
    // Only headers are wanted from TOP, so an over-long reply may be cut; RETR may not.
    const bool isTop = command.left(4).toUpper() == "TOP ";
    return readReply(TPop3Reply::IsMultiLine(command), limit, errorText, isTop);
}

QByteArray TFormMailList::SendCommand(const QByteArray& command, const QString& statusText, const QString& errorText)
{
    const QString status = statusText.isEmpty() ? QStringLiteral("傳輸資料...") : statusText;
    const QString error = errorText.isEmpty() ? QStringLiteral("傳輸錯誤！") : errorText;
    qint64 limit = TPop3Reply::MaxLineReply;
    if (TPop3Reply::IsMultiLine(command)) {
        limit = command.toUpper().startsWith("RETR") && m_retrLimit > 0 ? m_retrLimit : TPop3Reply::MaxTopReply;
    }
    const QByteArray reply = exchange(command, status, error, limit);
    if (reply.isEmpty() || reply.at(0) != '+') {
        AbortSession(error);
    }
    return reply;
}

void TFormMailList::AbortSession(const QString& message)
{
    m_aborting = true;
    Socket->Disconnect();
    m_pending.clear();
    if (!m_retired) {
        m_host->HangUpIfDialed();
        setStatus(QStringLiteral("連線中斷!"));
        m_host->LED(QStringLiteral("Red"), QStringLiteral("Error"));
        m_host->RepaintMain();
        m_host->ShowMessage(QStringLiteral("主機 : ") + MailboxName(), message + QLatin1Char('\n'));
        if (message == kLoginError) {
            EditPassword->clear();
        }
    }
    throw EAbort();
}

void TFormMailList::SocketErrorOccurred(TSockets*, int socket, int error, const QString& msg)
{
    if (m_aborting) {
        // Reports made while the socket is being closed after a failure.
        return;
    }
    m_aborting = true;
    Socket->Disconnect();
    m_pending.clear();
    if (!m_retired) {
        m_host->HangUpIfDialed();
        setStatus(QStringLiteral("連線中斷！"));
        m_host->LED(QStringLiteral("Red"), QStringLiteral("Error"));
        m_host->RepaintMain();
        m_host->ShowMessage(QStringLiteral("主機 : ") + MailboxName(),
                            QStringLiteral("Socket: %1\nError: %2\nMessage: %3\n").arg(socket).arg(error).arg(msg));
    }
    throw EAbort();
}

void TFormMailList::Login()
{
    setStatus(QStringLiteral("開始連線..."));
    QString host;
    QString login;
    QString timeoutText;
    {
        const TIniFile ini(m_host->SettingsPath());
        const QString name = MailboxName();
        host = ini.ReadString(name, QStringLiteral("Host"), QString());
        login = ini.ReadString(name, QStringLiteral("Login"), QString());
        timeoutText = ini.ReadString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("30"));
        if (EditPassword->text().isEmpty()) {
            const QString stored = ini.ReadString(name, QStringLiteral("Password"), QString());
            EditPassword->setText(stored.isEmpty() ? QString() : m_host->Unscramble(stored));
        }
    }
    if (EditPassword->text().isEmpty()) {
        TFormPassword prompt(m_host, {}, m_host->MainWidget());
        prompt.SetName(MailboxName());
        TModal::Exec(&prompt);
        checkRetired();
    }
    Socket->IPAddr = host;
    Socket->Timeout = TIntConvert::StrToInt(timeoutText);
    m_pending.clear();
    Socket->SConnect();
    checkRetired();
    const QByteArray greeting = readReply(false, TPop3Reply::MaxLineReply, QStringLiteral("無法連線！"));
    if (greeting.isEmpty() || greeting.at(0) != '+') {
        AbortSession(QStringLiteral("無法連線！"));
    }
    const QByteArray user = login.toUtf8();
    const QByteArray pass = EditPassword->text().toUtf8();
    // A line break would end the argument early and send the rest as a command.
    if (TPop3Reply::HasLineBreak(user) || TPop3Reply::HasLineBreak(pass)) {
        AbortSession(kLoginError);
    }
    SendCommand("USER " + user, QStringLiteral("傳送使用者名稱..."), kLoginError);
    SendCommand("PASS " + pass, QStringLiteral("傳送密碼..."), kLoginError);
    setStatus(QStringLiteral("登入成功！"));
}

void TFormMailList::Logout()
{
    setStatus(QStringLiteral("開始離線..."));
    SendCommand("QUIT", QStringLiteral("離線..."), QStringLiteral("無法離線！"));
    Socket->Disconnect();
    m_pending.clear();
    checkRetired();
    setStatus(QStringLiteral("離線成功！"));
}

QByteArray TFormMailList::currentId(int n, const QString& statusText, const QString& errorText)
{
    const QByteArray top = exchange("TOP " + number(n) + " 0", statusText, errorText, TPop3Reply::MaxTopReply);
    if (!top.startsWith('+')) {
        return {};
    }
    QByteArray size;
    if (THeaderExtract::NeedsSize(top)) {
        const QByteArray list = exchange("LIST " + number(n), statusText, errorText, TPop3Reply::MaxLineReply);
        if (!list.startsWith('+')) {
            return {};
        }
        size = TPop3Reply::ListSize(list);
    }
    return THeaderExtract::MessageId(top, size);
}

QSet<QString> TFormMailList::deletionSession()
{
    Login();
    // Identifiers under the server's present numbering, fetched once each.
    QHash<int, QByteArray> current;
    auto idAt = [&](int n) {
        auto it = current.constFind(n);
        if (it == current.constEnd()) {
            it = current.insert(n, currentId(n, kDeleting, kDeleteError));
        }
        return it.value();
    };
    QSet<int> deleted;
    QList<int> moved;
    for (int row = 1; row <= MessageRows(); ++row) {
        if (Marker(row) != QLatin1String("x") || RowId(row).isEmpty()) {
            continue;
        }
        // Another client may have changed the numbering: delete only the marked message.
        if (sameId(idAt(row), RowId(row))) {
            SendCommand("DELE " + number(row), kDeleting, kDeleteError);
            deleted.insert(row);
        } else {
            moved.append(row);
        }
    }
    QSet<QString> unfound;
    if (!moved.isEmpty()) {
        int count = 0;
        if (!TPop3Reply::StatCount(SendCommand("STAT", kDeleting, kDeleteError), count)) {
            AbortSession(kDeleteError);
        }
        for (const int row : moved) {
            // Deletions move messages to lower numbers, so look there first.
            QList<int> candidates;
            for (int n = qMin(row - 1, count); n >= 1; --n) {
                candidates.append(n);
            }
            for (int n = row + 1; n <= count; ++n) {
                candidates.append(n);
            }
            int found = 0;
            for (const int n : candidates) {
                if (!deleted.contains(n) && sameId(idAt(n), RowId(row))) {
                    found = n;
                    break;
                }
            }
            if (found > 0) {
                SendCommand("DELE " + number(found), kDeleting, kDeleteError);
                deleted.insert(found);
            } else {
                unfound.insert(idKey(RowId(row)));
            }
        }
    }
    Logout();
    if (!unfound.isEmpty() && !m_retired) {
        m_host->ShowMessage(QStringLiteral("主機 : ") + MailboxName(),
                            QStringLiteral("有 %1 封標記刪除的信件找不到，未能刪除！\n").arg(unfound.size()));
        checkRetired();
    }
    return unfound;
}

void TFormMailList::listingSession(const QSet<QString>& pendingNew, const QSet<QString>& keptMarks)
{
    const QString name = MailboxName();
    TSeenIds seen;
    {
        const TIniFile ini(m_host->SettingsPath());
        seen.Load(ini, name, [this] { pumpEvents(true); });
    }

    Login();
    const QByteArray stat = SendCommand("STAT", kReceiving, kReceiveError);
    int count = 0;
    if (!TPop3Reply::StatCount(stat, count)) {
        AbortSession(kReceiveError);
    }
    ColorStringGrid->SetRowCount(1);
    m_rowIds.clear();
    m_host->SetStatusCount(kCountRow, m_host->StatusCount(kCountRow) + count);

    for (int n = 1; n <= count; ++n) {
        // Rows grow as messages are listed, so a false count cannot allocate up front.
        ColorStringGrid->SetRowCount(n + 1);
        ColorStringGrid->SetCells(1, n, QString::number(n));
        const QByteArray list = SendCommand("LIST " + number(n), kReceiving, kReceiveError);
        const QByteArray size = TPop3Reply::ListSize(list);
        ColorStringGrid->SetCells(2, n, QString::fromLatin1(size));
        const QByteArray top = SendCommand("Top " + number(n) + " 1", kReceiving, kReceiveError);
        ColorStringGrid->SetCells(3, n, displayText(THeaderExtract::Value(top, "DATE"), top));
        ColorStringGrid->SetCells(4, n, displayText(THeaderExtract::Value(top, "FROM"), top));
        ColorStringGrid->SetCells(5, n, displayText(THeaderExtract::Value(top, "SUBJECT"), top));
        const QByteArray id = THeaderExtract::MessageId(top, size);
        m_rowIds.append(id);
        if (keptMarks.contains(idKey(id))) {
            // A deletion that could not be carried out is tried again at the next check.
            SetMarker(n, QStringLiteral("x"));
        } else if (!seen.Contains(id)) {
            SetMarker(n, QStringLiteral("*"));
            m_host->SetStatusCount(kNewRow, m_host->StatusCount(kNewRow) + 1);
            m_host->SetNewMailFound();
        } else if (pendingNew.contains(idKey(id))) {
            SetMarker(n, QStringLiteral("*"));
            m_host->SetStatusCount(kNewRow, m_host->StatusCount(kNewRow) + 1);
        }
    }
    Logout();

    TIniFile ini(m_host->SettingsPath());
    // A half-written list would make messages new again: finish it even when retired.
    TSeenIds::Store(ini, name, m_rowIds, [this] { pumpEvents(false); });
    checkRetired();
}

void TFormMailList::applyFilters()
{
    const TFilterRules& rules = m_host->Filters();
    for (int row = 1; row <= MessageRows(); ++row) {
        for (int k = 0; k < 5; ++k) {
            if (rules.HighLight[k].isEmpty() || !rules.Delete[k]) {
                continue;
            }
            for (const int col : {4, 5}) {
                if (THeaderExtract::UpperAscii(ColorStringGrid->Cells(col, row)).contains(rules.HighLight[k])) {
                    if (Marker(row) == QLatin1String("*")) {
                        m_host->SetStatusCount(kNewRow, m_host->StatusCount(kNewRow) - 1);
                    }
                    SetMarker(row, QStringLiteral("x"));
                }
            }
        }
    }
}

void TFormMailList::Check()
{
    if (m_host->Busy() || m_retired) {
        return;
    }
    SessionScope scope(this);
    setStatus(QStringLiteral("開始連線..."));
    m_host->LED(QStringLiteral("Yellow"), QStringLiteral("Busy"));
    m_host->RepaintMain();

    if (m_host->AutoDelete()) {
        for (int row = 1; row <= MessageRows(); ++row) {
            if (Marker(row).isEmpty() && !RowId(row).isEmpty()) {
                SetMarker(row, QStringLiteral("x"));
            }
        }
    }
    bool anyMarked = false;
    for (int row = 1; row <= MessageRows() && !anyMarked; ++row) {
        anyMarked = Marker(row) == QLatin1String("x") && !RowId(row).isEmpty();
    }
    QSet<QString> keptMarks;
    if (anyMarked) {
        keptMarks = deletionSession();
    }

    // New and not yet viewed at the end of the last listing: they stay new.
    QSet<QString> pendingNew;
    for (int row = 1; row <= MessageRows(); ++row) {
        if (Marker(row) == QLatin1String("*") && !RowId(row).isEmpty()) {
            pendingNew.insert(idKey(RowId(row)));
        }
        for (int col = 0; col < 6; ++col) {
            ColorStringGrid->SetCells(col, row, QString());
        }
    }

    listingSession(pendingNew, keptMarks);

    setStatus(QStringLiteral("連線完成！"));
    m_host->LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    m_host->RepaintMain();

    applyFilters();

    if (m_host->AutoView()) {
        for (int row = 1; row <= MessageRows(); ++row) {
            if (Marker(row) == QLatin1String("*")) {
                ColorStringGrid->SetRow(row);
                View(TOrigin::AutoView);
            }
        }
    }
}

void TFormMailList::View(TOrigin origin)
{
    if (m_host->Busy() || m_retired) {
        return;
    }
    const int row = ColorStringGrid->SelectionTop();
    if (row <= 0 || row > MessageRows() || m_host->StatusCount(kCountRow) < row) {
        return;
    }
    SessionScope scope(this);
    if (m_host->DialUpEnabled()) {
        if (m_host->ActiveConnections() == 0 && m_host->DialUpEnabled()) {
            m_host->ConnectModem();
        }
        checkRetired();
    }
    setStatus(QStringLiteral("開始連線..."));
    m_host->LED(QStringLiteral("Yellow"), QStringLiteral("Busy"));
    m_host->RepaintMain();

    const QPointer<QWidget> viewer = m_host->CreateViewer(MailboxName(), ColorStringGrid->Cells(5, row));
    const QString sizeText = ColorStringGrid->Cells(2, row);
    int size = 0;
    // An unreadable size is fetched under the reply bound rather than failing the view.
    const bool tooLarge = TIntConvert::TryStrToInt(sizeText, size) && size >= kViewLimit;
    QByteArray text;
    if (!tooLarge) {
        m_retrLimit = TPop3Reply::RetrLimit(sizeText.toLatin1());
        Login();
        // The row number is that of the last listing; another client may have changed it.
        if (!sameId(currentId(row, kDownloading, kDownloadError), RowId(row))) {
            Logout();
            if (viewer) {
                viewer->close();
            }
            m_host->HangUpIfDialed();
            setStatus(QStringLiteral("連線完成！"));
            m_host->LED(QStringLiteral("Green"), QStringLiteral("Ready"));
            m_host->RepaintMain();
            m_host->ShowMessage(QStringLiteral("主機 : ") + MailboxName(), kMoved + QLatin1Char('\n'));
            return;
        }
        text = SendCommand("RETR " + number(row), kDownloading, kDownloadError);
        Logout();
    }

    const QByteArray upper = THeaderExtract::UpperAscii(text);
    if (!text.isEmpty() && !upper.contains("CONTENT-TYPE: MULTIPART")) {
        if (upper.contains("CONTENT-TRANSFER-ENCODING: QUOTED-PRINTABLE")) {
            text = TMessageDecoder::DecodeMessage(QStringLiteral("QP"), text);
        } else if (upper.contains("CONTENT-TRANSFER-ENCODING: BASE64")) {
            text = TMessageDecoder::DecodeMessage(QStringLiteral("BASE64"), text);
        }
    }
    QByteArray shown = !text.isEmpty() && m_host->NoHeader() ? TPop3Reply::BodyOnly(text) : text;
    if (shown.isEmpty()) {
        shown = QStringLiteral("信件過大！").toUtf8();
    }
    const bool minimise = origin == TOrigin::AutoView;
    if (viewer) {
        m_host->FillViewer(viewer, shown, text, minimise);
    }
    // Only a message that could be shown counts as read.
    if (Marker(row) == QLatin1String("*") && !tooLarge) {
        SetMarker(row, QString());
        m_host->SetStatusCount(kNewRow, m_host->StatusCount(kNewRow) - 1);
    }
    m_host->HangUpIfDialed();
    setStatus(QStringLiteral("連線完成！"));
    m_host->LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    m_host->RepaintMain();
}
