// Writes 1,000 keys one by one into one section of a settings file that already holds
// 10,000 lines; every write reaches the file at once. Target: under one second.
#include "settings/TIniFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        QByteArray content;
        int lines = 0;
        for (int s = 0; lines < 10000; ++s) {
            content += "[IDs:Mailbox" + QByteArray::number(s) + "]\r\n";
            ++lines;
            for (int k = 1; k <= 99 && lines < 10000; ++k, ++lines) {
                content +=
                    QByteArray::number(k) + "=<" + QByteArray::number(s * 1000 + k) + ".mailvane@example.com>\r\n";
            }
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            std::fprintf(stderr, "cannot prepare %s\n", qPrintable(path));
            return 1;
        }
    }

    TIniFile ini(path);
    const QString section = QStringLiteral("IDs:Mailbox50");
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= 1000; ++i) {
        ini.WriteString(section, QStringLiteral("New%1").arg(i), QStringLiteral("<%1.bench@example.com>").arg(i));
    }
    const qint64 ms = timer.elapsed();

    const bool ok =
        ini.ReadString(section, QStringLiteral("New1000"), QString()) == QStringLiteral("<1000.bench@example.com>") &&
        ini.ReadString(section, QStringLiteral("1"), QString()) == QStringLiteral("<50001.mailvane@example.com>");
    std::printf("1000 writes into a 10000-line file: %lld ms (%.2f ms per write)%s\n", static_cast<long long>(ms),
                ms / 1000.0, ok ? "" : " -- CONTENT WRONG");
    return ok ? 0 : 1;
}
