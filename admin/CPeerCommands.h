#pragma once

#include "admin/CAdminCommandLine.h"
#include "admin/CAdminSession.h"

#include <string>

// The key servers this one syncs with: peer add, remove, list and resolve; and their part
// of status.
class CPeerCommands
{
public:
    CPeerCommands(CAdminSession& session, const CAdminCommandLine& line) : m_session(session), m_line(line) {}

    int Peer();
    // One line per peer, and the conflicts; nothing without peers.
    void StatusLines();
    // The same as a member of a JSON object, with a leading ", ".
    void StatusJson();

private:
    int Add();
    int Remove();
    int List();
    int Resolve();

    CAdminSession& m_session;
    const CAdminCommandLine& m_line;
};
