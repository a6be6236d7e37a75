#pragma once

#include <QtGlobal>

// Counts the Qt messages (debug, warnings and worse) issued while it lives,
// for checking that something stays silent. One at a time.
class MessageCounter
{
public:
    MessageCounter()
    {
        count = 0;
        previous = qInstallMessageHandler(&MessageCounter::handle);
    }
    ~MessageCounter() { qInstallMessageHandler(previous); }
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;
    int messages() const { return count; }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString&) { ++count; }
    inline static int count = 0;
    inline static QtMessageHandler previous = nullptr;
};
