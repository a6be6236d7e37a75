#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <functional>
#include <memory>

class XServer;

// Every title a window takes from the moment the watch starts, in order, as
// the X server reports its changes (xprop -spy): a record of the frames a
// window named that no polling can miss, however busy the machine.
class TitleWatch
{
public:
    TitleWatch(const XServer& x, const QString& window);
    ~TitleWatch();
    bool isRunning() const;

    // The frames the titles named so far (-1 for a title without a frame),
    // the title at the start first.
    const QList<int>& frames();
    int last() { return frames().isEmpty() ? -1 : frames().last(); }
    // Waits until `condition` holds for the frames named so far.
    bool waitFor(const std::function<bool(const QList<int>&)>& condition, int timeoutMs);
    QString describe();

private:
    std::unique_ptr<QProcess> xprop;
    QByteArray pending;
    QList<int> named;
};
