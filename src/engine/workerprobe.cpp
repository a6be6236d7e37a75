#include "workerprobe.h"

WorkerProbe::WorkerProbe(std::atomic<int>* fence, QObject* parent) : QObject(parent), fence(fence) {}

void WorkerProbe::request()
{
    QMetaObject::invokeMethod(this, "confirm", Qt::QueuedConnection);
}

void WorkerProbe::confirm()
{
    fence->fetch_add(1, std::memory_order_release);
    emit confirmed();
}

void WorkerProbe::handOver()
{
    fence->fetch_add(1, std::memory_order_release);
    QMetaObject::invokeMethod(this, "takeOver", Qt::QueuedConnection);
}

void WorkerProbe::takeOver()
{
    fence->load(std::memory_order_acquire);
}
