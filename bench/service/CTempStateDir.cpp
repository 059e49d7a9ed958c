#include "CTempStateDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

CTempStateDir::CTempStateDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/corvane-bench-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a state directory: " + std::string(std::strerror(errno)));
    }
    m_path = buffer.data();
}

CTempStateDir::~CTempStateDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
