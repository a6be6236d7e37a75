// Fuzzes the single-instance channel on arbitrary segment content.
//
// The input is the content of the shared segment (at most its real size,
// in a buffer of exactly that many bytes, so that AddressSanitizer sees any
// read or write past its end). The payload the reader delivers must be
// exactly the bytes of the last record a reference walk of the layout finds
// well-formed and valid UTF-8, or nothing when there is none; reading empties
// the channel. A record appended to the same damaged content must be the one
// delivered next.
#include "instancechannel.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "instance channel invariant broken: %s\n", what);
        std::abort();
    }
}

// Well-formed UTF-8, checked here without Qt: no stray or missing
// continuation bytes, no overlong forms, no surrogates, nothing above
// U+10FFFF. A byte order mark is a character like any other.
bool isUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* const end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p++;
        int more = 0;
        uint32_t code = 0;
        uint32_t minimum = 0;
        if (lead < 0x80)
            continue;
        if ((lead & 0xe0) == 0xc0) {
            more = 1;
            code = lead & 0x1f;
            minimum = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            more = 2;
            code = lead & 0x0f;
            minimum = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            more = 3;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        for (int i = 0; i < more; ++i) {
            if (p == end || (*p & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (*p++ & 0x3f);
        }
        if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
    }
    return true;
}

// The payloads of the records from the start of the segment, as the layout
// defines them: a length byte of 1 to 127, or a two-byte length whose first
// byte has its top bit set, then that many bytes; a 0 byte or a record that
// would run past the end stops the walk.
QVector<QByteArray> walkRecords(const std::vector<char>& segment)
{
    QVector<QByteArray> records;
    const size_t size = segment.size();
    size_t pos = 0;
    while (pos < size) {
        const auto first = static_cast<unsigned char>(segment[pos]);
        if (first == 0)
            break;
        size_t header = 1;
        size_t length = first;
        if (first & 0x80) {
            if (pos + 1 >= size)
                break;
            header = 2;
            length = (size_t(first & 0x7f) << 8) | static_cast<unsigned char>(segment[pos + 1]);
            if (length == 0)
                break;
        }
        if (length > size - pos - header)
            break;
        records << QByteArray(segment.data() + pos + header, int(length));
        pos += header + length;
    }
    return records;
}

QByteArray lastValid(const QVector<QByteArray>& records)
{
    for (int i = records.size() - 1; i >= 0; --i) {
        if (isUtf8(records[i]))
            return records[i];
    }
    return QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t segmentSize = std::min(size, size_t(InstanceChannel::segmentSize));
    const std::vector<char> content(reinterpret_cast<const char*>(data),
                                    reinterpret_cast<const char*>(data) + segmentSize);
    const int length = int(segmentSize);

    std::vector<char> segment(content);
    const QByteArray expected = lastValid(walkRecords(content));
    const QString delivered = InstanceChannel::takeLast(segment.data(), length);
    if (delivered.toUtf8() != expected) {
        std::fprintf(stderr, "delivered '%s' (%d bytes), expected %d bytes\n", qPrintable(delivered),
                     delivered.toUtf8().size(), expected.size());
    }
    check(delivered.toUtf8() == expected, "the last valid record is delivered, byte for byte");
    check(segment[0] == 0, "reading empties the channel");
    check(InstanceChannel::takeLast(segment.data(), length).isEmpty(), "an emptied channel delivers nothing");

    // A launch appends its arguments to the damaged content. The bytes beyond
    // the segment's own size, when there are any, are its payload.
    QByteArray payload =
        QString::fromUtf8(reinterpret_cast<const char*>(data) + segmentSize, int(size - segmentSize))
            .toUtf8();
    if (payload.isEmpty())
        payload = QByteArrayLiteral("noargs");
    segment = content;
    const int header = payload.size() > 127 ? 2 : 1;
    const bool fits = header + payload.size() + 1 <= length && payload.size() <= 0x7fff;
    const bool appended = InstanceChannel::append(segment.data(), length, payload);
    check(appended == fits, "a record is appended exactly when it fits in the segment");
    if (appended) {
        const QVector<QByteArray> records = walkRecords(segment);
        check(!records.isEmpty() && records.last() == payload, "the appended record is the last one");
        check(InstanceChannel::takeLast(segment.data(), length).toUtf8() == payload,
              "the appended record is delivered next");
    } else {
        check(segment == content, "a record that does not fit changes nothing");
    }
    return 0;
}
