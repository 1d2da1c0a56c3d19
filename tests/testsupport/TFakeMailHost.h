#pragma once

#include "mailbox/TMailHost.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

// A program stand-in for mailbox windows: records lights, messages, counters, viewers
// and hang-ups; options and dial-up answers are plain fields a test sets.
class TFakeMailHost : public TMailHost {
public:
    // The seen-ID list as stored: keys "1", "2", ... read one by one up to the first empty value.
    static QList<QByteArray> StoredIds(const QString& path, const QString& section);

    struct Viewer {
        QString Server;
        QString Subject;
        QByteArray Shown;
        QByteArray Whole;
        QByteArray Message;
        bool Minimised = false;
        bool Filled = false;
    };

    QString Path;
    bool BusyOverride = false;
    bool AutoDeleteOn = false;
    bool AutoViewOn = false;
    bool NoHeaderOn = true;
    TFilterRules Rules;
    int Counts[3] = {0, 0, 0};
    int NewMailFoundCount = 0;
    // New mail announced outside a check pass (a server's push).
    int Announcements = 0;
    int RepaintCount = 0;
    QList<QPair<QString, QString>> Leds;
    QList<QPair<QString, QString>> Messages;
    QList<QPair<QString, QString>> Delivered;
    QList<QObject*> DeleteSenders;
    QList<Viewer> Viewers;
    bool DialUp = false;
    int Active = 0;
    int Dials = 0;
    int HangUps = 0;
    QWidget* Main = nullptr;

    // Where a delivered password goes (the test points it at its mailbox window).
    std::function<void(const QString& name, const QString& clear)> OnDeliverPassword;
    // Makes the viewer widget; the test supplies one, since this library has no widgets.
    std::function<QWidget*()> ViewerFactory;
    // Runs inside ShowMessage, e.g. to look at the window while the message is up.
    std::function<void()> OnMessage;
    // The scrambler; the stored text as it is by default.
    std::function<QString(const QString&)> Unscrambler;

    QString LastLed() const;
    QString LastMessage() const;

    QString SettingsPath() const override { return Path; }
    void LED(const QString& colourWord, const QString& text) override;
    bool Busy() const override;
    int StatusCount(int row) const override;
    void SetStatusCount(int row, int value) override;
    // Counts the calls: one per message not seen before.
    void SetNewMailFound() override { ++NewMailFoundCount; }
    void AnnounceNewMail() override { ++Announcements; }
    bool AutoDelete() const override { return AutoDeleteOn; }
    bool AutoView() const override { return AutoViewOn; }
    bool NoHeader() const override { return NoHeaderOn; }
    const TFilterRules& Filters() const override { return Rules; }
    QString Unscramble(const QString& stored) override;
    void RepaintMain() override { ++RepaintCount; }
    QWidget* MainWidget() const override { return Main; }
    void ShowMessage(const QString& from, const QString& text) override;
    void DeliverPassword(const QString& name, const QString& clear) override;
    bool DialUpEnabled() const override { return DialUp; }
    int ActiveConnections() override { return Active; }
    void ConnectModem() override;
    void HangUpIfDialed() override { ++HangUps; }
    QWidget* CreateViewer(const QString& server, const QString& subject) override;
    void FillViewer(QWidget* viewer, const QByteArray& shown, const QByteArray& whole, const QByteArray& message,
                    bool minimise) override;
    void DeleteCommand(QObject* sender) override { DeleteSenders.append(sender); }

private:
    QList<QWidget*> m_viewerWidgets;
};
