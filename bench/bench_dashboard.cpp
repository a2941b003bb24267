// SPDX-License-Identifier: MIT
// The dashboard given a long transfer list: how long the UI thread stalls while the reply is
// decoded and shown, how long from the list's arrival to the next frame, how smoothly it scrolls,
// and what it costs in memory, for 100 and for 100,000 transfers; then how often the signed-in
// client's threads wake while the dashboard is left alone. Prints figures; not a test.
//
// Each size runs in a child process of its own, so that one run's heap does not blur the other's
// memory figure, and the server runs in a process of its own again, so that its work and memory
// are not counted as the client's.
//
// Run: bench_dashboard                    (both sizes, then idle)
//      bench_dashboard N                  (the client, N transfers)
//      bench_dashboard idle               (the client left alone for 20 s)
//      bench_dashboard --serve N          (the server for N transfers; prints its port and reply size)
#include "bench/ProcessMemory.h"
#include "testsupport/DashboardFixture.h"
#include "testsupport/IsolatedSettings.h"
#include "ui/screens/DashboardModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMap>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <curl/curl.h>
#include <unicode/locid.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

#include <unistd.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

namespace {

size_t appendBody(char *data, size_t size, size_t count, void *body)
{
    static_cast<QByteArray *>(body)->append(data, qsizetype(size * count));
    return size * count;
}

// The yardstick for the download: libcurl alone fetching the same reply from the same server, on
// one kept-alive connection (as the client's), the first fetch unmeasured. The median in ms.
double curlFetchMs(const QUrl &url, const QByteArray &caPem, qsizetype expectedBytes)
{
    CURL *easy = curl_easy_init();
    const QByteArray address = url.toEncoded();
    curl_easy_setopt(easy, CURLOPT_URL, address.constData());
    curl_blob trust{const_cast<char *>(caPem.constData()), size_t(caPem.size()), CURL_BLOB_NOCOPY};
    curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &trust);
    curl_slist *headers = curl_slist_append(nullptr, "Authorization: Bearer tok-alice");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &appendBody);
    QList<double> times;
    for (int i = 0; i < 6; ++i) {
        QByteArray body;
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        QElapsedTimer clock;
        clock.start();
        const CURLcode result = curl_easy_perform(easy);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (result != CURLE_OK || body.size() != expectedBytes)
            return -1;
        if (i > 0)
            times.append(ms);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

// Runs the event loop, as the program does, until done() holds (checked every millisecond) or
// timeoutMs pass. QTest's waits sleep 10 ms between turns of the loop, and a reply or frame that
// came during such a sleep would be counted as the client's time.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void runFor(int ms)
{
    runUntil([] { return false; }, ms);
}

qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The longest gap between two turns of the UI thread's event loop, probed every millisecond.
class StallProbe
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 cpu = threadCpuNs();
            m_longest = std::max(m_longest, now - m_last);
            m_longestCpu = std::max(m_longestCpu, cpu - m_lastCpu);
            m_last = now;
            m_lastCpu = cpu;
        });
    }
    void start()
    {
        m_longest = 0;
        m_longestCpu = 0;
        m_clock.start();
        m_last = 0;
        m_lastCpu = threadCpuNs();
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return m_longest / 1e6;
    }
    // The most UI-thread CPU time spent between two probes: the stall without the time the thread
    // waited for a core (the machine may be busy with other work).
    [[nodiscard]] double longestCpu() const { return m_longestCpu / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_lastCpu = 0;
    qint64 m_longestCpu = 0;
};

// The client against the server process at `server`, which serves `count` transfers in
// `replyBytes` when told to.
int runClient(QProcess &serverProcess, const APIService::Options &server, int count, qsizetype replyBytes)
{
    DashboardFixture f(server);
    if (!f.signIn(QStringLiteral("alice"), 1234.5, {}))
        return 1;
    QQuickItem *view = f.openDashboard(QSize(900, 720));
    if (!view || !QTest::qWaitForWindowExposed(f.window.get()))
        return 1;
    runFor(500);
    auto *list = view->findChild<QQuickItem *>(QStringLiteral("transfers"));
    serverProcess.write("long list\n");
    if (!serverProcess.waitForReadyRead(10000) || !serverProcess.readLine().startsWith("serving"))
        return 1;

    // First, so that the server has sent this reply once before either fetch is timed.
    QUrl url = server.base;
    url.setPath(url.path() + QStringLiteral("/transactions"));
    const double curlMs = curlFetchMs(url, server.extraCaPem, replyBytes);
    malloc_trim(0);
    const double baseline = ProcessMemory::residentMiB();

    // Arrival: the session's list model is reset; then the next frame shows it.
    QElapsedTimer clock;
    qint64 arrived = -1;
    qint64 framed = -1;
    StallProbe probe;
    double fetchStall = 0;
    double fetchStallCpu = 0;
    // The probe is read and restarted when the list arrives: the stalls while the reply downloads
    // and is decoded (the service client's share) apart from those while it is shown (the screen's).
    QObject::connect(f.auth->transactionModel(), &QAbstractItemModel::modelAboutToBeReset, [&] {
        arrived = clock.nsecsElapsed();
        fetchStall = probe.stop();
        fetchStallCpu = probe.longestCpu();
        probe.start();
    });
    QObject::connect(f.window.get(), &QQuickWindow::frameSwapped, [&] {
        if (arrived >= 0 && framed < 0)
            framed = clock.nsecsElapsed();
    });

    probe.start();
    ProcessMemory::resetPeak();
    clock.start();
    view->findChild<DashboardModel *>()->refresh();
    if (!runUntil([&] { return framed >= 0; }, 60000))
        return 1;
    runFor(200);
    const double stall = probe.stop();
    const double shown = ProcessMemory::residentMiB();
    const double peak = ProcessMemory::peakMiB();
    malloc_trim(0); // hand freed decode buffers back: what stays is the list itself
    const double trimmed = ProcessMemory::residentMiB();

    // Scroll through the list a screen at a time, frame by frame, and time the frames.
    QList<qint64> frameTimes;
    qint64 lastFrame = -1;
    int frames = 0;
    QElapsedTimer frameClock;
    frameClock.start();
    auto connection = QObject::connect(f.window.get(), &QQuickWindow::frameSwapped, [&] {
        const qint64 now = frameClock.nsecsElapsed();
        if (lastFrame >= 0)
            frameTimes.append(now - lastFrame);
        lastFrame = now;
        ++frames;
    });
    const double step = std::max(1.0, list->property("contentHeight").toDouble() / 240);
    for (int i = 0; i < 120; ++i) {
        list->setProperty("contentY", list->property("contentY").toDouble() + step);
        const int before = frames;
        if (!runUntil([&] { return frames > before; }, 1000))
            return 1;
    }
    QObject::disconnect(connection);
    std::sort(frameTimes.begin(), frameTimes.end());
    const double medianFrame = frameTimes.at(frameTimes.size() / 2) / 1e6;
    const double p95Frame = frameTimes.at(frameTimes.size() * 95 / 100) / 1e6;
    const double longestFrame = frameTimes.last() / 1e6;
    int rows = 0; // delegates in existence: children of the list's content item
    for (QQuickItem *slot : list->property("contentItem").value<QQuickItem *>()->childItems())
        rows += slot->findChild<QQuickItem *>(QStringLiteral("transferRow")) ? 1 : 0;

    const double replyMiB = replyBytes / 1048576.0;
    // The targets are set for the long list; a short one costs mostly fixed amounts.
    const bool isLong = count >= 100000;
    std::printf(
        "%d transfers (reply %.1f MB)\n"
        "  reload to list arrival        %8.1f ms; libcurl alone, same reply and server %.1f ms: %.2fx%s\n"
        "  list arrival to next frame    %8.1f ms\n"
        "  longest UI-thread stall, download and decoding   %6.1f ms wall, %5.1f ms of UI-thread CPU\n"
        "  longest UI-thread stall, showing the list        %6.1f ms wall, %5.1f ms of UI-thread CPU\n"
        "  scrolling, 120 frames         median %.1f ms, p95 %.1f ms, longest %.1f ms\n"
        "  RSS before %.1f MiB, after %.1f MiB: growth %.1f MiB (%.0f B per transfer)\n"
        "  peak growth while it arrives and is shown %.1f MiB = %.2fx the reply%s\n"
        "  kept after malloc_trim %.1f MiB (%.0f B per transfer) = %.2fx the reply%s\n"
        "  row items in existence        %d\n",
        count, replyBytes / 1e6, arrived / 1e6, curlMs, arrived / 1e6 / curlMs,
        isLong ? " (target <= 1.5x)" : "", (framed - arrived) / 1e6, fetchStall, fetchStallCpu, stall,
        probe.longestCpu(), medianFrame, p95Frame, longestFrame, baseline, shown, shown - baseline,
        (shown - baseline) * 1048576.0 / count, peak - baseline, (peak - baseline) / replyMiB,
        isLong ? " (target <= 3x)" : "", trimmed - baseline, (trimmed - baseline) * 1048576.0 / count,
        (trimmed - baseline) / replyMiB, isLong ? " (target <= 2x)" : "", rows);
    std::fflush(stdout);
    return 0;
}

// Voluntary context switches so far of each of this process's threads, by thread id.
QMap<QString, std::pair<QString, qint64>> threadWakeUps()
{
    QMap<QString, std::pair<QString, qint64>> threads;
    for (const QString &id :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(id));
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(id));
        if (!comm.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                threads[id] = {QString::fromUtf8(comm.readAll().trimmed()),
                               line.split(':').last().trimmed().toLongLong()};
    }
    return threads;
}

// Signed in, on the dashboard, nothing to do: the wake-ups of each thread in 20 s.
int runIdle(const APIService::Options &server)
{
    DashboardFixture f(server);
    if (!f.signIn(QStringLiteral("alice"), 1234.5, {}))
        return 1;
    if (!f.openDashboard(QSize(900, 720)) || !QTest::qWaitForWindowExposed(f.window.get()))
        return 1;
    runFor(1000);
    const auto before = threadWakeUps();
    QEventLoop loop;
    QTimer::singleShot(20000, &loop, &QEventLoop::quit); // the UI thread's one wake-up of its own
    loop.exec();
    const auto after = threadWakeUps();
    qint64 total = 0;
    QStringList each;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const qint64 woke = it->second - before.value(it.key(), {it->first, it->second}).second;
        total += woke;
        each.append(QStringLiteral("%1 %2").arg(it->first).arg(woke));
    }
    std::printf("signed in on the dashboard, left alone for 20 s\n"
                "  voluntary context switches    %lld in all, less the timer that ends the wait: %lld "
                "(target 0)\n  by thread: %s\n",
                qlonglong(total), qlonglong(total - 1), qPrintable(each.join(QStringLiteral(", "))));
    std::fflush(stdout);
    return 0;
}

// The server: signs alice in and answers the transfer list with no transfers, and with `count`
// once a line arrives on its standard input (answered with a line when done).
int serve(int count)
{
    QList<DashboardFixture::Transfer> transfers;
    transfers.reserve(count);
    for (int i = 0; i < count; ++i)
        transfers.append({i % 2 ? "alice" : "bob", i % 2 ? "bob" : "alice", 1.0 + i,
                          i % 3 ? QString() : QStringLiteral("note %1").arg(i)});
    const QByteArray body = SessionFixtures::transfersJson(transfers);
    transfers = {};
    FakeService fake;
    fake.setFallback("POST", QStringLiteral("/api/login"),
                     FakeReply::json(200, SessionFixtures::authJson("tok-alice", "alice", true, 1234.5)));
    fake.setFallback("GET", QStringLiteral("/api/transactions"),
                     FakeReply::json(200, SessionFixtures::transfersJson({})));
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        input.setEnabled(false);
        fake.setFallback("GET", QStringLiteral("/api/transactions"), FakeReply::json(200, body));
        std::printf("serving %d\n", count);
        std::fflush(stdout);
    });
    std::printf("%d %lld\n", fake.options().base.port(), qlonglong(body.size()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

int runOne(const QString &what)
{
    const int count = what == u"idle" ? 0 : what.toInt();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--serve"), QString::number(count)});
    if (!server.waitForReadyRead(60000))
        return 1;
    const QList<QByteArray> fields = server.readLine().trimmed().split(' ');
    const qsizetype replyBytes = fields.value(1).toLongLong();
    const APIService::Options options = FakeService::optionsFor(quint16(fields.value(0).toUInt()));
    const int result = what == u"idle" ? runIdle(options) : runClient(server, options, count, replyBytes);
    server.kill();
    server.waitForFinished();
    return result;
}
} // namespace

int main(int argc, char *argv[])
{
    APIService::returnLargeBlocksWhenFreed(); // as the program does
    QTemporaryDir configHome;
    isolateUserStores(configHome.path());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 2 && qstrcmp(argv[1], "--serve") == 0) {
        QCoreApplication app(argc, argv);
        return serve(QString::fromLocal8Bit(argv[2]).toInt());
    }
    if (argc > 1) {
        QGuiApplication app(argc, argv);
        return runOne(QString::fromLocal8Bit(argv[1]));
    }
    int failures = 0;
    for (const char *count : {"100", "100000", "idle"}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QString::fromLocal8Bit(argv[0]), {QString::fromLatin1(count)});
        child.waitForFinished(-1);
        failures += child.exitCode() != 0;
    }
    return failures;
}
