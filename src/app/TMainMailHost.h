#pragma once

#include "mailbox/TMailHost.h"

#include <QCoreApplication>
#include <memory>

class TDialDriver;
class TFormMain;
class TPaintThrottle;
struct TProgramState;

// What a mailbox window needs of the running program: the status window, the option
// marks, the keyword rules, the dial-up driver and the viewers, served for the main window.
class TMainMailHost : public TMailHost {
    Q_DECLARE_TR_FUNCTIONS(TMainMailHost)

public:
    TMainMailHost(TFormMain& main, TProgramState& state, TDialDriver& dial);
    ~TMainMailHost() override;

    QString SettingsPath() const override;
    void LED(const QString& colourWord, const QString& text) override;
    bool Busy() const override;
    int StatusCount(int row) const override;
    void SetStatusCount(int row, int value) override;
    void SetNewMailFound() override;
    void AnnounceNewMail() override;
    QString OutOfService(const QString& mailbox) const override;
    bool AutoDelete() const override;
    bool AutoView() const override;
    bool NoHeader() const override;
    const TFilterRules& Filters() const override;
    QString Unscramble(const QString& stored) override;
    QString StoredPassword(const QString& mailbox, const QString& login) override;
    TOAuthAccess::TResult AccessToken(const TAccount& account, bool renew, QByteArray& token,
                                      QString& message) override;
    QByteArray CachedAccessToken(const TAccount& account) override;
    void RepaintMain() override;
    void ProgressChanged() override;
    QWidget* MainWidget() const override;
    void ShowMessage(const QString& from, const QString& text) override;
    void DeliverPassword(const QString& name, const QString& clear) override;
    bool DialUpEnabled() const override;
    int ActiveConnections() override;
    void ConnectModem() override;
    void HangUpIfDialed() override;
    QWidget* CreateViewer(const QString& server, const QString& subject) override;
    void FillViewer(QWidget* viewer, const QByteArray& shown, const QByteArray& whole, const QByteArray& message,
                    bool minimise) override;
    void DeleteCommand(QObject* sender) override;

private:
    TFormMain& m_main;
    TProgramState& m_state;
    TDialDriver& m_dial;
    std::unique_ptr<TPaintThrottle> m_paints;
};
