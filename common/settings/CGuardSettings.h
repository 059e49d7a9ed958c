#pragma once

#include <cstdint>
#include <string>

// How the key service guards its answers against peers on the network, kept in "Config"
// beside the port: the throttle on misses and wrong cooperation passwords, the check that a
// unit is given only its own key (its link-layer address is its identifier), and how many
// registrations cooperation pushes may bring the store to.
struct SGuardSettings
{
    enum class ReleaseCheck : uint32_t
    {
        Off = 0,
        LogOnly = 1,
        Enforce = 2,
    };
    static constexpr uint32_t kDefaultRate = 10;
    static constexpr uint32_t kDefaultBurst = 50;
    static constexpr uint32_t kMaxRate = 100000;
    static constexpr uint32_t kMaxBurst = 1000000;
    static constexpr uint32_t kDefaultPushLimit = 100000;

    // Misses (and wrong passwords) a peer may have a second, and at once; rate 0: no throttle.
    uint32_t throttleRate = kDefaultRate;
    uint32_t throttleBurst = kDefaultBurst;
    ReleaseCheck releaseCheck = ReleaseCheck::Off;
    // Subnets exempt from the release check (units behind a router), comma separated.
    std::string exemptSubnets;
    // A push may add registrations up to this many in all (replacing keys always); 0: no limit.
    uint32_t pushLimit = kDefaultPushLimit;

    bool operator==(const SGuardSettings&) const = default;
};

// Reads and writes SGuardSettings in "Config". A value not stored reads as its default.
// Results are 1 or 0; nothing throws.
class CGuardSettings
{
public:
    static constexpr const char* kRateValue = "ThrottleRate";
    static constexpr const char* kBurstValue = "ThrottleBurst";
    static constexpr const char* kCheckValue = "ReleaseCheck";
    static constexpr const char* kExemptValue = "ReleaseExempt";
    static constexpr const char* kPushLimitValue = "PushLimit";

    // 0 (settings unchanged) when "Config" cannot be read.
    static int Read(SGuardSettings& settings);
    // All values in one change; 0 without writing for a rate, burst or mode out of range.
    static int Write(const SGuardSettings& settings);
    static const char* CheckText(SGuardSettings::ReleaseCheck check);
};
