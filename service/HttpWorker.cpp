// SPDX-License-Identifier: MIT
#include "service/HttpWorker.h"

#include <QPromise>

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

CURLM *multiOf(void *multi)
{
    return static_cast<CURLM *>(multi);
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
    int connectionsUsed = 0;
    bool staleConnection = false; // the reused connection had been closed: start again, unsent
    bool freshConnection = false; // started again on a new connection
    Clock::time_point lastActivity = Clock::now();
    curl_off_t uploaded = 0;
    curl_off_t downloaded = 0;

    ~Running()
    {
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
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
            // 64 bytes over it are the reply reader's padding, without which it copies the body.
            curl_off_t announced = -1;
            curl_easy_getinfo(r.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
            if (announced > 0)
                r.body.reserve(qsizetype(announced) + 64);
        }
        r.body.append(data, qsizetype(n));
        return n;
    }

    static size_t onHeader(char *, size_t size, size_t count, void *self)
    {
        static_cast<Running *>(self)->lastActivity = Clock::now();
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
        return fd >= 0 ? fd : CURL_SOCKET_BAD;
    }

    // Set on the worker's behalf: libcurl may close a connection long after its exchange ended.
    static int closeSocket(void *owners, curl_socket_t fd)
    {
        static_cast<SocketOwners *>(owners)->erase(fd);
        return ::close(fd);
    }

    // Whether the connection on this local port was opened by an earlier exchange and has
    // something to read: an idle HTTP/1.1 connection only does once the server has closed it.
    [[nodiscard]] bool reusedAndClosed(int localPort) const
    {
        for (const auto &[fd, owner] : *socketOwners) {
            sockaddr_storage address{};
            socklen_t length = sizeof address;
            if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
                continue;
            const auto *ip = reinterpret_cast<const sockaddr_in *>(&address); // port at the same place in v6
            if (ntohs(ip->sin_port) != localPort)
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
    static int beforeSending(void *self, char *, char *, int, int localPort)
    {
        auto &r = *static_cast<Running *>(self);
        if (!r.freshConnection && r.connectionsUsed == 0 && r.reusedAndClosed(localPort)) {
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
        lastActivity = Clock::now();
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    }

    void configure()
    {
        const HttpExchange &x = *exchange;
        easy = curl_easy_init();
        if (!easy)
            throw std::bad_alloc();
        curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
        curl_easy_setopt(easy, CURLOPT_URL, x.url.constData());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""); // whatever libcurl can decode

        for (const QByteArray &line : x.headerLines)
            headers = curl_slist_append(headers, line.constData());
        headers = curl_slist_append(headers, "Expect:"); // send a POST body at once
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        if (x.isPost) {
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(x.body.size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, x.body.constData());
        } else {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        }

        // Only the given certificates: no bundle or directory of libcurl's own choosing.
        curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
        curl_blob trust{const_cast<char *>(x.trustedCaPem->constData()), size_t(x.trustedCaPem->size()),
                        CURL_BLOB_NOCOPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &trust);

        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(x.deadline.count()));
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(x.inactivityTimeout.count()));
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(x.bodyLimit));
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024);

        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Running::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Running::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Running::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Running::beforeSending);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Running::openSocket);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &Running::closeSocket);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, socketOwners);
        lastActivity = Clock::now();
    }

    HttpOutcome outcomeOf(CURLcode result)
    {
        HttpOutcome outcome;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (tooLarge || result == CURLE_FILESIZE_EXCEEDED)
            outcome.end = HttpOutcome::End::TooLarge;
        else if (result == CURLE_ABORTED_BY_CALLBACK && connectionsUsed > 1)
            outcome.end = HttpOutcome::End::WouldResend;
        else if (result == CURLE_OK) // without a status, Transport reports it as not HTTP
            outcome.end = HttpOutcome::End::Complete;
        outcome.curlCode = int(result);
        outcome.curlText = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(result));
        if (outcome.end != HttpOutcome::End::Complete)
            return outcome;
        outcome.status = int(status);
        char *location = nullptr;
        if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
            outcome.redirectUrl = location;
        outcome.body = std::move(body);
        body = QByteArray();
        return outcome;
    }
};

HttpWorker::HttpWorker()
{
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_multi = curl_multi_init();
    if (!m_multi)
        throw std::bad_alloc();
    curl_multi_setopt(multiOf(m_multi), CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
    m_thread = std::thread([this] { run(); });
}

HttpWorker::~HttpWorker()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    m_thread.join();
    curl_multi_cleanup(multiOf(m_multi));
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
    curl_multi_wakeup(multiOf(m_multi));
}

void HttpWorker::run()
{
    CURLM *multi = multiOf(m_multi);
    std::vector<std::unique_ptr<Running>> active;
    const auto drop = [&](std::vector<std::unique_ptr<Running>>::iterator it) {
        curl_multi_remove_handle(multi, (*it)->easy);
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
                running->finish(HttpOutcome{HttpOutcome::End::Failed, int(CURLE_OUT_OF_MEMORY),
                                            QString::fromUtf8(curl_easy_strerror(CURLE_OUT_OF_MEMORY))});
                continue;
            }
            curl_multi_add_handle(multi, running->easy);
            active.push_back(std::move(running));
        }
        if (stopping) {
            for (auto it = active.begin(); it != active.end();) {
                (*it)->finish(HttpOutcome::End::Cancelled);
                it = drop(it);
            }
            return;
        }

        // Cancelled and idle exchanges end here; the rest move on.
        const Clock::time_point now = Clock::now();
        Clock::time_point nextIdleCheck = now + 1s;
        for (auto it = active.begin(); it != active.end();) {
            Running &r = **it;
            const Clock::time_point idleEnd = r.lastActivity + r.exchange->inactivityTimeout;
            if (r.exchange->cancelRequested || now >= idleEnd) {
                r.finish(r.exchange->cancelRequested ? HttpOutcome::End::Cancelled
                                                     : HttpOutcome::End::Inactive);
                it = drop(it);
                continue;
            }
            nextIdleCheck = std::min(nextIdleCheck, idleEnd);
            ++it;
        }

        int stillRunning = 0;
        curl_multi_perform(multi, &stillRunning);
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            auto it = std::find_if(active.begin(), active.end(),
                                   [easy = message->easy_handle](const auto &r) { return r->easy == easy; });
            if (it == active.end())
                continue;
            Running &r = **it;
            if (r.staleConnection && message->data.result == CURLE_ABORTED_BY_CALLBACK) {
                curl_multi_remove_handle(multi, r.easy);
                r.restartOnFreshConnection();
                curl_multi_add_handle(multi, r.easy);
                continue;
            }
            r.finish(r.outcomeOf(message->data.result));
            drop(it);
        }

        long curlWait = -1;
        curl_multi_timeout(multi, &curlWait);
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextIdleCheck - Clock::now());
        if (curlWait >= 0)
            wait = std::min(wait, std::chrono::milliseconds(curlWait));
        curl_multi_poll(multi, nullptr, 0, int(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)),
                        nullptr);
    }
}
