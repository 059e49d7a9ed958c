#pragma once

#include "control/CVersionQuery.h"

// The version of the running Windows as GetVersionEx reports it. Windows reports its real
// version only to a program whose manifest names it as supported.
class CSystemVersionQuery : public CVersionQuery
{
public:
    bool Query(uint32_t structureSize, OsVersion& version) override;
};
