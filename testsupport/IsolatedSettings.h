// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Keeps a test away from the user's own token stores: settings in a fresh folder, and no session
// bus, so that the token store uses that folder's file alone and never the user's keyring. Called
// before the application object exists, so that neither QSettings nor QStandardPaths has seen the
// user's folders.
inline void isolateUserStores(const QString &folder)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

// main() for a QtTest class whose code may touch the token store, isolated as above in a temporary
// folder that goes away when the test ends.
#define QUORL_TEST_MAIN_ISOLATED(AppClass, TestClass)                                                        \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        QTemporaryDir configHome;                                                                            \
        if (!configHome.isValid())                                                                           \
            return 1;                                                                                        \
        isolateUserStores(configHome.path());                                                                \
        AppClass app(argc, argv);                                                                            \
        TestClass test;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
