#include "instancechannel.h"

#include <QTextCodec>
#include <cstring>

const QString InstanceChannel::separator = QStringLiteral("-_???_-");
const QString InstanceChannel::noArguments = QStringLiteral("noargs");

namespace {

constexpr int longRecordFlag = 0x80;
constexpr int maxShortLength = 127;
constexpr int maxLongLength = 0x7fff;

// Decodes strict UTF-8; false for bytes that are not (a damaged block). A
// leading byte order mark is part of the argument, not a header to drop.
bool decodeUtf8(const char* data, int length, QString* text)
{
    QTextCodec* codec = QTextCodec::codecForName("UTF-8");
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull | QTextCodec::IgnoreHeader);
    *text = codec->toUnicode(data, length, &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

} // namespace

QString InstanceChannel::payloadFor(const QStringList& arguments)
{
    const QString payload = arguments.mid(1).join(separator);
    return payload.isEmpty() ? noArguments : payload;
}

QStringList InstanceChannel::argumentsOf(const QString& payload)
{
    return payload.split(separator, Qt::SkipEmptyParts, Qt::CaseSensitive);
}

bool InstanceChannel::readHeader(const char* segment, int size, int pos, int* headerLength,
                                 int* payloadLength)
{
    if (pos < 0 || pos >= size)
        return false;
    const auto first = static_cast<unsigned char>(segment[pos]);
    if (first == 0)
        return false;
    if (!(first & longRecordFlag)) {
        *headerLength = 1;
        *payloadLength = first;
        return true;
    }
    if (pos + 1 >= size)
        return false;
    *headerLength = 2;
    *payloadLength = ((first & ~longRecordFlag) << 8) | static_cast<unsigned char>(segment[pos + 1]);
    return *payloadLength > 0;
}

int InstanceChannel::terminatorOffset(const char* segment, int size)
{
    int pos = 0;
    int header = 0;
    int length = 0;
    while (readHeader(segment, size, pos, &header, &length)) {
        if (length > size - pos - header)
            return -1;
        pos += header + length;
    }
    return pos < size && segment[pos] == 0 ? pos : -1;
}

bool InstanceChannel::append(char* segment, int size, const QByteArray& payload)
{
    const int length = payload.size();
    if (!segment || length <= 0 || length > maxLongLength)
        return false;
    const int header = length > maxShortLength ? 2 : 1;
    const int recordSize = header + length + 1; // with the new terminator
    if (recordSize > size)
        return false;
    int pos = terminatorOffset(segment, size);
    if (pos < 0 || pos + recordSize > size)
        pos = 0;
    char* out = segment + pos;
    if (header == 1) {
        out[0] = static_cast<char>(length);
    } else {
        out[0] = static_cast<char>(longRecordFlag | (length >> 8));
        out[1] = static_cast<char>(length & 0xff);
    }
    memcpy(out + header, payload.constData(), static_cast<size_t>(length));
    out[header + length] = 0;
    return true;
}

QString InstanceChannel::takeLast(char* segment, int size)
{
    if (!segment || size <= 0)
        return QString();
    QString last;
    int pos = 0;
    int header = 0;
    int length = 0;
    while (readHeader(segment, size, pos, &header, &length)) {
        if (length > size - pos - header)
            break;
        QString text;
        if (decodeUtf8(segment + pos + header, length, &text))
            last = text;
        pos += header + length;
    }
    clear(segment, size);
    return last;
}

void InstanceChannel::clear(char* segment, int size)
{
    if (segment && size > 0)
        segment[0] = 0;
}
