// Start-up to the shown main window with ten mailboxes configured.
// Run with QT_QPA_PLATFORM=offscreen; prints the median of several runs.
#include "app/TFormMain.h"
#include "widgets/TModal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Mailvane.ini"));
    QString text = QStringLiteral("[Option]\nStartupCheck=0\n[Server]\n");
    for (int i = 0; i < 10; ++i) {
        text += QStringLiteral("%1=Mailbox %1\n").arg(i);
    }
    for (int i = 0; i < 10; ++i) {
        text +=
            QStringLiteral("[Mailbox %1]\nHost=127.0.0.1\nLogin=u\nTop=%2\nLeft=%2\nColumn3=120\n").arg(i).arg(i * 10);
    }
    QFile f(ini);
    f.open(QIODevice::WriteOnly);
    f.write(text.toUtf8());
    f.close();

    QList<qint64> runs;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        auto* main = new TFormMain(ini);
        main->show();
        main->CreateStatusWindow();
        main->Startings();
        QCoreApplication::processEvents();
        runs << t.elapsed();
        delete main;
    }
    std::sort(runs.begin(), runs.end());
    std::printf("start-up with ten mailboxes: median %lld ms (min %lld, max %lld over 7 runs)\n",
                static_cast<long long>(runs[runs.size() / 2]), static_cast<long long>(runs.first()),
                static_cast<long long>(runs.last()));
    return 0;
}
