#include "CUdevDeviceSource.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <libudev.h>
#include <memory>
#include <string_view>
#include <sys/sysmacros.h>

namespace {

struct UdevDeleter
{
    void operator()(udev* handle) const { udev_unref(handle); }
    void operator()(udev_enumerate* handle) const { udev_enumerate_unref(handle); }
    void operator()(udev_device* handle) const { udev_device_unref(handle); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, UdevDeleter>;
using DevicePtr = std::unique_ptr<udev_device, UdevDeleter>;

std::string_view Text(const char* value)
{
    return value == nullptr ? std::string_view() : std::string_view(value);
}

std::optional<uint16_t> ParseHexWord(std::string_view text)
{
    uint16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int ParseInterfaceCount(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    int value = 1;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The serial attribute exactly as the device reported it, without the one newline that
// sysfs appends (libudev would strip every trailing newline and carriage return).
std::optional<std::string> ReadRawSerial(udev_device* usbDevice)
{
    const std::string path = std::string(Text(udev_device_get_syspath(usbDevice))) + "/serial";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string serial{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return std::nullopt;
    }
    if (!serial.empty() && serial.back() == '\n') {
        serial.pop_back();
    }
    return serial;
}

std::optional<CUsbDeviceData> ReadUsbDevice(udev_device* usbDevice)
{
    if (usbDevice == nullptr) {
        return std::nullopt;
    }
    const auto vendor = ParseHexWord(Text(udev_device_get_sysattr_value(usbDevice, "idVendor")));
    const auto product = ParseHexWord(Text(udev_device_get_sysattr_value(usbDevice, "idProduct")));
    if (!vendor || !product) {
        return std::nullopt;
    }
    CUsbDeviceData data;
    data.vendorId = *vendor;
    data.productId = *product;
    data.serial = ReadRawSerial(usbDevice);
    data.interfaceCount = ParseInterfaceCount(Text(udev_device_get_sysattr_value(usbDevice, "bNumInterfaces")));
    return data;
}

std::optional<CBlockDevice> BlockDeviceOf(udev_device* device)
{
    const dev_t number = udev_device_get_devnum(device);
    if (number == 0) {
        return std::nullopt;
    }
    return CBlockDevice{major(number), minor(number)};
}

} // namespace

std::optional<std::vector<CDiskInterface>> CUdevDeviceSource::ReadDisks() const
{
    const UdevPtr context(udev_new());
    if (!context) {
        return std::nullopt;
    }
    const EnumeratePtr enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "block") < 0 ||
        udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "disk") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return std::nullopt;
    }

    std::vector<CDiskInterface> disks;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        // A disk that went away since the scan is no end of the list here, unlike an
        // interface Windows cannot read: later disks are still present.
        const DevicePtr disk(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!disk || Text(udev_device_get_devtype(disk.get())) != "disk") {
            continue;
        }
        // Parents belong to the child device and are freed with it.
        udev_device* usbInterface = udev_device_get_parent_with_subsystem_devtype(disk.get(), "usb", "usb_interface");
        udev_device* usbDevice = udev_device_get_parent_with_subsystem_devtype(disk.get(), "usb", "usb_device");

        CDiskInterface info;
        info.interfacePath = Text(udev_device_get_syspath(disk.get()));
        info.massStorage = usbInterface != nullptr && Text(udev_device_get_driver(usbInterface)) == "usb-storage";
        info.usbDevice = ReadUsbDevice(usbDevice);
        disks.push_back(std::move(info));
    }
    return disks;
}

std::optional<CBlockDevice> CUdevDeviceSource::DeviceOfInterface(const std::string& interfacePath) const
{
    const UdevPtr context(udev_new());
    if (!context) {
        return std::nullopt;
    }
    const DevicePtr disk(udev_device_new_from_syspath(context.get(), interfacePath.c_str()));
    if (!disk || Text(udev_device_get_subsystem(disk.get())) != "block") {
        return std::nullopt;
    }
    return BlockDeviceOf(disk.get());
}

std::optional<CBlockDevice> CUdevDeviceSource::WholeDiskOf(CBlockDevice device) const
{
    const UdevPtr context(udev_new());
    if (!context) {
        return std::nullopt;
    }
    const DevicePtr block(udev_device_new_from_devnum(context.get(), 'b', makedev(device.major, device.minor)));
    if (!block) {
        return std::nullopt;
    }
    const std::string_view type = Text(udev_device_get_devtype(block.get()));
    if (type == "disk") {
        return BlockDeviceOf(block.get());
    }
    if (type == "partition") {
        udev_device* disk = udev_device_get_parent_with_subsystem_devtype(block.get(), "block", "disk");
        if (disk != nullptr) {
            return BlockDeviceOf(disk);
        }
    }
    return std::nullopt;
}
