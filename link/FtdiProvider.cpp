#include "link/FtdiProvider.h"

#include "link/Proxy.h"
#include "link/ReceiveQueue.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace FTD2xx
{

namespace
{

struct ContextDeleter
{
    void operator()(ftdi_context* context) const { ftdi_free(context); }
};
using Context = std::unique_ptr<ftdi_context, ContextDeleter>;

struct ListDeleter
{
    void operator()(ftdi_device_list* list) const { ftdi_list_free2(list); }
};
using DeviceList = std::unique_ptr<ftdi_device_list, ListDeleter>;

// libusb waits this long on a bulk transfer. A chip answers every latency period, with
// its two status bytes at least, so this only bounds a hung device. Our own read deadline
// lives in the queue.
constexpr int kUsbReadTimeoutMs = 5000;

int Failure(ftdi_context* context, int code, bool libusbCode)
{
    std::string text = context ? ftdi_get_error_string(context) : "libftdi failure";
    if (libusbCode && code < 0)
        text += std::string(": ") + libusb_strerror(code);
    return MakeErrorStatus(text);
}

// One bulk transfer per read, so that a read returns what the chip sent within one latency
// period. (ftdi_read_data returns only once it has the size asked for, or a transfer brought
// nothing: while a stream flows it holds the bytes back for as long as that takes.)
class FtdiByteSource : public ByteSource
{
public:
    explicit FtdiByteSource(ftdi_context* context) : m_Context(context) {}

    // Bytes asked for per transfer: whole packets, as SetUSBParameters sets them.
    void SetTransferSize(unsigned size) { m_TransferSize = size; }

    int ReadSome(unsigned char* buffer, std::size_t capacity, std::size_t& received) override
    {
        received = 0;
        const std::size_t packet = m_Context->max_packet_size ? m_Context->max_packet_size : 64;
        std::size_t size = std::min<std::size_t>(m_TransferSize, capacity);
        size = std::max(size - size % packet, packet);
        m_Raw.resize(size);
        int transferred = 0;
        // libftdi calls the read endpoint out_ep.
        const int r =
            libusb_bulk_transfer(m_Context->usb_dev, static_cast<unsigned char>(m_Context->out_ep),
                                 m_Raw.data(), static_cast<int>(size), &transferred,
                                 static_cast<unsigned>(m_Context->usb_read_timeout));
        // A timeout keeps what did arrive; the next read goes on.
        if (r < 0 && r != LIBUSB_ERROR_TIMEOUT)
            return MakeErrorStatus(std::string("usb bulk read failed: ") + libusb_strerror(r));
        // Every packet starts with the chip's modem and line status bytes.
        for (std::size_t at = 0; at < static_cast<std::size_t>(transferred); at += packet)
        {
            const std::size_t end = std::min<std::size_t>(at + packet, transferred);
            if (end - at <= 2)
                continue;
            const std::size_t n = std::min(end - at - 2, capacity - received);
            std::memcpy(buffer + received, m_Raw.data() + at + 2, n);
            received += n;
        }
        return STATUS_OK;
    }

    int Flush() override
    {
        const int r = ftdi_tciflush(m_Context);
        return r < 0 ? Failure(m_Context, r, true) : STATUS_OK;
    }

private:
    ftdi_context* m_Context;
    unsigned m_TransferSize = 4096;
    std::vector<unsigned char> m_Raw;
};

class FtdiDevice : public DeviceBackend
{
public:
    explicit FtdiDevice(Context context)
        : m_Context(std::move(context)), m_Source(m_Context.get()), m_Queue(m_Source)
    {
    }

    ~FtdiDevice() override
    {
        m_Queue.Stop();
        // Hands the device back to the kernel's serial driver (module_detach_mode).
        ftdi_usb_close(m_Context.get());
    }

    // Plain FIFO mode and the current settings; also after a reset.
    int Configure()
    {
        ftdi_context* c = m_Context.get();
        c->usb_read_timeout = kUsbReadTimeoutMs;
        c->usb_write_timeout = static_cast<int>(m_WriteTimeoutMs);
        if (int r = ftdi_set_bitmode(c, 0, BITMODE_RESET); r < 0)
            return Failure(c, r, false);
        if (int r = ftdi_set_latency_timer(c, m_Latency); r < 0)
            return Failure(c, r, false);
        if (int r = ftdi_read_data_set_chunksize(c, m_InSize); r < 0)
            return Failure(c, r, false);
        if (m_OutSize)
            if (int r = ftdi_write_data_set_chunksize(c, m_OutSize); r < 0)
                return Failure(c, r, false);
        if (int r = ftdi_tciflush(c); r < 0)
            return Failure(c, r, true);
        return STATUS_OK;
    }

    void StartReader() { m_Queue.Start(); }

    int SetLatencyTimer(unsigned char ms) override
    {
        if (int f = m_Queue.GetFailure())
            return f;
        if (ms < 1)
            return STATUS_INVALID_PARAMETER;
        if (int r = ftdi_set_latency_timer(m_Context.get(), ms); r < 0)
            return Failure(m_Context.get(), r, false);
        m_Latency = ms;
        return STATUS_OK;
    }

    int SetUSBParameters(unsigned long in, unsigned long out) override
    {
        if (in < 64 || in > 65536 || in % 64 || out > 65536)
            return STATUS_INVALID_PARAMETER;
        // The read buffer is reallocated: not while the reader uses it.
        return m_Queue.WithReaderPaused(
            [&]
            {
                ftdi_context* c = m_Context.get();
                if (int r = ftdi_read_data_set_chunksize(c, static_cast<unsigned>(in)); r < 0)
                    return Failure(c, r, false);
                m_InSize = static_cast<unsigned>(in);
                m_Source.SetTransferSize(m_InSize);
                if (out) // 0 keeps the present size
                {
                    if (int r = ftdi_write_data_set_chunksize(c, static_cast<unsigned>(out)); r < 0)
                        return Failure(c, r, false);
                    m_OutSize = static_cast<unsigned>(out);
                }
                return static_cast<int>(STATUS_OK);
            },
            false);
    }

    int SetTimeouts(unsigned long readMs, unsigned long writeMs) override
    {
        if (int f = m_Queue.GetFailure())
            return f;
        m_ReadTimeoutMs = readMs;
        m_WriteTimeoutMs = writeMs > 0x7FFFFFFF ? 0x7FFFFFFF : writeMs;
        m_Context->usb_write_timeout = static_cast<int>(m_WriteTimeoutMs);
        return STATUS_OK;
    }

    int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events) override
    {
        tx = 0;
        events = 0;
        return m_Queue.GetSize(rx);
    }

    int PurgeInputBuffer() override { return m_Queue.Purge(); }

    int ResetDevice() override
    {
        return m_Queue.WithReaderPaused(
            [this]
            {
                if (int r = ftdi_usb_reset(m_Context.get()); r < 0)
                    return Failure(m_Context.get(), r, false);
                return Configure();
            });
    }

    int Write(const std::vector<unsigned char>& data, unsigned long& written) override
    {
        written = 0;
        if (int f = m_Queue.GetFailure())
            return f;
        if (data.empty())
            return STATUS_OK;
        const int n = ftdi_write_data(m_Context.get(), data.data(), static_cast<int>(data.size()));
        if (n < 0)
            return Failure(m_Context.get(), n, true);
        written = static_cast<unsigned long>(n);
        return STATUS_OK;
    }

    int Read(std::vector<unsigned char>& buffer, unsigned long length) override
    {
        return m_Queue.Read(buffer, length, std::chrono::milliseconds(m_ReadTimeoutMs));
    }

private:
    Context m_Context;
    FtdiByteSource m_Source;
    ReceiveQueue m_Queue;
    unsigned char m_Latency = 16;
    unsigned m_InSize = 4096;
    unsigned m_OutSize = 0;
    unsigned long m_ReadTimeoutMs = 200;
    unsigned long m_WriteTimeoutMs = 200;
};

} // namespace

int FtdiProvider::Enumerate(std::vector<DeviceInfo>& devices)
{
    devices.clear();
    std::vector<Listed> listed;
    // A fresh context: ftdi_usb_get_strings closes the device of the context it is given.
    Context context(ftdi_new());
    if (!context) // no USB subsystem here (libusb_init failed): no real devices
    {
        std::lock_guard lock(m_Mutex);
        m_Listed.clear();
        return STATUS_OK;
    }
    for (int product : kProducts)
    {
        ftdi_device_list* raw = nullptr;
        const int count = ftdi_usb_find_all(context.get(), &raw, kVendor, product);
        DeviceList list(raw);
        if (count < 0)
            continue; // the bus could not be listed: nothing of this kind to offer
        for (ftdi_device_list* item = list.get(); item; item = item->next)
        {
            Listed entry;
            entry.product = product;
            entry.bus = libusb_get_bus_number(item->dev);
            entry.address = libusb_get_device_address(item->dev);
            char manufacturer[128] = {}, description[128] = {}, serial[128] = {};
            if (ftdi_usb_get_strings(context.get(), item->dev, manufacturer, sizeof manufacturer,
                                     description, sizeof description, serial, sizeof serial) == 0)
            {
                entry.info.serial = serial;
                entry.info.description = description;
            }
            else
                entry.info.description =
                    std::string("FTDI device (") + ftdi_get_error_string(context.get()) + ")";
            listed.push_back(std::move(entry));
        }
    }
    for (const Listed& entry : listed)
        devices.push_back(entry.info);
    std::lock_guard lock(m_Mutex);
    m_Listed = std::move(listed);
    return STATUS_OK;
}

int FtdiProvider::Open(const DeviceInfo& device, std::unique_ptr<DeviceBackend>& backend)
{
    Listed wanted;
    {
        std::lock_guard lock(m_Mutex);
        const Listed* found = nullptr;
        for (const Listed& entry : m_Listed)
            if (entry.info.serial == device.serial &&
                (!device.serial.empty() || entry.info.description == device.description))
            {
                found = &entry;
                break;
            }
        if (!found)
            return STATUS_DEVICE_NOT_FOUND;
        wanted = *found;
    }

    Context context(ftdi_new());
    if (!context)
        return MakeErrorStatus("libusb_init() failed");
    context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;

    ftdi_device_list* raw = nullptr;
    const int count = ftdi_usb_find_all(context.get(), &raw, kVendor, wanted.product);
    DeviceList list(raw);
    if (count < 0)
        return Failure(context.get(), count, false);
    libusb_device* match = nullptr;
    for (ftdi_device_list* item = list.get(); item && !match; item = item->next)
    {
        if (wanted.info.serial.empty())
        {
            // No serial could be read: the device at the same bus position.
            if (libusb_get_bus_number(item->dev) == wanted.bus &&
                libusb_get_device_address(item->dev) == wanted.address)
                match = item->dev;
            continue;
        }
        char manufacturer[128] = {}, description[128] = {}, serial[128] = {};
        if (ftdi_usb_get_strings(context.get(), item->dev, manufacturer, sizeof manufacturer,
                                 description, sizeof description, serial, sizeof serial) == 0 &&
            wanted.info.serial == serial)
            match = item->dev;
    }
    if (!match)
        return STATUS_DEVICE_NOT_FOUND; // unplugged since it was listed
    if (ftdi_usb_open_dev(context.get(), match) < 0)
    {
        // libftdi keeps libusb's reason to itself when libusb_open fails (no access
        // rights, device busy): ask libusb once more to give the user that reason.
        std::string text = ftdi_get_error_string(context.get());
        libusb_device_handle* raw = nullptr;
        const int reason = libusb_open(match, &raw);
        const std::unique_ptr<libusb_device_handle, void (*)(libusb_device_handle*)> probe(
            raw,
            [](libusb_device_handle* h)
            {
                if (h)
                    libusb_close(h);
            });
        if (reason < 0)
            text += std::string(": ") + libusb_strerror(reason);
        return MakeErrorStatus(text);
    }

    auto opened = std::make_unique<FtdiDevice>(std::move(context));
    if (int status = opened->Configure(); status != STATUS_OK)
        return status;
    opened->StartReader();
    backend = std::move(opened);
    return STATUS_OK;
}

std::unique_ptr<DeviceEvents> FtdiProvider::Watch(std::string& problem)
{
    return WatchUdev(problem);
}

} // namespace FTD2xx
