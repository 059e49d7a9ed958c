#include "CMetricsCommands.h"

#include "admin/ExitStatus.h"
#include "platform/SafeText.h"
#include "settings/CMetricsSettings.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The path in UTF-8 as the system's.
fs::path PathOf(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

} // namespace

std::optional<std::string> CMetricsCommands::StoredDirectory()
{
    std::string directory;
    if (!m_session.Registrations()) {
        return std::nullopt;
    }
    if (CMetricsSettings::Read(directory) == 0) {
        m_session.StoreFailure(false);
        return std::nullopt;
    }
    return directory;
}

int CMetricsCommands::MetricsDir()
{
    if (!m_line.Operands().empty()) {
        const std::string& operand = m_line.Operands().front();
        return SetDirectory(operand == "off" ? "" : operand);
    }
    const auto directory = StoredDirectory();
    if (!directory) {
        return kExitFailed;
    }
    m_session.Out() << (directory->empty() ? std::string("off") : SafeText(*directory)) << "\n";
    return kExitSuccess;
}

int CMetricsCommands::SetDirectory(const std::string& directory)
{
    if (!directory.empty()) {
        // The service logs the folder and a collector is pointed at it: one plain line.
        const bool plain = std::none_of(directory.begin(), directory.end(),
                                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
        std::error_code error;
        if (!plain || !PathOf(directory).is_absolute()) {
            return m_session.UsageError("'" + directory +
                                        "' is not an absolute path: name the folder from the root, as "
                                        "/var/lib/prometheus/node-exporter");
        }
        if (!fs::is_directory(PathOf(directory), error)) {
            return m_session.Fail("'" + directory + "' is not an existing folder: make it first");
        }
    }
    if (!m_session.MayWrite()) {
        return kExitFailed;
    }
    if (CMetricsSettings::Write(directory) == 0) {
        return m_session.Fail("the key store refused the change: the metrics stay as they were");
    }
    m_session.Out() << (directory.empty() ? std::string("Metrics are off.")
                                          : "Metrics go to " + directory + "/" + CMetricsSettings::kFileName + ".")
                    << "\n";
    return kExitSuccess;
}

int CMetricsCommands::Metrics()
{
    const auto directory = StoredDirectory();
    if (!directory) {
        return kExitFailed;
    }
    if (directory->empty()) {
        return m_session.Fail("metrics are off: name a folder for them with 'corvane-admin metrics-dir PATH'");
    }
    const fs::path file = PathOf(*directory) / CMetricsSettings::kFileName;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        return m_session.Fail("the key service has written no metrics to " + *directory +
                              " (it does within 15 s of its start or of a change of the folder): is it running?");
    }
    m_session.Out() << text.str();
    return kExitSuccess;
}
