#include "ClientPeer.h"

#include <gtest/gtest.h>

CClientPeer::CClientPeer()
{
    m_client.Open("127.0.0.1", m_listener.Port());
    m_peer.emplace(m_listener.Accept());
}

void CClientPeer::ExpectAndAck(const std::string& packet)
{
    EXPECT_EQ(Hex(m_peer->Read(packet.size())), Hex(packet));
    m_peer->Send(Ack());
}

void CClientPeer::SendAndExpectAck(const std::string& packet)
{
    m_peer->Send(packet);
    EXPECT_EQ(Hex(m_peer->Read(8)), Hex(Ack()));
}
