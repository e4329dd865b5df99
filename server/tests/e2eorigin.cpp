#include "server/tests/e2eorigin.h"

#include "api/serverorigin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The product reads its origin from a constant, so the port is chosen while
// constants are initialised: the kernel names a free one, which is released
// again for the server process to take.
quint16 freeLoopbackPort()
{
    static const quint16 port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return quint16(0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        quint16 found = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            found = ntohs(address.sin_port);
        ::close(fd);
        return found;
    }();
    return port;
}

} // namespace

const QString DefaultServerOrigin = QStringLiteral("https://localhost:%1").arg(freeLoopbackPort());

const quint16 EndToEndPort = freeLoopbackPort();
