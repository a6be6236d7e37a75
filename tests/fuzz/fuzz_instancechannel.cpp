// Fuzzes the reader of the single-instance channel on arbitrary bytes, as
// a launch (or anything else that reaches the local socket) may send them.
//
// The first input byte picks the packet size (low 6 bits, 1 to 64 bytes);
// the rest is what arrives on the socket. Besides the sanitizers, the target
// checks that the reader's verdict does not depend on how the bytes were
// cut, that it never asks for more than a header and a bounded payload, and
// that a message it reads is exactly what a launch would have written for
// it: arguments of well-formed UTF-8 that encode back to the same bytes.
#include "instancechannel.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int packetSize = 1 + (data[0] & 0x3f);
    const QByteArray input(reinterpret_cast<const char*>(data + 1), int(size - 1));

    InstanceChannel::Message whole;
    int wholeLength = 0;
    const InstanceChannel::Result wholeResult = InstanceChannel::decode(input, &whole, &wholeLength);

    // As the listener reads: what has arrived so far, after every packet.
    QByteArray arrived;
    InstanceChannel::Result result = InstanceChannel::Result::Incomplete;
    InstanceChannel::Message message;
    int length = 0;
    for (int offset = 0; offset < input.size() && result == InstanceChannel::Result::Incomplete;
         offset += packetSize) {
        arrived += input.mid(offset, packetSize);
        result = InstanceChannel::decode(arrived, &message, &length);
        if (result == InstanceChannel::Result::Incomplete)
            check(arrived.size() <= InstanceChannel::maxHeaderLength + 1 + InstanceChannel::maxPayloadLength,
                  "the reader waits for a bounded message only");
    }
    if (!input.isEmpty())
        check(result == wholeResult, "the verdict does not depend on packet sizes");
    if (wholeResult != InstanceChannel::Result::Complete)
        return 0;

    check(length == wholeLength && message.arguments == whole.arguments && message.deadline == whole.deadline,
          "the message does not depend on packet sizes");
    check(InstanceChannel::encode(whole) == input.left(wholeLength), "a message read is one a launch writes");
    for (const QString& argument : whole.arguments) {
        check(!argument.contains(QChar(0)), "no argument holds a NUL");
        check(isUtf8(argument.toUtf8()), "every argument is well-formed text");
    }
    return 0;
}
