// Bakes the window's own pictures for the build: each as the window reads it, or scaled as it
// shows it, in the form it draws from without decoding (App::bakedForm()). Reading and scaling
// are the window's own functions, so a baked copy is exactly what it would make at start-up.
// Usage: zavlen-bake-pictures SOURCE_DIR OUT_DIR NAME[.WIDTHxHEIGHT]...

#include "app/startup/pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

namespace {

bool bake(const QString &sourceDir, const QString &outDir, const QString &spec)
{
    QTextStream err(stderr);
    static const QRegularExpression sized(QStringLiteral("^(.+)\\.(\\d+)x(\\d+)$"));
    const QRegularExpressionMatch m = sized.match(spec);
    const QString name = m.hasMatch() ? m.captured(1) : spec;
    const QSize size = m.hasMatch() ? QSize(m.captured(2).toInt(), m.captured(3).toInt()) : QSize();

    QImage picture = App::readPicture(QDir(sourceDir).filePath(name));
    if (picture.isNull()) {
        err << "zavlen-bake-pictures: cannot read " << QDir(sourceDir).filePath(name) << Qt::endl;
        return false;
    }
    if (size.isValid())
        picture = App::shownPicture(std::move(picture), size);
    const QByteArray form = App::bakedForm(picture);
    QSaveFile out(QDir(outDir).filePath(spec));
    if (form.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(form) != form.size() || !out.commit()) {
        err << "zavlen-bake-pictures: cannot write " << out.fileName() << Qt::endl;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        QTextStream(stderr) << "usage: zavlen-bake-pictures SOURCE_DIR OUT_DIR NAME[.WIDTHxHEIGHT]..." << Qt::endl;
        return 2;
    }
    if (!QDir().mkpath(args[2]))
        return 1;
    for (qsizetype i = 3; i < args.size(); ++i) {
        if (!bake(args[1], args[2], args[i]))
            return 1;
    }
    return 0;
}
