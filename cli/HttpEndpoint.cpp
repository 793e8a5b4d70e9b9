#include "HttpEndpoint.h"

#include <microhttpd.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orvalink::cli {

namespace {

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr qint64 kRequestMs = qint64(HttpEndpoint::kRequestSeconds) * 1000;

} // namespace

struct HttpEndpoint::Callbacks {
    static MHD_Result request(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char*, const char*, size_t* uploadSize,
                              void** context)
    {
        auto* endpoint = static_cast<HttpEndpoint*>(self);
        const bool served = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                            std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
        // Another method is answered at once: the body it may bring is
        // dropped and the connection closed after the answer.
        if (!served)
            return endpoint->answer(connection, url, method) ? MHD_YES : MHD_NO;
        // GET and HEAD are answered once the request is whole, so that the
        // connection may stay open for the next one. A body (none is
        // expected) is read and dropped, within the request's time.
        if (*context == nullptr || *uploadSize != 0) {
            *context = self;
            *uploadSize = 0;
            return MHD_YES;
        }
        return endpoint->answer(connection, url, method) ? MHD_YES : MHD_NO;
    }

    static void connection(void* cls, MHD_Connection* connection, void**,
                           MHD_ConnectionNotificationCode code)
    {
        auto* self = static_cast<HttpEndpoint*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED)
            self->m_due.insert(connection, nowMs() + kRequestMs);
        else
            self->m_due.remove(connection);
    }
};

HttpEndpoint::HttpEndpoint(Handler handler) : m_handler(std::move(handler))
{
    m_again.setSingleShot(true);
    QObject::connect(&m_again, &QTimer::timeout, [this] { run(); });
    m_deadline.setInterval(1000);
    QObject::connect(&m_deadline, &QTimer::timeout, [this] { closeLate(); });
}

HttpEndpoint::~HttpEndpoint()
{
    m_notifier.reset(); // before its descriptor goes
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
}

void HttpEndpoint::raiseDescriptorLimit(int wanted)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t target = std::min<rlim_t>(limit.rlim_max, rlim_t(wanted));
    if (limit.rlim_cur >= target)
        return;
    limit.rlim_cur = target;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

bool HttpEndpoint::listen(const QHostAddress& address, quint16 port)
{
    rlimit limit{};
    const qint64 descriptors =
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
            ? qint64(limit.rlim_cur)
            : qint64(kMaxConnections) + kReservedDescriptors;
    m_connectionLimit =
        int(std::clamp<qint64>(descriptors - kReservedDescriptors, 16, kMaxConnections));

    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(address.toIPv4Address());
    // Without MHD_USE_INTERNAL_POLLING_THREAD: MHD_run() is called from
    // here, when its epoll descriptor has news or a timeout is due.
    m_daemon = MHD_start_daemon(
        MHD_USE_EPOLL, port, nullptr, nullptr, &Callbacks::request, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<const sockaddr*>(&at), MHD_OPTION_LISTENING_ADDRESS_REUSE, 1u,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(kHeadBytes), MHD_OPTION_CONNECTION_TIMEOUT,
        unsigned(kRequestSeconds), MHD_OPTION_CONNECTION_LIMIT, unsigned(m_connectionLimit),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, unsigned(kConnectionsPerAddress),
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::connection, this, MHD_OPTION_END);
    if (!m_daemon)
        return false;
    const MHD_DaemonInfo* bound = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    const MHD_DaemonInfo* epoll = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD);
    if (!bound || !epoll || epoll->epoll_fd < 0) {
        MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
        return false;
    }
    m_port = bound->port;
    m_notifier = std::make_unique<QSocketNotifier>(epoll->epoll_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { run(); });
    m_deadline.start();
    run();
    return true;
}

bool HttpEndpoint::answer(MHD_Connection* connection, const char* url, const char* method)
{
    Answer a;
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
        std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0) {
        a = m_handler(QByteArray(url));
    } else {
        a.status = MHD_HTTP_METHOD_NOT_ALLOWED;
        a.contentType = QByteArrayLiteral("text/plain; charset=utf-8");
        a.body = QByteArrayLiteral("Only GET and HEAD are served.\n");
    }
    MHD_Response* response = MHD_create_response_from_buffer(
        size_t(a.body.size()), const_cast<char*>(a.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, a.contentType.constData());
    if (a.status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    // HEAD: libmicrohttpd sends the headers of this answer without its body.
    const MHD_Result queued = MHD_queue_response(connection, unsigned(a.status), response);
    MHD_destroy_response(response);
    // A kept connection has its own time again for the next request.
    if (m_due.contains(connection))
        m_due[connection] = nowMs() + kRequestMs;
    return queued == MHD_YES;
}

void HttpEndpoint::run()
{
    MHD_run(m_daemon);
    MHD_UNSIGNED_LONG_LONG ms = 0;
    if (MHD_get_timeout(m_daemon, &ms) == MHD_YES)
        m_again.start(int(std::min<MHD_UNSIGNED_LONG_LONG>(ms, 1000)));
    else
        m_again.stop();
}

void HttpEndpoint::closeLate()
{
    // libmicrohttpd's own timeout counts from the last byte; a sender of a
    // byte now and then is closed here, at its request's time. Shut down,
    // the socket reads as closed and the library ends the connection.
    const qint64 now = nowMs();
    for (auto it = m_due.cbegin(); it != m_due.cend(); ++it) {
        if (it.value() > now)
            continue;
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(it.key(), MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info)
            ::shutdown(info->connect_fd, SHUT_RDWR);
    }
    run();
}

} // namespace orvalink::cli
