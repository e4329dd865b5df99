#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

// The input side of a GuardedSocket: what its readers may see.
class GuardedInput {
public:
    // One whole request, checked, that readers have not taken yet.
    QByteArray released;
    // While set, reads reach the network bytes; only the guard sets it.
    bool bypass = false;

protected:
    qint64 takeReleased(char *data, qint64 maxSize)
    {
        const qint64 size = qMin(maxSize, qint64(released.size()));
        std::memcpy(data, released.constData(), size_t(size));
        released.remove(0, size);
        return size;
    }
};

// A socket whose readers see only what its ConnectionGuard has released,
// never the bytes that arrived from the network.
template<class Socket> class GuardedSocket : public Socket, public GuardedInput {
public:
    using Socket::Socket;

    qint64 bytesAvailable() const override
    {
        return Socket::bytesAvailable() + (bypass ? 0 : released.size());
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        return bypass ? Socket::readData(data, maxSize) : takeReleased(data, maxSize);
    }
};
