#include "os/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <io.h>
#include <windows.h>

namespace Os {

qsizetype fileNameLength(const QString &name)
{
    return name.size();
}

NativePath nativePath(const QString &path)
{
    QString native = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    // Past MAX_PATH only the prefixed form reaches the file, whatever the system's long-path setting.
    if (native.size() >= MAX_PATH - 12 && !native.startsWith(QLatin1String("\\\\?\\"))) {
        if (native.startsWith(QLatin1String("\\\\")))
            native = QLatin1String("\\\\?\\UNC\\") + native.mid(2);
        else
            native.prepend(QLatin1String("\\\\?\\"));
    }
    return native.toStdWString();
}

int renameNoReplace(const QString &from, const QString &to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a taken name, in one step.
    if (MoveFileExW(nativePath(from).c_str(), nativePath(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return 0;
    switch (GetLastError()) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

namespace {

// CON, NUL, COM1, ... name a device in every folder, with any extension.
bool isDeviceName(const QString &path)
{
    if (path.startsWith(QLatin1String("\\\\.\\")) || path.startsWith(QLatin1String("//./")))
        return true;
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[0-9¹²³]|LPT[0-9¹²³]|CONIN\\$|CONOUT\\$)[ .]*(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(QFileInfo(path).fileName()).hasMatch();
}

FileKind kindOfHandle(HANDLE handle)
{
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
        return FileKind::Regular;
    case FILE_TYPE_PIPE:
        return FileKind::Pipe;
    case FILE_TYPE_CHAR: {
        DWORD mode = 0;
        return GetConsoleMode(handle, &mode) ? FileKind::Terminal : FileKind::CharacterDevice;
    }
    default:
        return FileKind::Other;
    }
}

} // namespace

FileKind kindOfPath(const QString &path)
{
    if (isDeviceName(path))
        return FileKind::CharacterDevice;
    const QFileInfo info(path);
    if (!info.exists())
        return FileKind::Missing;
    if (info.isDir())
        return FileKind::Folder;
    // Opened for no access at all: enough to ask what it is, and nothing is read.
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FileKind::Other;
    const FileKind kind = kindOfHandle(handle);
    CloseHandle(handle);
    return kind;
}

FileKind kindOfOpenFile(const QFile &file)
{
    return kindOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())));
}

qint64 readSome(QFile &file, char *data, qint64 size)
{
    // A console's Ctrl-Z line reads as nothing at all; a pipe whose writer went reads as an error.
    DWORD got = 0;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    if (!ReadFile(handle, data, DWORD(std::min<qint64>(size, 1 << 30)), &got, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return qint64(got);
}

namespace {

QString folderOf(const char *variable, QStandardPaths::StandardLocation otherwise)
{
    const QString set = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(set) ? QDir::cleanPath(set) : QStandardPaths::writableLocation(otherwise);
}

} // namespace

QString configFolder()
{
    return folderOf("XDG_CONFIG_HOME", QStandardPaths::GenericConfigLocation);
}

QString cacheFolder()
{
    return folderOf("XDG_CACHE_HOME", QStandardPaths::GenericCacheLocation);
}

} // namespace Os
