#include "net/CSubnet.h"

#include <charconv>

namespace ZiRez {

namespace {

bool MatchesPrefix(const uint8_t* a, const uint8_t* b, int prefix)
{
    const int whole = prefix / 8;
    for (int i = 0; i < whole; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    const int rest = prefix % 8;
    if (rest == 0) {
        return true;
    }
    const auto mask = static_cast<uint8_t>(0xFF << (8 - rest));
    return (a[whole] & mask) == (b[whole] & mask);
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::optional<CSubnet> CSubnet::Parse(std::string_view text)
{
    const size_t slash = text.find('/');
    CSubnet subnet;
    subnet.m_network = CPeerAddress::FromText(text.substr(0, slash));
    if (subnet.m_network.Family() == 0) {
        return std::nullopt;
    }
    const int bits = static_cast<int>(subnet.m_network.Length() * 8);
    subnet.m_prefix = bits;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), subnet.m_prefix);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || subnet.m_prefix < 0 ||
            subnet.m_prefix > bits || (digits.size() > 1 && digits[0] == '0')) {
            return std::nullopt;
        }
    }
    // Host bits set mean a typing error rather than a network.
    for (int bit = subnet.m_prefix; bit < bits; ++bit) {
        if ((subnet.m_network.Bytes()[bit / 8] >> (7 - bit % 8)) & 1) {
            return std::nullopt;
        }
    }
    return subnet;
}

std::optional<std::vector<CSubnet>> CSubnet::ParseList(std::string_view text, std::string* bad)
{
    std::vector<CSubnet> subnets;
    while (!Trimmed(text).empty()) {
        const size_t comma = text.find(',');
        const std::string_view entry = Trimmed(text.substr(0, comma));
        const auto subnet = Parse(entry);
        if (!subnet) {
            if (bad != nullptr) {
                *bad = std::string(entry);
            }
            return std::nullopt;
        }
        subnets.push_back(*subnet);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return subnets;
}

std::string CSubnet::ListText(const std::vector<CSubnet>& subnets)
{
    std::string text;
    for (const CSubnet& subnet : subnets) {
        text += (text.empty() ? "" : ",") + subnet.Text();
    }
    return text;
}

bool CSubnet::Contains(const CPeerAddress& peer) const
{
    return peer.Family() == m_network.Family() && MatchesPrefix(peer.Bytes(), m_network.Bytes(), m_prefix);
}

std::string CSubnet::Text() const
{
    return m_network.Text() + "/" + std::to_string(m_prefix);
}

} // namespace ZiRez
