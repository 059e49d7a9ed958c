#include "console/lockkey/win32/CSetupDiDeviceSource.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

#include <cfgmgr32.h>
#include <setupapi.h>
#include <vector>
#include <winioctl.h>

namespace {

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}, the interface class of disks.
constexpr GUID kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

class CDeviceInfoSet
{
public:
    explicit CDeviceInfoSet(HDEVINFO set) : m_set(set) {}
    ~CDeviceInfoSet()
    {
        if (IsValid()) {
            SetupDiDestroyDeviceInfoList(m_set);
        }
    }
    CDeviceInfoSet(const CDeviceInfoSet&) = delete;
    CDeviceInfoSet& operator=(const CDeviceInfoSet&) = delete;

    bool IsValid() const { return m_set != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return m_set; }

private:
    HDEVINFO m_set;
};

std::optional<unsigned> ParseHex4(std::string_view text)
{
    if (text.size() < 4) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text.substr(0, 4)) {
        value <<= 4;
        if (c >= '0' && c <= '9') {
            value |= static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value |= static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            value |= static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return value;
}

// The interface path and device instance of interface number index; nullopt when it cannot
// be read, which ends the enumeration.
std::optional<std::pair<std::string, DEVINST>> ReadInterface(HDEVINFO set, DWORD index)
{
    SP_DEVICE_INTERFACE_DATA interface {};
    interface.cbSize = sizeof interface;
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &kDiskInterfaceClass, index, &interface) == FALSE) {
        return std::nullopt;
    }
    DWORD size = 0;
    if (SetupDiGetDeviceInterfaceDetailW(set, &interface, nullptr, 0, &size, nullptr) == FALSE &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return std::nullopt;
    }
    std::vector<unsigned char> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (SetupDiGetDeviceInterfaceDetailW(set, &interface, detail, size, nullptr, &device) == FALSE) {
        return std::nullopt;
    }
    return std::make_pair(Platform::Narrow(detail->DevicePath), device.DevInst);
}

std::optional<CUsbDeviceData> ReadParentUsbDevice(DEVINST disk)
{
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, disk, 0) != CR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t deviceId[MAX_DEVICE_ID_LEN] = {};
    if (CM_Get_Device_IDW(parent, deviceId, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
        return std::nullopt;
    }
    return CSetupDiDeviceSource::ParseUsbDeviceId(Platform::Narrow(deviceId));
}

} // namespace

std::optional<CUsbDeviceData> CSetupDiDeviceSource::ParseUsbDeviceId(std::string_view deviceId)
{
    const size_t vendorMark = deviceId.find("VID_");
    if (vendorMark == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = deviceId.substr(vendorMark + 4);
    const auto vendor = ParseHex4(rest);
    const size_t productMark = rest.find("PID_");
    if (!vendor || productMark == std::string_view::npos) {
        return std::nullopt;
    }
    rest = rest.substr(productMark + 4);
    const auto product = ParseHex4(rest);
    if (!product) {
        return std::nullopt;
    }
    CUsbDeviceData usb;
    usb.vendorId = static_cast<uint16_t>(*vendor);
    usb.productId = static_cast<uint16_t>(*product);
    // The four product digits and the separator.
    usb.serial = std::string(rest.substr(std::min<size_t>(rest.size(), 5)));
    return usb;
}

std::optional<uint32_t> CSetupDiDeviceSource::QueryDiskNumber(const std::string& path)
{
    const HANDLE device = CreateFileW(Platform::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    const bool answered = DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                                          &returned, nullptr) != FALSE;
    CloseHandle(device);
    if (!answered || returned < sizeof number) {
        return std::nullopt;
    }
    return number.DeviceNumber;
}

std::optional<std::vector<CDiskInterface>> CSetupDiDeviceSource::ReadDisks() const
{
    const CDeviceInfoSet set(
        SetupDiGetClassDevsW(&kDiskInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.IsValid()) {
        return std::nullopt;
    }
    std::vector<CDiskInterface> disks;
    // The first interface that cannot be read ends the list.
    for (DWORD index = 0;; ++index) {
        const auto interface = ReadInterface(set.Get(), index);
        if (!interface) {
            break;
        }
        CDiskInterface disk;
        disk.interfacePath = interface->first;
        disk.massStorage = disk.interfacePath.find(kMassStorageMark) != std::string::npos;
        if (disk.massStorage) {
            disk.usbDevice = ReadParentUsbDevice(interface->second);
        }
        disks.push_back(std::move(disk));
    }
    return disks;
}

std::optional<CBlockDevice> CSetupDiDeviceSource::DeviceOfInterface(const std::string& interfacePath) const
{
    const auto number = QueryDiskNumber(interfacePath);
    if (!number) {
        return std::nullopt;
    }
    return CBlockDevice{0, *number};
}
