// The box behind QEMU's emulated FTDI chip: the simulator's byte model answering on the
// host end of the chip's serial line (a Unix socket chardev), in real time.
//
//   usb_box_host SOCKET   listens on SOCKET, serves one connection, ends when it closes.

#include "link/Proxy.h"
#include "link/SimulatedBox.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

struct Fd
{
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool WriteAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size)
    {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s SOCKET\n", argv[0]);
        return 2;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", argv[1]);
    ::unlink(argv[1]);
    Fd server(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (server.fd < 0 || ::bind(server.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        ::listen(server.fd, 1))
    {
        std::perror("usb_box_host: listen");
        return 1;
    }
    Fd link(::accept(server.fd, nullptr, nullptr));
    if (link.fd < 0)
    {
        std::perror("usb_box_host: accept");
        return 1;
    }

    auto box = std::make_shared<FTD2xx::SimulatedBox>(
        "QEMU", FTD2xx::EncoderModel{}, FTD2xx::SimulatorFaults{}, FTD2xx::Clock::System());
    std::unique_ptr<FTD2xx::DeviceBackend> device;
    if (box->Open(device) != FTD2xx::STATUS_OK || device->SetLatencyTimer(4) != FTD2xx::STATUS_OK)
        return 1;

    std::vector<unsigned char> in(4096), out;
    for (;;)
    {
        pollfd p{link.fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 1);
        if (ready < 0 && errno != EINTR)
            return 1;
        if (ready > 0)
        {
            const ssize_t n = ::read(link.fd, in.data(), in.size());
            if (n == 0 || (n < 0 && errno != EINTR))
                return 0; // QEMU has gone
            unsigned long written = 0;
            if (n > 0 && device->Write({in.begin(), in.begin() + n}, written) != FTD2xx::STATUS_OK)
                return 1;
        }
        unsigned long rx = 0, tx = 0, events = 0;
        if (device->GetStatus(rx, tx, events) != FTD2xx::STATUS_OK)
            return 1;
        if (rx && (device->Read(out, rx) != FTD2xx::STATUS_OK ||
                   !WriteAll(link.fd, out.data(), out.size())))
            return 1;
    }
}
