/* Test-only LD_PRELOAD adapter for the guest: it stands in for what a real FTDI chip does
 * and QEMU's usb-serial model does not, so that libftdi and the driver see a chip.
 *
 * - A chip answers every bulk IN within its latency period, with a packet of just its two
 *   status bytes (modem, line) when it has no data. QEMU NAKs instead, so reads would wait
 *   for their whole timeout. Here an IN transfer that brings nothing within a latency
 *   period returns those two bytes.
 * - QEMU STALLs SIO_SET_BITMODE (0x0B): answered here as a chip answers BITMODE_RESET.
 * - QEMU purges its host-bound buffer for SIO_RESET value 1 only, where libftdi 1.5's
 *   tciflush sends 2 (and tcoflush 1): the two values are swapped here.
 *
 * Nothing else is changed. Never used outside tests/usb.
 */
#include <dlfcn.h>
#include <libusb.h>

constexpr uint8_t SIO_RESET = 0x00;
constexpr uint8_t SIO_SET_BITMODE = 0x0B;
constexpr unsigned LATENCY_MS = 4;

namespace
{

using BulkFn = int (*)(libusb_device_handle*, unsigned char, unsigned char*, int, int*,
                       unsigned int);
using ControlFn = int (*)(libusb_device_handle*, uint8_t, uint8_t, uint16_t, uint16_t,
                          unsigned char*, uint16_t, unsigned int);

template <typename Fn> Fn Next(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                    unsigned char* data, int length, int* transferred,
                                    unsigned int timeout)
{
    static const BulkFn real = Next<BulkFn>("libusb_bulk_transfer");
    if (!(endpoint & LIBUSB_ENDPOINT_IN) || length < 2)
        return real(handle, endpoint, data, length, transferred, timeout);
    static_cast<void>(timeout); // a chip answers within its latency period
    int got = 0;
    int r = real(handle, endpoint, data, length, &got, LATENCY_MS);
    if (transferred)
        *transferred = got;
    if (r == LIBUSB_ERROR_TIMEOUT)
    {
        if (got == 0)
        {
            data[0] = 0x01; // modem status, as an idle FT232B reports it
            data[1] = 0x60; // line status: transmitter empty
            got = 2;
        }
        if (transferred)
            *transferred = got;
        r = 0;
    }
    return r;
}

extern "C" int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType,
                                       uint8_t request, uint16_t value, uint16_t index,
                                       unsigned char* data, uint16_t length, unsigned int timeout)
{
    static const ControlFn real = Next<ControlFn>("libusb_control_transfer");
    if ((requestType & LIBUSB_REQUEST_TYPE_VENDOR) && !(requestType & LIBUSB_ENDPOINT_IN))
    {
        if (request == SIO_SET_BITMODE)
            return 0;
        if (request == SIO_RESET && (value == 1 || value == 2))
            value = static_cast<uint16_t>(value == 1 ? 2 : 1);
    }
    return real(handle, requestType, request, value, index, data, length, timeout);
}
