#pragma once

// The service's name for the service control manager.
inline constexpr const wchar_t* kServiceName = L"Ternwick";

// True when the service control manager started this process (its dispatcher connected).
bool RunsAsService();
