// SPDX-License-Identifier: MIT
// Memory of one long reply through the service client: the peak while a transfer list of 100,000
// records (about 12 MB) and one just under the reply limit arrive and are decoded, and what stays
// resident once the call has returned, with the records and without them. Prints figures; not a
// test. The server runs in a child process, so that only the client's memory is counted.
//
// Run: bench_replymemory            (both sizes)
//      bench_replymemory --serve N  (the server for a reply of N bytes at most; prints its port)
#include "bench/ProcessMemory.h"
#include "service/APIService.h"
#include "service/Transport.h"
#include "testsupport/Await.h"
#include "testsupport/FakeService.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

namespace {

QByteArray transfersUpTo(qint64 maxBytes, int maxCount, int *count)
{
    QByteArray body = R"({"transactions":[)";
    body.reserve(qsizetype(std::min<qint64>(maxBytes, 128 * 1024 * 1024)));
    int n = 0;
    for (; n < maxCount; ++n) {
        const QByteArray record =
            R"({"id":"t)" + QByteArray::number(n) +
            R"(","from_user":"alice","to_user":"bob","amount":12.5,"note":"rent share for )" +
            QByteArray::number(n % 12 + 1) + R"(","created_at":"2025-03-01T10:15:30.123Z"})";
        if (body.size() + record.size() + 3 > maxBytes)
            break;
        if (n > 0)
            body += ',';
        body += record;
    }
    body += "]}";
    *count = n;
    return body;
}

int serve(qint64 maxBytes, int maxCount)
{
    int count = 0;
    const QByteArray body = transfersUpTo(maxBytes, maxCount, &count);
    FakeService fake;
    fake.setFallback("GET", "/api/transactions", FakeReply::json(200, body));
    fake.setFallback("GET", "/api/me",
                     FakeReply::json(200, R"({"user":{"username":"ann","email":"ann@example.com",)"
                                          R"("account_number":"QB-1","balance":1,"is_verified":true}})"));
    std::printf("%d %d %lld\n", fake.options().base.port(), count, qlonglong(body.size()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

void measure(const char *label, qint64 maxBytes, int maxCount)
{
    QProcess server;
    server.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--serve"), QString::number(maxBytes), QString::number(maxCount)});
    if (!server.waitForReadyRead(60000)) {
        std::printf("%s: the server did not start\n", label);
        return;
    }
    const QList<QByteArray> fields = server.readLine().trimmed().split(' ');
    const APIService::Options options = FakeService::optionsFor(quint16(fields.value(0).toUInt()));
    APIService service(options);
    awaitTask(service.me(QStringLiteral("tok"))); // warms up the connection and the trust store

    const double before = ProcessMemory::residentMiB();
    ProcessMemory::resetPeak();
    QList<APITransaction> list = awaitTask(service.transactions(QStringLiteral("tok")));
    const double peak = ProcessMemory::peakMiB();
    const double withRecords = ProcessMemory::residentMiB();
    list = {};
    const double after = ProcessMemory::residentMiB();
    std::printf("%-28s %7d records %8.1f MiB body: peak +%6.1f MiB, resident after the call +%6.1f MiB "
                "(records held), +%5.1f MiB (records freed)\n",
                label, fields.value(1).toInt(), fields.value(2).toDouble() / (1024 * 1024), peak - before,
                withRecords - before, after - before);
    server.kill();
    server.waitForFinished();
}

} // namespace

int main(int argc, char **argv)
{
    APIService::returnLargeBlocksWhenFreed(); // as the program does
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == u"--serve")
        return serve(args.value(2).toLongLong(), args.value(3).toInt());
    measure("100,000 transfers", Transport::replyLimit, 100000);
    measure("just under the reply limit", Transport::replyLimit - 64 * 1024, 100000000);
    return 0;
}
