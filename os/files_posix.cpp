#include "os/files.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Os {

qsizetype fileNameLength(const QString &name)
{
    return QFile::encodeName(name).size();
}

int renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
#endif
    // File systems without that flag: a new link fails just as surely on a taken name.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // Nor links (some network and FAT file systems): only a look before the rename is left.
    struct stat st;
    if (::lstat(target.constData(), &st) == 0)
        return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

NativePath nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

namespace {

FileKind kindOfMode(mode_t mode, bool terminal)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Pipe;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    if (S_ISCHR(mode))
        return terminal ? FileKind::Terminal : FileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    return FileKind::Other;
}

} // namespace

FileKind kindOfPath(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileKind::Missing;
    return kindOfMode(st.st_mode, false);
}

FileKind kindOfOpenFile(const QFile &file)
{
    struct stat st;
    if (::fstat(file.handle(), &st) != 0)
        return FileKind::Other;
    return kindOfMode(st.st_mode, ::isatty(file.handle()) != 0);
}

qint64 readSome(QFile &file, char *data, qint64 size)
{
    // One read(2) at a time: a terminal tells the end of its input (Ctrl-D) by a single read of
    // nothing, which QFile takes for a pause inside a longer read and reads on.
    for (;;) {
        const ssize_t n = ::read(file.handle(), data, size_t(size));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

QString configFolder()
{
    // Qt follows the XDG variables here by itself.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
}

} // namespace Os
