#pragma once

#include "net/CPeerAddress.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ZiRez {

// An IPv4 or IPv6 network in prefix notation ("192.0.2.0/24", "2001:db8::/48"; an address
// alone is its own /32 or /128). An IPv4-mapped IPv6 peer counts as its IPv4 address.
class CSubnet
{
public:
    // nullopt for anything else, or host bits set beyond the prefix.
    static std::optional<CSubnet> Parse(std::string_view text);
    // A comma-separated list (spaces allowed around the commas); nullopt, with the first
    // entry that is no subnet in *bad, when one is not.
    static std::optional<std::vector<CSubnet>> ParseList(std::string_view text, std::string* bad = nullptr);
    static std::string ListText(const std::vector<CSubnet>& subnets);

    bool Contains(const CPeerAddress& peer) const;
    std::string Text() const;
    bool operator==(const CSubnet& other) const { return m_network == other.m_network && m_prefix == other.m_prefix; }

private:
    CPeerAddress m_network;
    int m_prefix = 0;
};

} // namespace ZiRez
