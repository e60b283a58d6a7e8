#include "fuzzcommon.h"
#include "web/decode.h"

// Input: the Content-Type header, the separator, then the body.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> in = Fuzz::parts(data, size, 2);
    const QByteArray contentType = in.size() > 1 ? in.value(0) : QByteArray();
    const QByteArray body = in.size() > 1 ? in.value(1) : in.value(0);

    const QString text = Web::decodeBody(body, contentType);
    // No known decoder makes more than one UTF-16 unit of a byte.
    Fuzz::require(text.size() <= body.size(), "decoded text no longer than the bytes");
    if (body.isEmpty())
        Fuzz::require(text.isEmpty(), "nothing from nothing");

    const QByteArray charset = Web::charsetOf(body, contentType);
    Fuzz::require(charset.size() <= body.size() + contentType.size(), "charset cut from the input");
    Fuzz::require(Web::decodeBody(body, contentType) == text, "decoding is deterministic");
    return 0;
}
