#include "assets/MailvaneAssets.h"
#include "settings/TIniFile.h"
#include "status/TFormMedia.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_FormMedia : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void missingOrBrokenFileFreesWindow_data();
    void missingOrBrokenFileFreesWindow();
    void animationLoopsUntilDoubleClicked_data();
    void animationLoopsUntilDoubleClicked();
    void soundClosesItselfAtEnd();
    void dragRemembersPosition();

private:
    TMediaContext context(const QString& file) const;
    static bool visibleWindowOtherThan(const QWidget* w);

    QTemporaryDir m_dir;
    QString m_avi, m_wav, m_ini;
    int m_restored = 0;
};

void tst_FormMedia::initTestCase()
{
    InitMailvaneAssets();
    m_avi = m_dir.filePath("Mailvane.avi");
    m_wav = m_dir.filePath("Mailvane.wav");
    m_ini = m_dir.filePath("Mailvane.ini");
    QVERIFY(QFile::copy(":/media/Mailvane.avi", m_avi));
    QVERIFY(QFile::copy(":/media/Mailvane.wav", m_wav));
}

void tst_FormMedia::cleanup()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<TFormMedia*>(w)) {
            delete w;
        }
    }
    QFile::remove(m_ini);
    m_restored = 0;
}

TMediaContext tst_FormMedia::context(const QString& file) const
{
    TMediaContext c;
    c.SettingsPath = m_ini;
    c.MediaFile = file;
    c.AnimationFile = m_avi;
    c.StayOnTop = true;
    c.RestoreWindow = true;
    c.RestoreApplication = [this] { const_cast<tst_FormMedia*>(this)->m_restored++; };
    return c;
}

bool tst_FormMedia::visibleWindowOtherThan(const QWidget* w)
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top != w && top->isVisible()) {
            return true;
        }
    }
    return false;
}

void tst_FormMedia::missingOrBrokenFileFreesWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: the file does not exist
    QTest::addColumn<bool>("asAnimation");

    QTest::newRow("missing sound") << "gone.wav" << QByteArray() << false;
    QTest::newRow("missing animation") << "gone.avi" << QByteArray() << true;
    QTest::newRow("broken sound") << "broken.wav" << QByteArray("RIFF\x04\x00\x00\x00junkjunk", 16) << false;
    QTest::newRow("broken animation") << "broken.avi" << QByteArray(4000, 'x') << true;
}

void tst_FormMedia::missingOrBrokenFileFreesWindow()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, asAnimation);

    const QString path = m_dir.filePath(name);
    QFile::remove(path);
    if (!content.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    TMediaContext c = context(path);
    if (asAnimation) {
        c.AnimationFile = path;
    }
    QPointer<TFormMedia> media = new TFormMedia(c);
    QTRY_VERIFY_WITH_TIMEOUT(media.isNull(), 10000);
    QVERIFY(!visibleWindowOtherThan(nullptr));
    QVERIFY(!TFormMedia::Find(TFormMedia::VideoCaption));
    QVERIFY(!TFormMedia::Find(TFormMedia::SoundCaption));

    // Nothing is left behind that would block the next announcement.
    QPointer<TFormMedia> next = new TFormMedia(context(m_avi));
    QCOMPARE(TFormMedia::Find(TFormMedia::VideoCaption), next.data());
    QVERIFY(!next->OpenFailed());
}

void tst_FormMedia::animationLoopsUntilDoubleClicked_data()
{
    QTest::addColumn<bool>("restoreWindow");
    QTest::addColumn<bool>("fromSoundSetting");
    QTest::newRow("animation, restore on") << true << false;
    QTest::newRow("sound naming the animation, restore off") << false << true;
}

void tst_FormMedia::animationLoopsUntilDoubleClicked()
{
    QFETCH(bool, restoreWindow);
    QFETCH(bool, fromSoundSetting);

    TMediaContext c = context(m_avi);
    c.RestoreWindow = restoreWindow;
    if (fromSoundSetting) {
        // The sound setting names the very file of the animation setting.
        c.MediaFile = QString(m_avi);
    }
    QPointer<TFormMedia> media = new TFormMedia(c);
    QCOMPARE(media->windowTitle(), QStringLiteral("Mailvane Video Player"));
    QVERIFY(media->isVisible());
    QVERIFY(media->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(TFormMedia::Find("Mailvane Video Player"), media.data());

    QSignalSpy status(media->MediaPlayer, &QMediaPlayer::mediaStatusChanged);
    QTRY_VERIFY_WITH_TIMEOUT(status.count(QList<QVariant>{QVariant::fromValue(QMediaPlayer::EndOfMedia)}) >= 2, 20000);
    QVERIFY(media);
    QVERIFY(!media->OpenFailed());
    QVERIFY(!media->CurrentFrame().isNull());

    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(20, 20), media->PanelDisplay->mapToGlobal(QPointF(20, 20)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(media->PanelDisplay, &dbl);
    QCOMPARE(m_restored, restoreWindow ? 1 : 0);
    QVERIFY(!TFormMedia::Find("Mailvane Video Player"));
    QTRY_VERIFY(media.isNull());
}

void tst_FormMedia::soundClosesItselfAtEnd()
{
    QPointer<TFormMedia> media = new TFormMedia(context(m_wav));
    QCOMPARE(media->windowTitle(), QStringLiteral("Mailvane Sound Player"));
    QVERIFY(!media->isVisible());
    QCOMPARE(TFormMedia::Find("Mailvane Sound Player"), media.data());
    QVERIFY(!TFormMedia::Find("Mailvane Video Player"));
    QTRY_VERIFY_WITH_TIMEOUT(media.isNull(), 15000);
    QVERIFY(!TFormMedia::Find("Mailvane Sound Player"));
}

void tst_FormMedia::dragRemembersPosition()
{
    TIniFile ini(m_ini);
    ini.WriteInteger("Windows", "MediaTop", 40);
    ini.WriteInteger("Windows", "MediaLeft", 70);
    TMediaContext c = context(m_avi);
    c.StayOnTop = false;
    auto* media = new TFormMedia(c);
    QVERIFY(!(media->windowFlags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(media->pos(), QPoint(70, 40));

    auto send = [&](QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent ev(type, pos, media->PanelDisplay->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(media->PanelDisplay, &ev);
    };
    send(QEvent::MouseButtonPress, QPointF(10, 10), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(media->DragActive());
    send(QEvent::MouseMove, QPointF(30, 25), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(media->pos(), QPoint(90, 55));
    // Panel coordinates: the grabbed point is now at (10, 10) again, so this moves by (5, -5).
    send(QEvent::MouseMove, QPointF(15, 5), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(media->pos(), QPoint(95, 50));
    send(QEvent::MouseButtonRelease, QPointF(15, 5), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!media->DragActive());
    QCOMPARE(ini.ReadInteger("Windows", "MediaTop", 0), 50);
    QCOMPARE(ini.ReadInteger("Windows", "MediaLeft", 0), 95);
    // A move without a button held does nothing.
    send(QEvent::MouseMove, QPointF(60, 60), Qt::NoButton, Qt::NoButton);
    QCOMPARE(media->pos(), QPoint(95, 50));
    delete media;

    QPointer<TFormMedia> again = new TFormMedia(context(m_avi));
    QCOMPARE(again->pos(), QPoint(95, 50));
}

QTEST_MAIN(tst_FormMedia)
#include "tst_FormMedia.moc"
