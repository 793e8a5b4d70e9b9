#pragma once
// The HTTP side of `orvalink-cli monitor`: GET and HEAD of a few fixed
// paths, served on the program's one thread, and bounded against hostile
// clients: a request's head may hold kHeadBytes (then 431 or 414 and the
// connection closes), a connection must bring a whole request within
// kRequestSeconds of its start or of its previous answer (idle and slow
// senders alike are closed then), a client address holds at most
// kConnectionsPerAddress connections, and all of them together stay below
// the descriptors the process may open. HTTP/1.0 and "Connection: close"
// close after the answer; HEAD answers the headers of a GET.
//
// libmicrohttpd does the protocol; its epoll descriptor is watched from
// the Qt event loop, so the answer is built where the metrics live.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

struct MHD_Daemon;
struct MHD_Connection;

namespace orvalink::cli {

class HttpEndpoint {
public:
    static constexpr int kHeadBytes = 16 * 1024;
    static constexpr int kRequestSeconds = 10;
    static constexpr int kConnectionsPerAddress = 64;
    static constexpr int kMaxConnections = 4096;
    // Descriptors kept for everything else of the process (sockets, files).
    static constexpr int kReservedDescriptors = 256;

    struct Answer {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
    };
    // The answer for a path ("/metrics"); 404 when the path is not served.
    using Handler = std::function<Answer(const QByteArray& path)>;

    explicit HttpEndpoint(Handler handler);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Listens on address:port (0: any free port); false when it cannot.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_port; }
    // How many connections may be open at once, from the descriptor limit.
    int connectionLimit() const { return m_connectionLimit; }

    // Raises the soft limit of open descriptors to the hard one (at most
    // `wanted`): many clients need many descriptors, and the soft limit
    // of 1024 exists only for select(), which is not used here.
    static void raiseDescriptorLimit(int wanted);

private:
    struct Callbacks; // libmicrohttpd's entry points
    friend struct Callbacks;

    bool answer(MHD_Connection* connection, const char* url, const char* method);
    void run();
    void closeLate();

    Handler m_handler;
    MHD_Daemon* m_daemon = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_again;                       // MHD's own next deadline, or work left over
    QTimer m_deadline;                    // once a second: closes connections past their time
    QHash<MHD_Connection*, qint64> m_due; // when each must have been answered (ms)
    quint16 m_port = 0;
    int m_connectionLimit = 0;
};

} // namespace orvalink::cli
