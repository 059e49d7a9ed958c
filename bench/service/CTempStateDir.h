#pragma once

#include <string>

// A private state directory for one measurement, removed with everything in it when the
// object goes.
class CTempStateDir
{
public:
    CTempStateDir();
    ~CTempStateDir();
    CTempStateDir(const CTempStateDir&) = delete;
    CTempStateDir& operator=(const CTempStateDir&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
