// SPDX-License-Identifier: MIT
#include "service/HttpWorker.h"

#include "service/CurlLibrary.h"

#include <QPromise>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

CURLM *multiOf(void *multi)
{
    return static_cast<CURLM *>(multi);
}

// A socket's address in the form libcurl reports a connection's ends: the IP address as text and
// the port.
struct Endpoint
{
    char ip[INET6_ADDRSTRLEN] = {};
    int port = -1;

    [[nodiscard]] bool is(const char *otherIp, int otherPort) const
    {
        return port == otherPort && otherIp && std::strcmp(ip, otherIp) == 0;
    }
};

template<class Query> Endpoint endpointOf(int fd, Query query)
{
    Endpoint endpoint;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (query(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return endpoint;
    if (address.ss_family == AF_INET) {
        const auto &v4 = reinterpret_cast<const sockaddr_in &>(address);
        inet_ntop(AF_INET, &v4.sin_addr, endpoint.ip, sizeof endpoint.ip);
        endpoint.port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, endpoint.ip, sizeof endpoint.ip);
        endpoint.port = ntohs(v6.sin6_port);
    }
    return endpoint;
}

// What is left of the time until the deadline, at least a millisecond (0 means "none" to libcurl).
long remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return long(std::max<std::chrono::milliseconds::rep>(left.count(), 1));
}

HttpOutcome failure(CURLcode code)
{
    return HttpOutcome{HttpOutcome::End::Failed, int(code),
                       QString::fromUtf8(HttpWorker::library().easy_strerror(code))};
}

} // namespace

struct HttpWorker::Running
{
    quint64 id = 0;
    SocketOwners *socketOwners = nullptr;
    std::shared_ptr<HttpExchange> exchange;
    QPromise<HttpOutcome> promise;
    CURL *easy = nullptr;
    curl_slist *headers = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};

    QByteArray body;
    bool tooLarge = false;
    qint64 headerBytes = 0;
    bool headersTooLarge = false;
    int connectionsUsed = 0;
    bool staleConnection = false; // the reused connection had been closed: start again, unsent
    bool freshConnection = false; // started again on a new connection
    // Inactivity counts from the moment a connection is being made or used: an exchange waiting
    // for one of the host's connections to come free is not idle.
    bool connecting = false;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t uploaded = 0;
    curl_off_t downloaded = 0;

    ~Running()
    {
        if (easy)
            HttpWorker::library().easy_cleanup(easy);
        HttpWorker::library().slist_free_all(headers);
    }

    void finish(HttpOutcome outcome)
    {
        promise.addResult(std::move(outcome));
        promise.finish();
    }

    void finish(HttpOutcome::End end)
    {
        HttpOutcome outcome;
        outcome.end = end;
        finish(std::move(outcome));
    }

    // libcurl calls these on the worker thread, with the Running as their data.
    static size_t onBody(char *data, size_t size, size_t count, void *self)
    {
        auto &r = *static_cast<Running *>(self);
        const size_t n = size * count;
        r.lastActivity = Clock::now();
        if (qint64(r.body.size()) + qint64(n) > r.exchange->bodyLimit) {
            r.tooLarge = true;
            return 0; // ends the transfer: nothing more is read
        }
        if (r.body.isEmpty()) {
            // The announced length (already known to be within the limit) saves reallocations; the
            // 64 bytes over it are the reply reader's padding, without which it copies the body. A
            // length announced and never sent costs address space only: untouched pages of a large
            // allocation are not resident.
            curl_off_t announced = -1;
            HttpWorker::library().easy_getinfo(r.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
            if (announced > 0)
                r.body.reserve(qsizetype(announced) + 64);
        }
        r.body.append(data, qsizetype(n));
        return n;
    }

    static size_t onHeader(char *, size_t size, size_t count, void *self)
    {
        auto &r = *static_cast<Running *>(self);
        r.lastActivity = Clock::now();
        r.headerBytes += qint64(size * count);
        if (r.headerBytes > r.exchange->headerLimit) {
            r.headersTooLarge = true;
            return 0; // ends the transfer
        }
        return size * count;
    }

    static int onProgress(void *self, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
    {
        auto &r = *static_cast<Running *>(self);
        if (downloaded != r.downloaded || uploaded != r.uploaded) {
            r.downloaded = downloaded;
            r.uploaded = uploaded;
            r.lastActivity = Clock::now();
        }
        return 0;
    }

    static curl_socket_t openSocket(void *self, curlsocktype, curl_sockaddr *address)
    {
        auto &r = *static_cast<Running *>(self);
        const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (fd >= 0)
            (*r.socketOwners)[fd] = r.id;
        r.connecting = true;
        r.lastActivity = Clock::now();
        return fd >= 0 ? fd : CURL_SOCKET_BAD;
    }

    // Set on the worker's behalf: libcurl may close a connection long after its exchange ended.
    static int closeSocket(void *owners, curl_socket_t fd)
    {
        static_cast<SocketOwners *>(owners)->erase(fd);
        return ::close(fd);
    }

    // Whether the connection between these two ends was opened by an earlier exchange and has
    // something to read: an idle HTTP/1.1 connection only does once the server has closed it.
    [[nodiscard]] bool reusedAndClosed(const char *peerIp, int peerPort, const char *localIp,
                                       int localPort) const
    {
        for (const auto &[fd, owner] : *socketOwners) {
            if (!endpointOf(fd, ::getsockname).is(localIp, localPort) ||
                !endpointOf(fd, ::getpeername).is(peerIp, peerPort))
                continue;
            if (owner == id)
                return false;
            pollfd probe{fd, POLLIN, 0};
            return ::poll(&probe, 1, 0) > 0;
        }
        return false;
    }

    // Called each time the request is about to go out on a connection. A second time means that
    // libcurl is resending it by itself after the connection failed.
    static int beforeSending(void *self, char *peerIp, char *localIp, int peerPort, int localPort)
    {
        auto &r = *static_cast<Running *>(self);
        r.connecting = true;
        r.lastActivity = Clock::now();
        if (!r.freshConnection && r.connectionsUsed == 0 &&
            r.reusedAndClosed(peerIp, peerPort, localIp, localPort)) {
            r.staleConnection = true;
            return CURL_PREREQFUNC_ABORT;
        }
        return ++r.connectionsUsed > 1 ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
    }

    // After a stale connection: the same exchange once more, on a connection of its own.
    void restartOnFreshConnection()
    {
        staleConnection = false;
        freshConnection = true;
        connectionsUsed = 0;
        body.clear();
        headerBytes = 0;
        connecting = false;
        lastActivity = Clock::now();
        HttpWorker::library().easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        HttpWorker::library().easy_setopt(easy, CURLOPT_TIMEOUT_MS, remainingMs(exchange->deadline));
    }

    void configure()
    {
        const HttpExchange &x = *exchange;
        const CurlLibrary &curl = HttpWorker::library();
        easy = curl.easy_init();
        if (!easy)
            throw std::bad_alloc();
        curl.easy_setopt(easy, CURLOPT_PRIVATE, this);
        curl.easy_setopt(easy, CURLOPT_URL, x.url.constData());
        curl.easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
        curl.easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl.easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
        curl.easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""); // whatever libcurl can decode
        // Leave a name lookup still running behind when the exchange ends, rather than wait for it.
        curl.easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);

        const auto appendHeader = [this, &curl](const char *line) {
            curl_slist *extended = curl.slist_append(headers, line);
            if (!extended)
                throw std::bad_alloc();
            headers = extended;
        };
        for (const QByteArray &line : x.headerLines)
            appendHeader(line.constData());
        appendHeader("Expect:"); // send a POST body at once
        curl.easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        if (x.isPost) {
            curl.easy_setopt(easy, CURLOPT_POST, 1L);
            curl.easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(x.body.size()));
            curl.easy_setopt(easy, CURLOPT_POSTFIELDS, x.body.constData());
        } else {
            curl.easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        }

        // Only the given certificates: no bundle or folder of libcurl's own choosing.
        curl.easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        curl.easy_setopt(easy, CURLOPT_CAPATH,
                         x.systemCaPath.isEmpty() ? nullptr : x.systemCaPath.constData());
        if (!x.extraCaPem->isEmpty()) {
            curl_blob extra{const_cast<char *>(x.extraCaPem->constData()), size_t(x.extraCaPem->size()),
                            CURL_BLOB_NOCOPY};
            curl.easy_setopt(easy, CURLOPT_CAINFO_BLOB, &extra);
        }

        curl.easy_setopt(easy, CURLOPT_TIMEOUT_MS, remainingMs(x.deadline));
        curl.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(x.inactivityTimeout.count()));
        curl.easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(x.bodyLimit));
        curl.easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024);

        curl.easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Running::onBody);
        curl.easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl.easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Running::onHeader);
        curl.easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl.easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl.easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Running::onProgress);
        curl.easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl.easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Running::beforeSending);
        curl.easy_setopt(easy, CURLOPT_PREREQDATA, this);
        curl.easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Running::openSocket);
        curl.easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
        curl.easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &Running::closeSocket);
        curl.easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, socketOwners);
        lastActivity = Clock::now();
    }

    HttpOutcome outcomeOf(CURLcode result)
    {
        HttpOutcome outcome;
        long status = 0;
        HttpWorker::library().easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (tooLarge || result == CURLE_FILESIZE_EXCEEDED)
            outcome.end = HttpOutcome::End::TooLarge;
        else if (headersTooLarge)
            outcome.end = HttpOutcome::End::HeadersTooLarge;
        // libcurl's word for a reply without a status line ("HTTP/0.9") once the request went out;
        // before that it means an address of another scheme.
        else if (result == CURLE_UNSUPPORTED_PROTOCOL && connectionsUsed > 0)
            outcome.end = HttpOutcome::End::NotHttp;
        else if (result == CURLE_OPERATION_TIMEDOUT && Clock::now() >= exchange->deadline)
            outcome.end = HttpOutcome::End::TimedOut;
        else if (result == CURLE_ABORTED_BY_CALLBACK && connectionsUsed > 1)
            outcome.end = HttpOutcome::End::WouldResend;
        else if (result == CURLE_OK) // without a status, Transport reports it as not HTTP
            outcome.end = HttpOutcome::End::Complete;
        outcome.curlCode = int(result);
        outcome.curlText =
            QString::fromUtf8(errorText[0] ? errorText : HttpWorker::library().easy_strerror(result));
        if (outcome.end != HttpOutcome::End::Complete)
            return outcome;
        outcome.status = int(status);
        char *location = nullptr;
        if (HttpWorker::library().easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location) == CURLE_OK &&
            location)
            outcome.redirectUrl = location;
        outcome.body = std::move(body);
        body = QByteArray();
        return outcome;
    }
};

namespace {

// Every worker in existence, for the exit handler.
std::mutex workersMutex;
std::vector<HttpWorker *> workers; // guarded by workersMutex

} // namespace

const CurlLibrary &HttpWorker::library()
{
    return CurlLibrary::get(&HttpWorker::releaseAll);
}

void HttpWorker::releaseAll()
{
    const std::lock_guard lock(workersMutex);
    for (HttpWorker *worker : workers)
        worker->release();
}

void HttpWorker::release()
{
    stop();
    void *multi = nullptr;
    {
        const std::lock_guard lock(m_mutex); // against a wake() from another thread
        multi = std::exchange(m_multi, nullptr);
    }
    if (multi)
        library().multi_cleanup(multiOf(multi));
}

HttpWorker::HttpWorker()
{
    const CurlLibrary &curl = library();
    m_multi = curl.multi_init();
    if (!m_multi)
        throw std::bad_alloc();
    curl.multi_setopt(multiOf(m_multi), CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
    try {
        const std::lock_guard lock(workersMutex);
        workers.push_back(this);
        m_thread = std::thread([this] { run(); });
        pthread_setname_np(m_thread.native_handle(), "quorl-http");
    } catch (...) {
        const std::lock_guard lock(workersMutex);
        std::erase(workers, this);
        curl.multi_cleanup(multiOf(m_multi));
        throw;
    }
}

HttpWorker::~HttpWorker()
{
    const std::lock_guard lock(workersMutex);
    std::erase(workers, this);
    release();
}

void HttpWorker::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    std::call_once(m_joined, [this] { m_thread.join(); });
}

QFuture<HttpOutcome> HttpWorker::start(std::shared_ptr<HttpExchange> exchange)
{
    static std::atomic<quint64> lastId{0};
    auto running = std::make_unique<Running>();
    running->id = ++lastId;
    running->socketOwners = &m_socketOwners;
    running->exchange = std::move(exchange);
    running->promise.start();
    QFuture<HttpOutcome> future = running->promise.future();
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping) {
            running->finish(HttpOutcome::End::Cancelled);
            return future;
        }
        m_incoming.push_back(std::move(running));
    }
    wake();
    return future;
}

void HttpWorker::wake()
{
    const std::lock_guard lock(m_mutex);
    if (m_multi) // null only once the process is exiting
        library().multi_wakeup(multiOf(m_multi));
}

void HttpWorker::run()
{
    const CurlLibrary &curl = library();
    CURLM *multi = multiOf(m_multi);
    std::vector<std::unique_ptr<Running>> active;
    const auto drop = [&](std::vector<std::unique_ptr<Running>>::iterator it) {
        curl.multi_remove_handle(multi, (*it)->easy);
        return active.erase(it);
    };

    for (;;) {
        std::vector<std::unique_ptr<Running>> incoming;
        bool stopping = false;
        {
            const std::lock_guard lock(m_mutex);
            incoming.swap(m_incoming);
            stopping = m_stopping;
        }
        for (auto &running : incoming) {
            if (stopping || running->exchange->cancelRequested) {
                running->finish(HttpOutcome::End::Cancelled);
                continue;
            }
            try {
                running->configure();
            } catch (const std::bad_alloc &) {
                running->finish(failure(CURLE_OUT_OF_MEMORY));
                continue;
            }
            if (curl.multi_add_handle(multi, running->easy) != CURLM_OK) {
                running->finish(failure(CURLE_OUT_OF_MEMORY));
                continue;
            }
            active.push_back(std::move(running));
        }
        if (stopping) {
            for (auto it = active.begin(); it != active.end();) {
                (*it)->finish(HttpOutcome::End::Cancelled);
                it = drop(it);
            }
            return;
        }

        int stillRunning = 0;
        curl.multi_perform(multi, &stillRunning);
        int queued = 0;
        while (CURLMsg *message = curl.multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            auto it = std::find_if(active.begin(), active.end(),
                                   [easy = message->easy_handle](const auto &r) { return r->easy == easy; });
            if (it == active.end())
                continue;
            Running &r = **it;
            if (r.staleConnection && message->data.result == CURLE_ABORTED_BY_CALLBACK) {
                curl.multi_remove_handle(multi, r.easy);
                r.restartOnFreshConnection();
                if (curl.multi_add_handle(multi, r.easy) == CURLM_OK)
                    continue;
                r.finish(failure(CURLE_OUT_OF_MEMORY));
                active.erase(it);
                continue;
            }
            r.finish(r.outcomeOf(message->data.result));
            drop(it);
        }

        // What is still running: cancelled, idle and overdue exchanges end here, and the others set
        // the next look. Every change that could end one sooner (a byte moving, a cancellation, a
        // new exchange) happens in this loop or wakes it, so with nothing running the thread sleeps
        // until it is woken.
        const Clock::time_point now = Clock::now();
        Clock::time_point nextCheck = Clock::time_point::max();
        for (auto it = active.begin(); it != active.end();) {
            Running &r = **it;
            const HttpExchange &x = *r.exchange;
            const Clock::time_point idleEnd =
                r.connecting ? r.lastActivity + x.inactivityTimeout : Clock::time_point::max();
            if (x.cancelRequested || now >= idleEnd || now >= x.deadline) {
                r.finish(x.cancelRequested ? HttpOutcome::End::Cancelled
                         : now >= idleEnd  ? HttpOutcome::End::Inactive
                                           : HttpOutcome::End::TimedOut);
                it = drop(it);
                continue;
            }
            nextCheck = std::min({nextCheck, idleEnd, x.deadline});
            ++it;
        }

        long curlWait = -1;
        curl.multi_timeout(multi, &curlWait);
        constexpr std::chrono::milliseconds longest(std::numeric_limits<int>::max());
        std::chrono::milliseconds wait = longest; // about 25 days: asleep until woken
        if (nextCheck != Clock::time_point::max())
            wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(nextCheck - Clock::now()));
        if (curlWait >= 0)
            wait = std::min(wait, std::chrono::milliseconds(curlWait));
        curl.multi_poll(multi, nullptr, 0, int(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)),
                        nullptr);
    }
}
