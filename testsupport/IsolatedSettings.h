// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// main() for a QtTest class whose code may touch QSettings: XDG_CONFIG_HOME points into a fresh
// temporary folder before the application object exists, so that neither QSettings nor
// QStandardPaths has seen the user's own folder. The folder goes away when the test ends.
#define QUORL_TEST_MAIN_ISOLATED(AppClass, TestClass)                                                        \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        QTemporaryDir configHome;                                                                            \
        if (!configHome.isValid())                                                                           \
            return 1;                                                                                        \
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));                                    \
        AppClass app(argc, argv);                                                                            \
        TestClass test;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
