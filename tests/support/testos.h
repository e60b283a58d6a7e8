#pragma once

// What the tests need of the system that each system does its own way: limits and stop requests
// for the programs they start, devices, loaded libraries, and knowing when they run under wine.
#include <QByteArray>
#include <QProcess>
#include <QString>

namespace TestSupport {

// What the child may allocate (heap and private mappings). false where the system cannot hold a
// child to it; the test then runs without the limit.
bool limitMemory(QProcess &p, qint64 bytes);

// Makes writing past `bytes` into any one file fail as a full disk does (EFBIG). false where the
// system has no such limit: a test that needs it is skipped.
bool limitFileSize(QProcess &p, qint64 bytes);

// Before start(): lets askToStop() reach the child later.
void prepareStopRequests(QProcess &p);
// Asks a running child to stop as SIGINT (2) or SIGTERM (15) asks on Linux: on Windows, Ctrl-Break
// to its own process group stands for both. false when it could not be delivered.
bool askToStop(QProcess &p, int signalNumber);

// A device that gives bytes for ever, and one that gives none; empty where there is none.
QString endlessDevice();
QString emptyDevice();

// A FIFO at `path`; false where the system has none such in its file system.
bool makeFifo(const QString &path);

// A pseudo-terminal the test drives from the far side: what the program sees as its terminal.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // false where the system has none to offer these tests (a test that needs one is skipped)
    bool open();
    // The terminal's file, to give the child as its standard input.
    QString childPath() const;
    // Before start(): the child's standard error is the terminal.
    void becomeStandardError(QProcess &p);
    // After start(): only the child holds the terminal's own side open.
    void closeChildSide();
    bool write(const QByteArray &bytes);
    // What the child wrote so far, without waiting.
    QByteArray readAvailable();

private:
    int m_master = -1;
    int m_slave = -1;
};

// Whether this process has loaded the library named `name` (as "Qt6Multimedia").
bool libraryLoaded(const QString &name);

// Whether a file or folder made read-only with QFile::setPermissions keeps this process from
// writing to it: not for the superuser, and not on Windows, where a folder's read-only mark is
// only advice to programs that show folders.
bool readOnlyHolds();

// Whether the test runs under wine rather than on Windows itself.
bool underWine();

} // namespace TestSupport
