#include "download/outputtemplate.h"

#include "download/filename.h"
#include "download/namerules.h"
#include "download/provenance.h"
#include "download/targetname.h"
#include "extract/extraction.h"
#include "extract/videoinfo.h"
#include "os/files.h"

#include <QRegularExpression>
#include <QStringList>

namespace Download {

namespace {

constexpr qsizetype titleLength = 60;
// Room left for " (999)" as with every other download name.
constexpr qsizetype numberRoom = 6;

const QStringList fieldNames = {QStringLiteral("service"), QStringLiteral("id"),    QStringLiteral("author"),
                                QStringLiteral("date"),    QStringLiteral("title"), QStringLiteral("ext")};

const QRegularExpression &fieldPattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\{([^{}]*)\\}"));
    return pattern;
}

// A piece of a name: no character that separates paths, is reserved elsewhere, or is invisible
// and could change how the rest of the name reads.
QString nameSafe(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const auto category = c.category();
        const bool invisible = category == QChar::Other_Control || category == QChar::Other_Format
                               || category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
        out += invisible || QStringLiteral("/\\<>:\"|?*").contains(c) ? u'_' : c;
    }
    return out;
}

QString leftChars(const QString &text, qsizetype count)
{
    qsizetype n = std::min(text.size(), count);
    if (n < text.size() && n > 0 && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

QString leftBytes(const QString &text, qsizetype bytes)
{
    QString out = text;
    while (!out.isEmpty() && Os::fileNameLength(out) > bytes)
        out = leftChars(out, out.size() - 1);
    return out;
}

void trimEnds(QString &name)
{
    while (!name.isEmpty() && (name.front() == u'.' || name.front().isSpace()))
        name.remove(0, 1);
    while (!name.isEmpty() && (name.back() == u'.' || name.back().isSpace()))
        name.chop(1);
}

QString fieldValue(const QString &field, const Extract::VideoInfo &info, const QString &id, const QString &ext)
{
    QString value;
    if (field == u"service")
        value = Extract::serviceKey(info.service);
    else if (field == u"id")
        value = id;
    else if (field == u"author")
        value = info.author;
    else if (field == u"date") {
        const std::optional<QDateTime> when = pageDate(info.date);
        value = when ? when->toString(QStringLiteral("yyyy-MM-dd")) : info.date;
    } else if (field == u"title")
        value = leftChars(info.description.simplified(), titleLength);
    else if (field == u"ext")
        value = ext;
    value = nameSafe(value).trimmed();
    return value.isEmpty() ? QStringLiteral("NA") : value;
}

} // namespace

std::optional<QString> templateError(const QString &nameTemplate)
{
    if (nameTemplate.trimmed().isEmpty())
        return QStringLiteral("the name template is empty");
    QString rest = nameTemplate;
    QRegularExpressionMatchIterator it = fieldPattern().globalMatch(nameTemplate);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (!fieldNames.contains(m.captured(1)))
            return QStringLiteral("unknown field {%1} in the name template; the fields are {%2}")
                .arg(m.captured(1), fieldNames.join(QStringLiteral("} {")));
    }
    rest.remove(fieldPattern());
    if (rest.contains(u'{') || rest.contains(u'}'))
        return QStringLiteral("a brace without its pair in the name template");
    return std::nullopt;
}

QString templateName(const QString &nameTemplate, const Extract::VideoInfo &info, const QString &id)
{
    const QString fallback = downloadName(info);
    if (templateError(nameTemplate))
        return fallback;
    const qsizetype dot = fallback.lastIndexOf(u'.');
    const QString ext = dot > 0 ? fallback.mid(dot + 1) : QStringLiteral("mp4");

    QString name;
    qsizetype from = 0;
    QRegularExpressionMatchIterator it = fieldPattern().globalMatch(nameTemplate);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        name += nameSafe(QStringView(nameTemplate).mid(from, m.capturedStart() - from));
        name += fieldValue(m.captured(1), info, id, ext);
        from = m.capturedEnd();
    }
    name += nameSafe(QStringView(nameTemplate).mid(from));
    static const QRegularExpression dots(QStringLiteral("\\.{2,}"));
    name.replace(dots, QStringLiteral("."));
    name = finalFileName(name);
    trimEnds(name);
    // Whatever a page's fields spell, the name is no program and no device, nor an option to a shell.
    name = guardedName(withoutProgramExtension(name));

    // The byte limit is met by shortening the stem; the extension the template gave stays.
    QString suffix = u'.' + ext;
    if (!name.endsWith(suffix) && name.endsWith(u'.' + unknownExtension))
        suffix = u'.' + unknownExtension;
    const bool keepsExt = name.endsWith(suffix) && name.size() > suffix.size();
    QString stem = keepsExt ? name.chopped(suffix.size()) : name;
    const QString end = keepsExt ? suffix : QString();
    stem = leftBytes(stem, maxFileNameBytes - Os::fileNameLength(partSuffix + end) - numberRoom);
    trimEnds(stem);
    const bool meaningful = std::any_of(stem.cbegin(), stem.cend(), [](QChar c) { return c.isLetterOrNumber(); });
    if (!meaningful)
        return fallback;
    return finalFileName(stem + end);
}

} // namespace Download
