// SPDX-License-Identifier: MIT
// The program's entry: one application, one window.
#include "service/APIService.h"
#include "session/AuthService.h"
#include "ui/QuorlBankApp.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <chrono>
#include <memory>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

namespace {

// A sign-in or sign-out just before quitting may still be on its way to the keyring: it gets a few
// seconds to arrive, so that a signed-out session is not restored at the next start.
void waitForTokenStore()
{
    using namespace std::chrono_literals;
    QEventLoop loop;
    QTimer::singleShot(5s, &loop, &QEventLoop::quit);
    // The task may outlive this function (when the time runs out): it holds nothing of its frame.
    const auto stored = std::make_shared<bool>(false);
    [](QPointer<QEventLoop> loop, std::shared_ptr<bool> stored) -> QCoro::Task<> {
        try {
            co_await AuthService::shared().tokenStored();
        } catch (...) {
        }
        *stored = true;
        if (loop)
            loop->quit();
    }(&loop, stored);
    if (!*stored)
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
