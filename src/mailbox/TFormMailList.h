#pragma once

#include "mailbox/TOrigin.h"
#include "mailbox/TSeenIds.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMdiSubWindow>
#include <QRect>
#include <QSet>
#include <QStyle>

class QAction;
class QLineEdit;
class QMenu;
class QStatusBar;
class TColorStringGrid;
class TMailHost;
class TSockets;
struct TCellPaint;

// One mailbox: its list of messages, the POP3 sessions that check, delete and
// retrieve them, and the remembered password. Session failures end with the silent
// abort (EAbort), which the caller of Check / View catches.
class TFormMailList : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TFormMailList(TMailHost* host, QWidget* parent = nullptr);
    ~TFormMailList() override;

    TColorStringGrid* ColorStringGrid = nullptr;
    QLineEdit* EditPassword = nullptr;
    TSockets* Socket = nullptr;
    QStatusBar* StatusBar = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* PopMenuView = nullptr;
    QAction* PopMenuDelete = nullptr;
    QAction* PopMenuUndelete = nullptr;

    // The mailbox name is the window caption.
    QString MailboxName() const { return windowTitle(); }

    // Position, height and column widths from the mailbox's section.
    void LoadGeometry();
    // Writes position, height and column widths; the main window calls it at exit.
    void FormCloseQuery();
    void FormResize();
    void ColorStringGridGetCellColor(TColorStringGrid* sender, int ARow, int ACol, QStyle::State AState,
                                     TCellPaint& paint);
    void PopMenuDeleteClick(QObject* sender);

    void Check();
    // A view the program opens on its own after a check comes up minimised.
    void View(TOrigin origin);
    void Login();
    void Logout();
    QByteArray SendCommand(const QByteArray& command, const QString& statusText = QString(),
                           const QString& errorText = QString());
    [[noreturn]] void AbortSession(const QString& message);
    // Never returns while a session runs; reports made while closing after a failure are dropped.
    void SocketErrorOccurred(TSockets* sender, int socket, int error, const QString& msg);

    // True while Check or View runs (possibly blocked in a socket wait).
    bool InSession() const { return m_sessionDepth > 0; }
    // Takes the window out of service: a running session ends with the silent abort
    // and the window deletes itself once it has unwound; otherwise at once.
    void Retire();
    bool Retired() const { return m_retired; }

    QString Marker(int row) const;
    void SetMarker(int row, const QString& marker);
    // Rows of the listing (the header row not counted).
    int MessageRows() const;
    // The identifier each row was listed with; empty for rows not listed.
    QByteArray RowId(int row) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    class SessionScope;

    void setStatus(const QString& text);
    void checkRetired() const;
    QByteArray readReply(bool multiLine, qint64 limit, const QString& errorText, bool keepStart = false);
    QByteArray skipToReplyEnd(qint64 keep, const QString& errorText);
    QByteArray exchange(const QByteArray& command, const QString& statusText, const QString& errorText, qint64 limit);
    QByteArray currentId(int n, const QString& statusText, const QString& errorText);
    QSet<QString> deletionSession();
    void listingSession(const QSet<QString>& pendingNew, const QSet<QString>& keptMarks);
    void applyFilters();
    void pumpEvents(bool mayAbort);
    void rememberGeometry();
    int clientWidth() const;

    TMailHost* m_host;
    QByteArray m_pending;
    QList<QByteArray> m_rowIds;
    QRect m_normalGeometry;
    QList<int> m_normalWidths;
    qint64 m_retrLimit = 0;
    QElapsedTimer m_pumpClock;
    int m_sessionDepth = 0;
    bool m_retired = false;
    bool m_aborting = false;
};
