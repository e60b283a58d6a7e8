#pragma once

#include "web/getbody.h"

#include <QObject>
#include <memory>

namespace Web {

// One GET through the calling thread's network access point, under its size cap and its time
// limit on the whole request, ending in a FetchResult. It never waits: finished() comes from the
// thread's event loop, also for an address that is refused at once.
class Transfer : public QObject
{
    Q_OBJECT
public:
    Transfer(const QString &url, const FetchOptions &options, QObject *parent = nullptr);
    // A transfer under way ends with it. From a slot of finished(), delete it later: its reply
    // may be the one emitting.
    ~Transfer() override;

    bool isFinished() const;
    const FetchResult &result() const;

Q_SIGNALS:
    void finished();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Web
