#pragma once

// The resident memory of a process, as the kernel reports it.

#include <QByteArray>
#include <QFile>
#include <QString>

// VmRSS of `process` ("self" or a process id) in KiB, -1 when it cannot be read.
inline long residentKb(const QString& process = QStringLiteral("self"))
{
    QFile file(QStringLiteral("/proc/%1/status").arg(process));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}
