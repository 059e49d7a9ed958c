#pragma once

namespace ZiRez {

// A protocol stack counts as available when a stream socket of its family can be created.
bool IsIPv4Available();
bool IsIPv6Available();

} // namespace ZiRez
