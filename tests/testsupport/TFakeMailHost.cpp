#include "testsupport/TFakeMailHost.h"

#include "settings/TIniFile.h"

QString TFakeMailHost::LastLed() const
{
    return Leds.isEmpty() ? QString() : Leds.last().first + QLatin1Char('/') + Leds.last().second;
}

QString TFakeMailHost::LastMessage() const
{
    return Messages.isEmpty() ? QString() : Messages.last().second;
}

void TFakeMailHost::LED(const QString& colourWord, const QString& text)
{
    Leds.append({colourWord, text});
}

bool TFakeMailHost::Busy() const
{
    // The yellow light blinks from "Busy" until the next colour.
    return BusyOverride || (!Leds.isEmpty() && Leds.last().first == QLatin1String("Yellow"));
}

int TFakeMailHost::StatusCount(int row) const
{
    return row >= 0 && row < 3 ? Counts[row] : 0;
}

void TFakeMailHost::SetStatusCount(int row, int value)
{
    if (row >= 0 && row < 3) {
        Counts[row] = value;
    }
}

QString TFakeMailHost::Unscramble(const QString& stored)
{
    return Unscrambler ? Unscrambler(stored) : stored;
}

void TFakeMailHost::ShowMessage(const QString& from, const QString& text)
{
    Messages.append({from, text});
    if (OnMessage) {
        OnMessage();
    }
}

void TFakeMailHost::DeliverPassword(const QString& name, const QString& clear)
{
    Delivered.append({name, clear});
    if (OnDeliverPassword) {
        OnDeliverPassword(name, clear);
    }
}

void TFakeMailHost::ConnectModem()
{
    ++Dials;
    ++Active;
}

QWidget* TFakeMailHost::CreateViewer(const QString& server, const QString& subject)
{
    Viewer v;
    v.Server = server;
    v.Subject = subject;
    Viewers.append(v);
    QWidget* w = ViewerFactory ? ViewerFactory() : nullptr;
    m_viewerWidgets.append(w);
    return w;
}

void TFakeMailHost::FillViewer(QWidget* viewer, const QByteArray& shown, const QByteArray& whole,
                               const QByteArray& message, bool minimise)
{
    const int i = m_viewerWidgets.lastIndexOf(viewer);
    if (i < 0) {
        return;
    }
    Viewers[i].Shown = shown;
    Viewers[i].Whole = whole;
    Viewers[i].Message = message;
    Viewers[i].Minimised = minimise;
    Viewers[i].Filled = true;
}

QList<QByteArray> TFakeMailHost::StoredIds(const QString& path, const QString& section)
{
    const TIniFile ini(path);
    QList<QByteArray> ids;
    for (int n = 1;; ++n) {
        const QString v = ini.ReadString(section, QString::number(n), QString());
        if (v.isEmpty()) {
            return ids;
        }
        ids.append(v.toLatin1());
    }
}
