#pragma once

#include <QString>
#include <QStringView>
#include <string>

class QFile;

// Files as each system names, renames and tells them apart.
namespace Os {

// What one file name may hold, in the units the system's file systems count: bytes of the
// name's encoding on Linux (NAME_MAX), UTF-16 code units on Windows (NTFS).
constexpr qsizetype maxFileNameLength = 255;
qsizetype fileNameLength(const QString &name);

// Renames `from` to `to` only when `to` does not exist, in one step, so that a file appearing at
// the last moment is not replaced either. 0 when renamed, EEXIST when `to` is taken, another
// errno value otherwise.
int renameNoReplace(const QString &from, const QString &to);

// A path in the form the system's own file calls take (UTF-16 on Windows, with the long-path
// prefix where a path needs it), for libraries that open files themselves.
#ifdef Q_OS_WIN
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif
NativePath nativePath(const QString &path);

// The per-user folders for settings and for caches: XDG_CONFIG_HOME and XDG_CACHE_HOME where they
// are set (on Windows too: a command line that sets them means it), otherwise the system's own
// (Qt's GenericConfigLocation and GenericCacheLocation).
QString configFolder();
QString cacheFolder();

enum class FileKind { Missing, Regular, Folder, Pipe, Socket, Terminal, CharacterDevice, BlockDevice, Other };
// What a path names, judged without opening it where opening could have effects of its own (a
// device): Windows' reserved device names count as devices whatever folder they are in.
FileKind kindOfPath(const QString &path);
// What an open file is.
FileKind kindOfOpenFile(const QFile &file);

// Reads what is there now, at most `size` bytes: 0 only at the end of the input (a terminal's
// Ctrl-D or Ctrl-Z), -1 on an error.
qint64 readSome(QFile &file, char *data, qint64 size);

} // namespace Os
