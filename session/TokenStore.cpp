// SPDX-License-Identifier: MIT
#include "session/TokenStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString tokenKey = QStringLiteral("qlx_token");

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorl"),
                     QStringLiteral("Quorl Bank"));
}

// QSettings creates a missing file with the umask's mode (0644) and keeps the mode of an existing
// one on rewrite. So the file is made here first, empty and owner-only, before anything is written.
void prepareOwnerOnlyFile(const QString &fileName)
{
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!QDir(folder).exists()) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0)
        ::close(fd);
    else if (errno == EEXIST)
        ::chmod(path.constData(), S_IRUSR | S_IWUSR);
}

void restrictMode(const QString &fileName)
{
    ::chmod(QFile::encodeName(fileName).constData(), S_IRUSR | S_IWUSR);
}

} // namespace

namespace TokenStore {

std::optional<QString> read()
{
    const QSettings store = settings();
    const QVariant value = store.value(tokenKey);
    if (!value.isValid())
        return std::nullopt;
    // The ini reader turns an unquoted value with commas into a list; it was one string.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

void write(const std::optional<QString> &token)
{
    QSettings store = settings();
    const QString fileName = store.fileName();
    if (!token) {
        if (!QFileInfo::exists(fileName))
            return; // nothing stored, and removing must not create the file
        prepareOwnerOnlyFile(fileName);
        store.remove(tokenKey);
    } else {
        prepareOwnerOnlyFile(fileName);
        store.setValue(tokenKey, *token);
    }
    store.sync();
    restrictMode(fileName);
}

} // namespace TokenStore
