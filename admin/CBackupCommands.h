#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"
#include "backup/ExportPayload.h"

#include <string>
#include <vector>

// The commands that carry the whole key store to another machine, or keep it safe: export
// (every registration, the port, the cooperation password and the peers with their
// secrets, sealed with a passphrase) and import (all of it, or nothing).
class CBackupCommands
{
public:
    CBackupCommands(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int Export();
    int Import();

private:
    // The passphrase for a new export, typed twice (or one line of standard input); empty
    // after saying why there is none.
    std::string NewPassphrase();
    // The exit status of a file that could not be unsealed.
    int ReportUnsealFault(SealedExport::EFault fault, unsigned version, const std::string& file);
    // Each peer of the export replaces the one of its name; with replaceAll, the store's
    // other peers go too. False when the store failed.
    bool RestorePeers(const std::vector<ExportPayload::SPeer>& peers, bool replaceAll);

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
};
