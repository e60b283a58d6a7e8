#pragma once

#include <QByteArrayView>

namespace Extract {

// Whether `bytes` is UTF-8 that QString::fromUtf8 decodes without a replacement character: what
// QByteArrayView::isValidUtf8 answers, 32 bytes at a time where the processor can. Qt's own check
// walks CJK text a character at a time and costs nearly as much as decoding it.
bool isValidUtf8(QByteArrayView bytes);

} // namespace Extract
