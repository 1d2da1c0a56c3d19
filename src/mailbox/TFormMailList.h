#pragma once

#include "mailbox/TMailListModel.h"
#include "mailbox/TOrigin.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMdiSubWindow>
#include <QRect>
#include <QSet>
#include <QStyle>
#include <climits>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class TColorStringGrid;
class TMailHost;
class TMailPush;
class TMailSession;
struct TCellPaint;

// One mailbox window: draws its list of messages, runs the user's commands through the
// mailbox's session, whatever its protocol, and shows the session's events; keeps the
// remembered password.
// Session failures end with the silent abort (EAbort), which the caller of Check / View catches.
class TFormMailList : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TFormMailList(TMailHost* host, QWidget* parent = nullptr);
    ~TFormMailList() override;

    TColorStringGrid* ColorStringGrid = nullptr;
    QStatusBar* StatusBar = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* PopMenuView = nullptr;
    QAction* PopMenuDelete = nullptr;
    QAction* PopMenuUndelete = nullptr;

    // The mailbox name is the window caption.
    QString MailboxName() const { return windowTitle(); }
    // The password remembered for this run: typed at a prompt or read from where passwords
    // are stored; forgotten when the server refuses it.
    QString Password() const { return m_password; }
    void SetPassword(const QString& clear) { m_password = clear; }

    // Position, height and column widths from the mailbox's section; without them a first
    // size that shows the columns' usual texts.
    void LoadGeometry();
    // Writes position, height and column widths; the main window calls it at exit.
    void FormCloseQuery();
    void FormResize();
    void ColorStringGridGetCellColor(TColorStringGrid* sender, int ARow, int ACol, QStyle::State AState,
                                     TCellPaint& paint);
    void PopMenuDeleteClick(QObject* sender);

    void Check();
    // False, with the reason in the status line, while the program must not contact this
    // mailbox's server; Check and View then do nothing.
    bool InService();
    // A view the program opens on its own after a check comes up minimised.
    void View(TOrigin origin);

    // True while Check or View runs (possibly blocked in a socket wait).
    bool InSession() const { return m_sessionDepth > 0; }
    // Takes the window out of service: a running session ends with the silent abort
    // and the window deletes itself once it has unwound; otherwise at once.
    void Retire();
    bool Retired() const { return m_retired; }

    // The grid draws this list after every change.
    TMailListModel& List() { return m_list; }
    const TMailListModel& List() const { return m_list; }
    // The marker as the grid shows it: "*" new, "x" marked for deletion.
    QString Marker(int row) const;
    void SetMarker(int row, const QString& marker);
    // Rows of the listing (the header row not counted).
    int MessageRows() const;
    // The identifier each row was listed with; empty for rows not listed.
    QByteArray RowId(int row) const;

    // The grid's selected row, 0 for none.
    int SelectedRow() const;
    // The user's deletion marks; rows out of range are ignored.
    void MarkDelete(int row);
    // Removes a deletion mark, leaving other marks alone.
    void Undelete(int row);
    void MarkAll();
    void UnmarkAll();
    // Rows marked new.
    int NewCount() const;
    // Orders the mailboxes by when they last found mail never seen before: higher is
    // later, 0 never.
    quint64 FoundNewMailAt() const { return m_foundNewAt; }

    // The session's waiting connection, null when its protocol has none.
    TMailPush* Push() const;
    // The server's news arrive at once: the status bar says so.
    bool PushActive() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    class SessionScope;
    class SessionHost;

    void setStatus(const QString& text);
    void checkRetired() const;
    void pumpEvents(bool mayAbort);
    void drawRow(int row);
    void listChanged(int row);
    void drawPending();
    void rememberGeometry();
    // No stored geometry: columns as wide as their usual texts.
    void firstGeometry();
    // After a good check: the waiting connection follows the account, unless dial-up is used.
    void followPush();
    // The mailbox alone is checked after news, once no other session holds the program.
    void pushNews();
    void pushCheck();
    int clientWidth() const;

    TMailHost* m_host;
    TMailListModel m_list;
    std::unique_ptr<SessionHost> m_sessionHost;
    std::unique_ptr<TMailSession> m_session;
    QString m_password;
    QRect m_normalGeometry;
    QList<int> m_normalWidths;
    QElapsedTimer m_pumpClock;
    // Rows changed but not yet drawn into the grid; all of them when m_dirtyAll.
    QElapsedTimer m_drawClock;
    QTimer* m_drawTimer = nullptr;
    int m_dirtyFirst = INT_MAX;
    int m_dirtyLast = 0;
    bool m_dirtyAll = false;
    int m_sessionDepth = 0;
    QTimer* m_pushTimer = nullptr;
    QLabel* m_pushIndicator = nullptr;
    // A check found mail no check had seen before.
    bool m_foundNew = false;
    quint64 m_foundNewAt = 0;
    bool m_retired = false;
};
