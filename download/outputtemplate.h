#pragma once

#include <QString>
#include <optional>

namespace Extract {
struct VideoInfo;
}

namespace Download {

// A file name from a template such as "{service}-{id} {title}.{ext}" with the fields
// {service} {id} {author} {date} {title} {ext}: {title} is the description cut to 60 characters,
// {date} the page's day when it reads as one. Each field loses what a name cannot hold
// (separators, control and bidirectional characters), an empty one is "NA"; the whole follows
// the rules of safeFileName (byte limit, never ".part"). The default name when nothing usable is
// left.
QString templateName(const QString &nameTemplate, const Extract::VideoInfo &info, const QString &id);

// Why `nameTemplate` cannot be used (an unknown or unclosed field), or nullopt.
std::optional<QString> templateError(const QString &nameTemplate);

} // namespace Download
