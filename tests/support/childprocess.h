#pragma once

// What the tests do to the programs they start that each system does its own way: limits, stop
// requests, devices, and knowing when a test runs under wine.
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

// Whether the superuser runs the tests: permissions do not hold it back.
bool isSuperuser();

// Whether the test runs under wine rather than on Windows itself.
bool underWine();

} // namespace TestSupport
