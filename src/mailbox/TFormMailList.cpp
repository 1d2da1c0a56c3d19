#include "mailbox/TFormMailList.h"

#include "core/EAbort.h"
#include "core/TExceptionHook.h"
#include "core/TFirstGeometry.h"
#include "core/TIntConvert.h"
#include "mailbox/TCharset.h"
#include "mailbox/TColumnScale.h"
#include "mailbox/TFormPassword.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TMailHost.h"
#include "mailbox/TMailPush.h"
#include "mailbox/TMailSession.h"
#include "mailbox/TSessionPresenter.h"
#include "mailbox/TSessionTexts.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "widgets/TColorRef.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kCountRow = TSessionPresenter::CountRow;
// A check changes every row two or three times: the grid follows at most this often (ms).
constexpr int kDrawInterval = 50;
// News come in bursts (EXISTS, RECENT, FETCH) written together: one check after a short
// pause takes them all; while another session holds the program, the check is tried again
// after the longer one.
constexpr int kPushDelay = 50;
constexpr int kPushRetry = 500;

} // namespace

class TFormMailList::SessionScope {
public:
    explicit SessionScope(TFormMailList* form) : m_form(form)
    {
        if (m_form->m_sessionDepth++ == 0) {
            // The rows a session blanks or lists are drawn in its first interval, not at once.
            m_form->m_drawClock.restart();
        }
    }
    ~SessionScope()
    {
        if (--m_form->m_sessionDepth == 0) {
            m_form->drawPending();
            m_form->m_session->Unwound();
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

// The window's side of the session: the account, its status line, its password, its
// retirement; the events are shown on the status window through the program.
class TFormMailList::SessionHost : public TSessionPresenter {
public:
    explicit SessionHost(TFormMailList* form) : m_form(form) {}

    TAccount Account() override
    {
        return TAccount::Read(TIniFile(m_form->m_host->SettingsPath()), m_form->MailboxName());
    }
    const TFilterRules& Filters() const override { return m_form->m_host->Filters(); }
    QString Password(const QString& login, bool mayAsk) override
    {
        if (m_form->m_password.isEmpty()) {
            m_form->m_password = m_form->m_host->StoredPassword(m_form->MailboxName(), login);
        }
        if (m_form->m_password.isEmpty() && mayAsk && !m_form->m_retired) {
            TFormPassword prompt(m_form->m_host, {}, m_form->m_host->MainWidget());
            prompt.SetName(m_form->MailboxName());
            TModal::Exec(&prompt);
        }
        return m_form->m_password;
    }
    TOAuthAccess::TResult AccessToken(bool renew, QByteArray& token, QString& message) override
    {
        return m_form->m_host->AccessToken(Account(), renew, token, message);
    }
    QByteArray CachedAccessToken() override { return m_form->m_host->CachedAccessToken(Account()); }
    bool Retired() const override { return m_form->m_retired; }
    void Yield(bool mayAbort) override { m_form->pumpEvents(mayAbort); }

protected:
    void Status(const QString& text) override { m_form->setStatus(text); }
    void LED(const QString& colourWord, const QString& text) override { m_form->m_host->LED(colourWord, text); }
    void RepaintMain() override { m_form->m_host->RepaintMain(); }
    int StatusCount(int row) const override { return m_form->m_host->StatusCount(row); }
    void SetStatusCount(int row, int value) override { m_form->m_host->SetStatusCount(row, value); }
    void SetNewMailFound() override
    {
        static quint64 found = 0;
        m_form->m_foundNew = true;
        m_form->m_foundNewAt = ++found;
        m_form->m_host->SetNewMailFound();
    }
    void HangUpIfDialed() override { m_form->m_host->HangUpIfDialed(); }
    void ShowMessage(const QString& text) override
    {
        m_form->m_host->ShowMessage(TSessionTexts::MessageSource(m_form->MailboxName()), text);
    }
    void ForgetPassword() override { m_form->m_password.clear(); }

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

    m_sessionHost = std::make_unique<SessionHost>(this);
    // The caption, and with it the account, is given after construction; every account is
    // POP3 so far, and the session reads the account afresh at each call.
    m_session = TMailSession::Create(TAccount(), m_list, *m_sessionHost);
    m_list.OnChanged = [this](int row) { listChanged(row); };

    m_pushIndicator = new QLabel(TSessionTexts::PushActive(), StatusBar);
    m_pushIndicator->setObjectName(QStringLiteral("PushIndicator"));
    m_pushIndicator->setVisible(false);
    StatusBar->addPermanentWidget(m_pushIndicator);
    m_pushTimer = new QTimer(this);
    m_pushTimer->setSingleShot(true);
    connect(m_pushTimer, &QTimer::timeout, this, [this] { TExceptionHook::Run([this] { pushCheck(); }); });
    if (TMailPush* push = m_session->Push()) {
        connect(push, &TMailPush::News, this, [this] { pushNews(); });
        connect(push, &TMailPush::ActiveChanged, m_pushIndicator, &QWidget::setVisible);
        // Left to the schedule: say why, unless a check's progress holds the line.
        connect(push, &TMailPush::Unavailable, this, [this](const QString& reason) {
            if (!InSession()) {
                StatusBar->showMessage(reason);
            }
        });
    }

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopMenuView = PopupMenu->addAction(tr("下載信件"));
    PopMenuView->setObjectName(QStringLiteral("PopMenuView"));
    PopMenuView->setStatusTip(QStringLiteral("View selected mail."));
    PopMenuDelete = PopupMenu->addAction(tr("刪除信件"));
    PopMenuDelete->setObjectName(QStringLiteral("PopMenuDelete"));
    PopMenuDelete->setStatusTip(QStringLiteral("Delete selected mail."));
    PopMenuUndelete = PopupMenu->addAction(tr("復原信件"));
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
    const char* headers[6] = {
        "", QT_TR_NOOP("編號"), QT_TR_NOOP("大小"), QT_TR_NOOP("時間"), QT_TR_NOOP("發信人"), QT_TR_NOOP("標題")};
    for (int i = 0; i < 6; ++i) {
        ColorStringGrid->SetCells(i, 0, i == 0 ? QString() : tr(headers[i]));
    }
    m_pumpClock.start();
    m_drawClock.start();
    m_drawTimer = new QTimer(this);
    m_drawTimer->setSingleShot(true);
    m_drawTimer->setInterval(kDrawInterval);
    connect(m_drawTimer, &QTimer::timeout, this, [this] { drawPending(); });
}

TFormMailList::~TFormMailList() = default;

int TFormMailList::MessageRows() const
{
    return m_list.Count();
}

QString TFormMailList::Marker(int row) const
{
    return TMailListModel::MarkText(m_list.Mark(row));
}

void TFormMailList::SetMarker(int row, const QString& marker)
{
    m_list.SetMark(row, TMailListModel::MarkFromText(marker));
}

QByteArray TFormMailList::RowId(int row) const
{
    return m_list.Id(row);
}

int TFormMailList::SelectedRow() const
{
    const int row = ColorStringGrid->SelectionTop();
    return m_list.Valid(row) ? row : 0;
}

void TFormMailList::MarkDelete(int row)
{
    m_list.SetMark(row, TMark::Delete);
}

void TFormMailList::Undelete(int row)
{
    if (m_list.Mark(row) == TMark::Delete) {
        m_list.SetMark(row, TMark::None);
    }
}

void TFormMailList::MarkAll()
{
    for (int row = 1; row <= m_list.Count(); ++row) {
        MarkDelete(row);
    }
}

void TFormMailList::UnmarkAll()
{
    for (int row = 1; row <= m_list.Count(); ++row) {
        Undelete(row);
    }
}

int TFormMailList::NewCount() const
{
    return m_list.NewCount();
}

void TFormMailList::drawRow(int row)
{
    const TMailRow& r = m_list.Row(row);
    ColorStringGrid->SetCells(0, row, TMailListModel::MarkText(r.Mark));
    ColorStringGrid->SetCells(1, row, r.Number > 0 ? QString::number(r.Number) : QString());
    ColorStringGrid->SetCells(2, row, QString::fromLatin1(r.Size));
    ColorStringGrid->SetCells(3, row, TMailListModel::ShownText(r.Date));
    ColorStringGrid->SetCells(4, row, TMailListModel::ShownText(r.From));
    ColorStringGrid->SetCells(5, row, TMailListModel::ShownText(r.Subject));
}

void TFormMailList::listChanged(int row)
{
    if (row > 0) {
        m_dirtyFirst = qMin(m_dirtyFirst, row);
        m_dirtyLast = qMax(m_dirtyLast, row);
    } else {
        m_dirtyAll = true;
    }
    m_host->ProgressChanged();
    // Outside a session a change is the user's own and is shown at once.
    if (!InSession() || m_drawClock.elapsed() >= kDrawInterval) {
        drawPending();
    } else if (!m_drawTimer->isActive()) {
        m_drawTimer->start();
    }
}

void TFormMailList::drawPending()
{
    m_drawTimer->stop();
    m_drawClock.restart();
    if (ColorStringGrid->RowCount() != m_list.Count() + 1) {
        ColorStringGrid->SetRowCount(m_list.Count() + 1);
    }
    const int first = m_dirtyAll ? 1 : m_dirtyFirst;
    const int last = m_dirtyAll ? m_list.Count() : qMin(m_dirtyLast, m_list.Count());
    m_dirtyAll = false;
    m_dirtyFirst = INT_MAX;
    m_dirtyLast = 0;
    for (int r = first; r <= last; ++r) {
        drawRow(r);
    }
}

void TFormMailList::setStatus(const QString& text)
{
    StatusBar->showMessage(text);
    if (!m_retired) {
        m_host->ProgressChanged();
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
    if (TSetting(TSettingsKeys::MailboxColumn, name).Numbered(0).WithDefault(QString()).ReadString(ini).isEmpty()) {
        firstGeometry();
        return;
    }
    const int top = TSetting(TSettingsKeys::MailboxTop, name).ReadInteger(ini);
    const int left = TSetting(TSettingsKeys::MailboxLeft, name).ReadInteger(ini);
    const int height = TSetting(TSettingsKeys::MailboxHeight, name).ReadInteger(ini);
    int client = 0;
    QList<int> widths;
    for (int i = 0; i < 6; ++i) {
        widths.append(TSetting(TSettingsKeys::MailboxColumn, name).Numbered(i).ReadInteger(ini));
        client += widths.last() + 1;
    }
    for (int i = 0; i < 6; ++i) {
        ColorStringGrid->SetColWidths(i, widths.at(i));
    }
    const QMargins frame = contentsMargins();
    setGeometry(left, top, client + frame.left() + frame.right(), height);
    rememberGeometry();
}

void TFormMailList::firstGeometry()
{
    // Wide enough for what the columns usually hold, within the frame's client area.
    const QFontMetrics metrics(ColorStringGrid->font());
    const char* samples[6] = {"x", "9999", "999999", "Mon, 17 Dec 2026 10:00:00 +0800",
                              //: A typical sender, only measured to size the column.
                              QT_TR_NOOP("陳小明 <xiaoming.chen@example.com.tw>"),
                              //: A typical subject, only measured to size the column.
                              QT_TR_NOOP("新郵件的標題：本週的會議紀錄與附件")};
    QList<int> wanted;
    for (const char* sample : samples) {
        wanted.append(metrics.horizontalAdvance(tr(sample)) + 2 * metrics.averageCharWidth());
    }
    const QMargins frame = contentsMargins();
    const int room = parentWidget() ? parentWidget()->width() - frame.left() - frame.right() : 0;
    const QList<int> widths = TFirstGeometry::Columns(wanted, room);
    int client = 0;
    for (int i = 0; i < 6; ++i) {
        ColorStringGrid->SetColWidths(i, widths.at(i));
        client += widths.at(i) + 1;
    }
    const int rows = 10;
    const int height =
        std::max(geometry().height(), frame.top() + frame.bottom() + StatusBar->sizeHint().height() +
                                          rows * ColorStringGrid->verticalHeader()->defaultSectionSize());
    setGeometry(x(), y(), client + frame.left() + frame.right(), height);
    rememberGeometry();
}

void TFormMailList::FormCloseQuery()
{
    const bool normal = !(isMinimized() || isMaximized()) || !m_normalGeometry.isValid();
    const QRect g = normal ? geometry() : m_normalGeometry;
    TIniFile ini(m_host->SettingsPath());
    const QString name = MailboxName();
    TSetting(TSettingsKeys::MailboxTop, name).WriteInteger(ini, g.y());
    TSetting(TSettingsKeys::MailboxLeft, name).WriteInteger(ini, g.x());
    TSetting(TSettingsKeys::MailboxHeight, name).WriteInteger(ini, g.height());
    // The next start sizes the window from the columns: save those of the normal window.
    for (int i = 0; i < 6; ++i) {
        const int width = !normal && i < m_normalWidths.size() ? m_normalWidths.at(i) : ColorStringGrid->ColWidths(i);
        TSetting(TSettingsKeys::MailboxColumn, name).Numbered(i).WriteInteger(ini, width);
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
        // Rules match the whole From and Subject, also as received before decoding, not
        // only what the cell shows.
        const bool whole = m_list.Valid(ARow) && (ACol == 4 || ACol == 5);
        const TMailRow* r = whole ? &m_list.Row(ARow) : nullptr;
        const QString upper = THeaderExtract::UpperAscii(r ? (ACol == 4 ? r->From : r->Subject) : text);
        const QString raw = r ? THeaderExtract::UpperAscii(ACol == 4 ? r->RawFrom : r->RawSubject) : QString();
        for (int k = 0; k < 5; ++k) {
            if (!rules.HighLight[k].isEmpty() &&
                (upper.contains(rules.HighLight[k]) || raw.contains(rules.HighLight[k]))) {
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
        m_session->Cancel();
    } else {
        deleteLater();
    }
}

bool TFormMailList::InService()
{
    const QString why = m_host->OutOfService(MailboxName());
    if (why.isEmpty()) {
        return true;
    }
    setStatus(why);
    return false;
}

void TFormMailList::Check()
{
    if (m_host->Busy() || m_retired || !InService()) {
        return;
    }
    {
        SessionScope scope(this);
        m_session->Check(m_host->AutoDelete());
        drawPending();
    }
    followPush();
    // Each view is a session of its own, begun once the check has ended.
    if (m_host->AutoView()) {
        for (int row = 1; row <= MessageRows(); ++row) {
            if (m_list.Mark(row) == TMark::New) {
                ColorStringGrid->SetRow(row);
                View(TOrigin::AutoView);
            }
        }
    }
}

void TFormMailList::View(TOrigin origin)
{
    if (m_host->Busy() || m_retired || !InService()) {
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
    setStatus(TSessionTexts::Connecting());
    m_sessionHost->ShowBusy();

    const QPointer<QWidget> viewer =
        m_host->CreateViewer(MailboxName(), TMailListModel::ShownText(m_list.Row(row).Subject));
    // The readable view can show far larger messages than the raw view's display.
    const int limit = m_sessionHost->Account().ViewLimit();
    const TMailSession::TRetrieval retrieved = m_session->Retrieve(row, limit);
    if (retrieved.Moved) {
        if (viewer) {
            viewer->close();
        }
        m_host->HangUpIfDialed();
        setStatus(TSessionTexts::Done());
        m_sessionHost->ShowReady();
        m_host->ShowMessage(TSessionTexts::MessageSource(MailboxName()), TSessionTexts::Moved() + QLatin1Char('\n'));
        return;
    }
    QByteArray shown = m_host->NoHeader() ? retrieved.Body : retrieved.Whole;
    if (shown.isEmpty()) {
        shown = TSessionTexts::TooLarge().toUtf8();
    }
    const bool minimise = origin == TOrigin::AutoView;
    if (viewer) {
        m_host->FillViewer(viewer, shown, retrieved.Whole, retrieved.Message, minimise);
    }
    // Only a message that could be shown counts as read.
    if (!retrieved.TooLarge) {
        m_session->Viewed(row);
    }
    m_host->HangUpIfDialed();
    setStatus(TSessionTexts::Done());
    m_sessionHost->ShowReady();
}

TMailPush* TFormMailList::Push() const
{
    return m_session->Push();
}

bool TFormMailList::PushActive() const
{
    return m_session->Push() && m_session->Push()->Active();
}

void TFormMailList::followPush()
{
    TMailPush* push = m_session->Push();
    if (!push || m_retired) {
        return;
    }
    // A dial-up line is never held open for news.
    if (m_host->DialUpEnabled()) {
        push->Stop();
        return;
    }
    push->Follow(m_sessionHost->Account(), m_password);
}

void TFormMailList::pushNews()
{
    if (!m_pushTimer->isActive()) {
        m_pushTimer->start(kPushDelay);
    }
}

void TFormMailList::pushCheck()
{
    if (m_retired) {
        return;
    }
    // News during a check of this mailbox (or any session) wait for it to end.
    if (InSession() || m_host->Busy()) {
        m_pushTimer->start(kPushRetry);
        return;
    }
    if (!InService()) {
        return;
    }
    // This mailbox's share of the status window's counts is listed anew.
    m_host->SetStatusCount(kCountRow, qMax(0, m_host->StatusCount(kCountRow) - m_list.Count()));
    m_host->SetStatusCount(TSessionPresenter::NewRow,
                           qMax(0, m_host->StatusCount(TSessionPresenter::NewRow) - m_list.NewCount()));
    m_foundNew = false;
    // A failure is reported through the session's events and ends with the silent abort.
    Check();
    if (m_foundNew) {
        m_host->AnnounceNewMail();
    }
}
