#pragma once

// The share of the machine's time that the host of a virtual machine gave to
// others while a benchmark ran ("steal" in /proc/stat). On a shared host it
// comes in bursts of seconds that slow every thread alike, the program's and
// the reference's, and a seek of a few milliseconds by a third: a run whose
// figures stray is known by it.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <cstdio>

class StealReport
{
public:
    StealReport() : start(read()) {}
    // Prints "machine_steal_percent", of all the cores' time since construction.
    ~StealReport()
    {
        const Times end = read();
        if (start.steal < 0 || end.steal < 0 || end.total <= start.total)
            return;
        std::printf("machine_steal_percent: %.2f\n",
                    100.0 * double(end.steal - start.steal) / double(end.total - start.total));
    }
    StealReport(const StealReport&) = delete;
    StealReport& operator=(const StealReport&) = delete;

private:
    struct Times
    {
        long long steal = -1;
        long long total = 0;
    };

    // The first line of /proc/stat: "cpu user nice system idle iowait irq
    // softirq steal guest guest_nice" (guest time is counted in user time).
    static Times read()
    {
        QFile file(QStringLiteral("/proc/stat"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() < 9 || fields[0] != "cpu")
            return {};
        Times times;
        for (int i = 1; i <= 8; ++i)
            times.total += fields[i].toLongLong();
        times.steal = fields[8].toLongLong();
        return times;
    }

    Times start;
};
