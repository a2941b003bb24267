// SPDX-License-Identifier: MIT
// The program's entry: one application, one window.
#include "service/APIService.h"
#include "session/AuthService.h"
#include "ui/QuorlBankApp.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <chrono>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

namespace {

// A sign-in or sign-out just before quitting may still be on its way to the keyring: it gets a few
// seconds to arrive, so that a signed-out session is not restored at the next start.
void waitForTokenStore()
{
    using namespace std::chrono_literals;
    QEventLoop loop;
    bool stored = false;
    QTimer::singleShot(5s, &loop, &QEventLoop::quit);
    [](QEventLoop *loop, bool *stored) -> QCoro::Task<> {
        co_await AuthService::shared().tokenStored();
        *stored = true;
        loop->quit();
    }(&loop, &stored);
    if (!stored)
        loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(argc);
    APIService::returnLargeBlocksWhenFreed();
    // The program takes no command-line options: Qt sees the program name only.
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QuorlBankApp bank;
    if (!bank.load())
        return 1;
    const int status = app.exec();
    waitForTokenStore();
    return status;
}
