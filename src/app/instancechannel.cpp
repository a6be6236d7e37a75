#include "instancechannel.h"

#include <QElapsedTimer>
#include <QTextCodec>

const QByteArray InstanceChannel::acknowledgement = QByteArrayLiteral("ok\n");

namespace {

const QByteArray headerWord = QByteArrayLiteral("orvel-handover ");

// Strict UTF-8: false for bytes that do not decode. A leading byte order mark
// is part of the argument, not a header to drop.
bool decodeUtf8(const QByteArray& bytes, QString* text)
{
    QTextCodec* codec = QTextCodec::codecForMib(106); // UTF-8
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull | QTextCodec::IgnoreHeader);
    *text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// A decimal number written as encode() writes it: digits only, no leading
// zero, at most 18 digits (so it fits a qint64).
bool readNumber(const QByteArray& word, qint64* value)
{
    if (word.isEmpty() || word.size() > 18 || (word.size() > 1 && word.at(0) == '0'))
        return false;
    qint64 number = 0;
    for (const char c : word) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *value = number;
    return true;
}

} // namespace

qint64 InstanceChannel::clockNow()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

QByteArray InstanceChannel::encode(const Message& message)
{
    QByteArray payload;
    for (const QString& argument : message.arguments)
        payload += argument.toUtf8() + '\0';
    if (payload.size() > maxPayloadLength || message.deadline < 0)
        return QByteArray();
    return headerWord + QByteArray::number(message.deadline) + ' ' + QByteArray::number(payload.size()) +
           '\n' + payload;
}

InstanceChannel::Result InstanceChannel::decode(const QByteArray& bytes, Message* message, int* length)
{
    if (!headerWord.startsWith(bytes.left(headerWord.size())))
        return Result::Invalid;
    const int lineEnd = bytes.indexOf('\n');
    if (lineEnd < 0)
        return bytes.size() > maxHeaderLength ? Result::Invalid : Result::Incomplete;
    if (lineEnd > maxHeaderLength || lineEnd < headerWord.size())
        return Result::Invalid;
    const QList<QByteArray> numbers = bytes.mid(headerWord.size(), lineEnd - headerWord.size()).split(' ');
    qint64 deadline = 0;
    qint64 payloadLength = 0;
    if (numbers.size() != 2 || !readNumber(numbers[0], &deadline) ||
        !readNumber(numbers[1], &payloadLength) || payloadLength > maxPayloadLength)
        return Result::Invalid;
    const int payloadStart = lineEnd + 1;
    if (bytes.size() - payloadStart < payloadLength)
        return Result::Incomplete;

    const QByteArray payload = bytes.mid(payloadStart, int(payloadLength));
    if (!payload.isEmpty() && !payload.endsWith('\0'))
        return Result::Invalid;
    QStringList arguments;
    int start = 0;
    while (start < payload.size()) {
        const int end = payload.indexOf('\0', start);
        QString argument;
        if (!decodeUtf8(payload.mid(start, end - start), &argument))
            return Result::Invalid;
        arguments << argument;
        start = end + 1;
    }
    message->arguments = arguments;
    message->deadline = deadline;
    *length = payloadStart + int(payloadLength);
    return Result::Complete;
}
