#pragma once

#include <QJsonValue>
#include <QStringList>
#include <QString>
#include <QStringView>
#include <optional>

namespace Extract {

// The data later pages carry as JSON inside a script (a page's state, an answer wrapped in a
// callback) are read as JSON, never cut as text: "\u002F", "\/" and the like are JSON's own
// escapes, and a state written into HTML as "&#34;…" or "&quot;…" is unescaped first. A state that
// is not JSON, too large or too deep is refused before anything big is made of it.
enum class StateProblem { None, Missing, Invalid, TooLarge, TooDeep };

// Far more than any page of these services held, far less than the page cap.
inline constexpr qsizetype largestState = 4 * 1024 * 1024;
inline constexpr int deepestState = 64;

struct State
{
    QJsonValue value;
    StateProblem problem = StateProblem::Missing;

    bool ok() const { return problem == StateProblem::None; }
};

// The object or array that starts at `at` in `text` (at a "{" or "[", or at "&#34;"-escaped
// text whose first character is one): its end is found by its brackets outside strings.
State stateAt(QStringView text, qsizetype at);

// The state after the first `marker` ("window.PHPDATA"), past spaces, "=" or "(".
State stateAfter(QStringView text, QStringView marker);

// The JSON string literal whose opening quote is at `at`, unescaped; nullopt when it is none.
std::optional<QString> jsonStringAt(QStringView text, qsizetype at);

// The string of the first `"key": "…"` in `text`, for pages that write one key a line.
std::optional<QString> jsonStringOf(QStringView text, QStringView key);

// The value at `path` ("mediaInfo.user.avatar", "meta_data[0].pics.l"); undefined when absent.
QJsonValue valueAt(const QJsonValue &root, QStringView path);

// The entry of the list `list` that is the page's own: the one whose first present key of
// `idKeys` is `id`; when none is and the first entry names no id, the first, where pages put
// their own. Undefined otherwise: another entry is never the page's.
QJsonValue ownEntry(const QJsonValue &list, const QStringList &idKeys, const QString &id);

// The value at `path` as text: a string as it is, a whole number in decimal; empty otherwise.
QString textAt(const QJsonValue &root, QStringView path);

} // namespace Extract
