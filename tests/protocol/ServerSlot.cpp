#include "ServerSlot.h"

#include "net/SocketTypes.h"

CServerSlot::CServerSlot()
    : m_server(std::make_shared<ZiRez::CStrmSrvSocket>(ZiRez::FAMILY_INET, ZiRez::SOCKET_STREAM, true, false, 0,
                                                       nullptr, kReadTimeOut))
{
    m_server->Open(0);
    m_peer.emplace(CScriptedPeer::Connect(m_server->BaseSocket().BoundPort(ZiRez::FAMILY_INET)));
    m_index = m_server->Accept();
}
