#include "tests/testorigin.h"

#include "api/serverorigin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The product takes its server origin from a constant, so the port has to be
// known while constants are initialised: bind it then and keep it listening.
struct ReservedPort {
    int descriptor = -1;
    quint16 port = 0;

    ReservedPort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return;
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof(address);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
            || ::listen(fd, 64) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            ::close(fd);
            return;
        }
        descriptor = fd;
        port = ntohs(address.sin_port);
    }
};

const ReservedPort &reservedPort()
{
    static const ReservedPort reserved;
    return reserved;
}

} // namespace

const QString DefaultServerOrigin = QStringLiteral("http://127.0.0.1:%1").arg(reservedPort().port);

const qintptr TestOriginSocket = reservedPort().descriptor;
