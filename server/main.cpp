// SPDX-License-Identifier: MIT
#include "server/Crypto.h"
#include "server/Service.h"
#include "server/ServiceOptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void forwardSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so that the database is closed and the lock released.
void quitOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quorl-service"_qs);
    QCoreApplication::setApplicationVersion(u"0.1"_qs);

    QString error;
    const auto options = ServiceOptions::parse(QCoreApplication::arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "quorl-service: %s (see --help)\n", qPrintable(error));
        return 2;
    }
    if (!Crypto::initialize()) {
        std::fprintf(stderr, "quorl-service: libsodium could not be initialised\n");
        return 1;
    }
    quitOnSignals();
    Service service;
    if (!service.start(*options, &error)) {
        std::fprintf(stderr, "quorl-service: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Quorl Bank local service\n"
                "  address:      https://localhost:%u/api (127.0.0.1 and ::1)\n"
                "  data:         %s\n"
                "  outbox:       %s\n"
                "  reset secret: %s\n"
                "Verification codes are printed below as they are mailed.\n",
                unsigned(service.port()), qPrintable(options->dataDir), qPrintable(service.outboxFolder()),
                qPrintable(service.resetSecret()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
