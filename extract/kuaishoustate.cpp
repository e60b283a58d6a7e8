#include "extract/jsonstate.h"
#include "extract/kuaishoulater.h"
#include "extract/markup.h"
#include "extract/pagedate.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

// Kuaishou's pages that keep their work in a script's state: the live site's Vue and Apollo
// states, the vision site's Apollo state, and the mobile pages' pageData and INIT_STATE. A state
// may hold other works (a gallery, recommendations): only the one the address names is the page's.
namespace Extract::Kuaishou {

namespace {

const QStringList workIds{QStringLiteral("id"), QStringLiteral("photoId")};

// A state the reader could not read: unreadable when it is there but no JSON, too large or too deep.
bool usable(Reading &r, const State &state)
{
    if (!state.ok())
        r.unreadable = r.unreadable || state.problem != StateProblem::Missing;
    return state.ok();
}

QString firstText(const QJsonValue &v, std::initializer_list<QStringView> paths)
{
    for (const QStringView path : paths) {
        if (QString text = textAt(v, path); !text.isEmpty())
            return text;
    }
    return QString();
}

// The work the address names in one of the Vue states: the gallery's current work, or the
// comment view's entry of its list.
QJsonValue vueWork(const QJsonValue &state, const QString &id)
{
    const QJsonValue current = valueAt(state, u"work.currentWork");
    if (current.isObject()) {
        const QString named = firstText(current, {u"id", u"photoId"});
        return named.isEmpty() || named == id ? current : QJsonValue(QJsonValue::Undefined);
    }
    return ownEntry(valueAt(state, u"work.list"), workIds, id);
}

// The text after "window.VUE_MODEL_INIT_STATE.profileGallery" or "…['profileGallery']", up to "=".
qsizetype vueStateStart(QStringView page, qsizetype marker)
{
    const qsizetype equals = page.indexOf(u'=', marker);
    if (equals < 0 || equals - marker > 80)
        return -1;
    qsizetype at = equals + 1;
    while (at < page.size() && page.at(at).isSpace())
        ++at;
    return at;
}

} // namespace

void readVueState(Reading &r)
{
    const QStringView page = r.s[0];
    const QString id = addressOf(r.address, r.cfg).id;
    const QString marker = QStringLiteral("VUE_MODEL_INIT_STATE");
    int states = 0;
    for (qsizetype at = page.indexOf(marker); at >= 0 && states < 16; at = page.indexOf(marker, at + 1), ++states) {
        const qsizetype start = vueStateStart(page, at + marker.size());
        const State state = start < 0 ? State{} : stateAt(page, start);
        if (!usable(r, state))
            continue;
        const QJsonValue work = vueWork(state.value, id);
        if (!work.isObject())
            continue;
        r.unreadable = false;
        putFound(r, {textAt(work, u"playUrl"), firstText(work, {u"poster", u"thumbnailUrl", u"coverUrl"}), QString(),
                     QString(), textAt(work, u"caption"), chinaTimeOfNumber(textAt(work, u"timestamp"))});
        return;
    }
}

void readApolloState(Reading &r)
{
    const State state = stateAfter(r.s[0], u"window.__APOLLO_STATE__");
    if (!usable(r, state))
        return;
    const QJsonObject all = state.value.toObject();
    const QJsonObject cache = all.value(u"defaultClient").isObject() ? all.value(u"defaultClient").toObject() : all;
    const QString id = addressOf(r.address, r.cfg).id;
    QJsonValue work;
    for (const QLatin1String kind : {QLatin1String("VisionVideoDetailPhoto:"), QLatin1String("VideoFeed:")}) {
        if (work = cache.value(kind + id); work.isObject())
            break;
    }
    if (id.isEmpty() || !work.isObject())
        return;
    Found f;
    f.video = firstText(work, {u"photoUrl", u"playUrl", u"manifestH265.json.adaptationSet[0].representation[0].backupUrl[0]",
                               u"manifest.json.adaptationSet[0].representation[0].backupUrl[0]"});
    f.cover = firstText(work, {u"coverUrl", u"thumbnailUrl"});
    f.description = textAt(work, u"caption");
    f.date = chinaTimeOfNumber(textAt(work, u"timestamp"));

    // The author the address names, or the only one the state holds.
    const QString authorId = QUrlQuery(QUrl(r.address, QUrl::TolerantMode)).queryItemValue(QStringLiteral("authorId"));
    const QString authorKind = QStringLiteral("VisionVideoDetailAuthor:");
    QJsonValue author = authorId.isEmpty() ? QJsonValue() : cache.value(authorKind + authorId);
    if (!author.isObject()) {
        int authors = 0;
        for (auto it = cache.constBegin(); it != cache.constEnd(); ++it) {
            if (it.key().startsWith(authorKind) && ++authors == 1)
                author = it.value();
        }
        if (authors != 1)
            author = QJsonValue();
    }
    f.author = textAt(author, u"name");
    f.avatar = textAt(author, u"headerUrl");
    putFound(r, f);
}

void readPageData(Reading &r)
{
    const QStringView page = r.s[0];
    const State state = stateAfter(page, u"window.pageData");
    const QJsonValue video = state.ok() ? valueAt(state.value, u"video") : QJsonValue();
    if (!state.ok() && state.problem != StateProblem::Missing)
        r.unreadable = true;
    Found f;
    // An image post (type "image") has pictures and no video.
    const QString type = textAt(video, u"type");
    if (type.isEmpty() || type == u"video") {
        f.video = textAt(video, u"srcNoMark");
        // The 2020 pages without the state: the key among the page's text, its quotes as &#34;.
        const qsizetype key = state.ok() ? -1 : page.indexOf(u"srcNoMark");
        if (f.video.isEmpty() && key >= 0) {
            const qsizetype end = page.indexOf(u'<', key);
            const qsizetype from = qMax(qsizetype(0), key - 8);
            const QString loose = decodeEntities(page.sliced(from, qMin(end < 0 ? page.size() : end, key + 4096) - from));
            f.video = jsonStringOf(loose, u"srcNoMark").value_or(QString());
        }
        if (f.video.isEmpty())
            f.video = attributeOf(videoTag(page), u"src").value_or(QString());
    }
    f.cover = firstText(video, {u"poster", u"coverUrl"});
    if (f.cover.isEmpty())
        f.cover = attributeOf(videoTag(page), u"poster").value_or(QString());
    f.author = elementText(page, tagWithClass(page, u"auth-name"));
    static const QRegularExpression background(QStringLiteral("background-image:\\s*url\\(['\"]?([^'\")]+)"));
    const QRegularExpressionMatch face =
        background.match(attributeOf(tagWithClass(page, u"auth-avatar"), u"style").value_or(QString()));
    f.avatar = face.hasMatch() ? face.captured(1) : QString();
    f.description = textAt(video, u"caption");
    if (f.description.isEmpty())
        f.description = jsonStringOf(page, u"title").value_or(QString());
    QString stamp = textAt(video, u"timestamp");
    if (stamp.isEmpty()) {
        static const QRegularExpression loose(QStringLiteral("\"timestamp\"\\s*:\\s*(\\d{10,13})\\b"));
        stamp = loose.match(page).captured(1);
    }
    f.date = chinaTimeOfNumber(stamp);
    putFound(r, f);
}

void readInitState(Reading &r)
{
    const State state = stateAfter(r.s[0], u"window.INIT_STATE");
    if (!usable(r, state))
        return;
    // A map of opaque keys: the answers that hold a work are the ones with both `result` and
    // `photo`, and only a successful one (result 1) counts.
    QJsonArray works;
    const QJsonObject all = state.value.toObject();
    for (auto it = all.constBegin(); it != all.constEnd(); ++it) {
        const QJsonValue photo = it.value().toObject().value(u"photo");
        if (photo.isObject() && textAt(it.value(), u"result") == u"1")
            works.append(photo);
    }
    const QJsonValue work = ownEntry(works, workIds, addressOf(r.address, r.cfg).id);
    if (!work.isObject())
        return;
    putFound(r, {textAt(work, u"mainMvUrls[0].url"), textAt(work, u"coverUrls[0].url"), textAt(work, u"headUrl"),
                 textAt(work, u"userName"), textAt(work, u"caption"), chinaTimeOfNumber(textAt(work, u"timestamp"))});
}

} // namespace Extract::Kuaishou
