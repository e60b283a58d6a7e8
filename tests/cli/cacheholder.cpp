// Holds an SQLite file in a write transaction, as any other client of the lookup cache may:
//   cacheholder FILE delete|wal immediate|exclusive
// prints "held" once the lock is taken, commits when a line arrives on standard input, and
// prints "committed" (exit 0) or why not (exit 1).
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    QTextStream out(stdout);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(args.at(1));
    QSqlQuery q(db);
    const auto step = [&](const QString &statement) {
        if (q.exec(statement))
            return true;
        out << "failed: " << statement << ": " << q.lastError().text() << Qt::endl;
        return false;
    };
    if (!db.open() || !step(QStringLiteral("PRAGMA journal_mode=%1").arg(args.at(2)))
        || !step(QStringLiteral("CREATE TABLE IF NOT EXISTS mine (x TEXT)"))
        || !step(QStringLiteral("BEGIN %1").arg(args.at(3)))
        || !step(QStringLiteral("INSERT INTO mine VALUES ('kept')")))
        return 1;
    out << "held" << Qt::endl;
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 1;
    if (!step(QStringLiteral("COMMIT")))
        return 1;
    out << "committed" << Qt::endl;
    return 0;
}
