// SPDX-License-Identifier: MIT
#pragma once

#include "service/APIService.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <chrono>
#include <memory>

// A scriptable HTTPS server on 127.0.0.1 for tests, with the build's development certificate
// (so the client verifies it like any other server). It records every request and answers each
// from a per-route script.

// A server-side TLS configuration with the build's development certificate and key, as the local
// service has it. Ends the test program when the key cannot be read.
[[nodiscard]] QSslConfiguration devServerTls();

struct RecordedRequest
{
    QByteArray method;                    // "GET", "POST"
    QString path;                         // "/api/users/search"
    QByteArray query;                     // raw query string as sent, without '?': "q=ann"
    QMap<QByteArray, QByteArray> headers; // names lower-cased; a repeated header keeps its last value
    QByteArray body;

    [[nodiscard]] QJsonObject json() const; // body parsed as a JSON object ({} if it is not one)
    [[nodiscard]] QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
};

struct FakeReply
{
    enum class Kind { Http, Raw, Drop, Silence };
    Kind kind = Kind::Http;
    int status = 200;
    QByteArray body;                    // for Http; sent with Content-Type: application/json
    QByteArray raw;                     // for Raw: written as is, then the connection closes
    std::chrono::milliseconds delay{0}; // wait before answering

    static FakeReply json(int status, QByteArray body);
    static FakeReply rawBytes(QByteArray bytes);
    static FakeReply drop();    // closes the connection without a byte
    static FakeReply silence(); // reads the request and never answers
    FakeReply after(std::chrono::milliseconds d) const;
};

class FakeService : public QObject
{
    Q_OBJECT
public:
    explicit FakeService(QObject *parent = nullptr);
    ~FakeService() override;

    // Options for an APIService against this fake: https://127.0.0.1:<port>/api, the development CA,
    // the given pause.
    [[nodiscard]] APIService::Options
    options(std::chrono::milliseconds retryPause = std::chrono::milliseconds(50)) const;
    // The same for a fake listening on the port in another process.
    [[nodiscard]] static APIService::Options
    optionsFor(quint16 port, std::chrono::milliseconds retryPause = std::chrono::milliseconds(50));

    // Replies for "METHOD /api/path" are taken in order from its queue; once the queue is empty
    // the route's fallback answers (set with setFallback); without one, 404 {"error":"no script"}.
    void enqueue(const QByteArray &method, const QString &path, FakeReply reply);
    void setFallback(const QByteArray &method, const QString &path, FakeReply reply);
    void clear(); // forgets scripts and recorded requests

    [[nodiscard]] int connectionCount() const; // connections accepted so far (TLS or not)
    [[nodiscard]] int closedCount() const;     // of those, the ones that have ended (either side)
    // Replies whose delay has run out: written, dropped, or not sent because the client had gone.
    // A reply that stays silent never counts.
    [[nodiscard]] int answeredCount() const;
    // Waits until answeredCount() reaches count, then lets the event loop run for the grace, time
    // for the last reply to cross loopback and reach whoever asked. False after 5 s without it.
    // Tests that check that a late reply changes nothing wait with this rather than for a guess.
    [[nodiscard]] bool waitUntilAnswered(int count,
                                         std::chrono::milliseconds grace = std::chrono::milliseconds(100));
    [[nodiscard]] QList<RecordedRequest> requests() const;
    [[nodiscard]] QList<RecordedRequest> requests(const QString &path) const;

Q_SIGNALS:
    void requestReceived(const RecordedRequest &request);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
Q_DECLARE_METATYPE(FakeReply)
