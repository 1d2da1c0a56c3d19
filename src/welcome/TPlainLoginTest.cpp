#include "welcome/TPlainLoginTest.h"

#include "net/TSockets.h"

namespace {

constexpr int kMaxReply = 4096;

class Dialogue {
public:
    explicit Dialogue(TSockets& socket) : m_socket(socket)
    {
        m_socket.OnErrorOccurred = [this](TSockets*, int, int error, const QString& msg) {
            if (m_failure.isEmpty()) {
                m_failure = QStringLiteral("%1 (%2)").arg(msg, QString::number(error));
            }
        };
    }
    ~Dialogue() { m_socket.OnErrorOccurred = nullptr; }
    Dialogue(const Dialogue&) = delete;
    Dialogue& operator=(const Dialogue&) = delete;

    const QString& Failure() const { return m_failure; }

    // One reply line; empty when the connection failed or closed first.
    QByteArray ReadLine()
    {
        for (;;) {
            const int end = int(m_pending.indexOf("\r\n"));
            if (end >= 0) {
                const QByteArray line = m_pending.left(end);
                m_pending.remove(0, end + 2);
                return line;
            }
            if (m_pending.size() > kMaxReply || !m_failure.isEmpty()) {
                return {};
            }
            const QByteArray chunk = m_socket.Receive();
            if (chunk.isEmpty()) {
                return {};
            }
            m_pending += chunk;
        }
    }

    QByteArray Ask(const QByteArray& command)
    {
        m_socket.Send(command + "\r\n");
        return m_failure.isEmpty() ? ReadLine() : QByteArray();
    }

private:
    TSockets& m_socket;
    QString m_failure;
    QByteArray m_pending;
};

} // namespace

TConnectionTestResult TPlainLoginTest::Run(const TConnectionParams& params)
{
    TConnectionTestResult result;
    if (params.Security != QLatin1String("None")) {
        result.Message = QStringLiteral("尚未支援加密連線");
        return result;
    }
    const QByteArray login = params.Login.toUtf8();
    const QByteArray password = params.Password.toUtf8();
    // A line break would end the argument early and send the rest as a command.
    if (login.contains('\r') || login.contains('\n') || password.contains('\r') || password.contains('\n')) {
        result.Message = QStringLiteral("使用者名稱或密碼錯誤！");
        return result;
    }
    TSockets socket;
    socket.NonBlocking = false;
    socket.Port = params.Port.isEmpty() ? QStringLiteral("110") : params.Port;
    Dialogue dialogue(socket);
    socket.Open(params.Host, params.Timeout);
    const QByteArray greeting = dialogue.Failure().isEmpty() ? dialogue.ReadLine() : QByteArray();
    if (!greeting.startsWith('+')) {
        result.Message = QStringLiteral("無法連線！") +
                         (dialogue.Failure().isEmpty() ? QString() : QLatin1Char(' ') + dialogue.Failure());
        socket.Close();
        return result;
    }
    if (!dialogue.Ask("USER " + login).startsWith('+') || !dialogue.Ask("PASS " + password).startsWith('+')) {
        result.Message = dialogue.Failure().isEmpty() ? QStringLiteral("使用者名稱或密碼錯誤！")
                                                      : QStringLiteral("連線中斷！ ") + dialogue.Failure();
        socket.Close();
        return result;
    }
    dialogue.Ask("QUIT");
    socket.Close();
    result.Ok = true;
    result.Message = QStringLiteral("連線成功，使用者名稱與密碼正確。");
    return result;
}
