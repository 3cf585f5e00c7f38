// The service's readings of the clock, and the UTC text its log and pages
// print. Every folder of the service reads the time through these.
#pragma once
#include <cstdint>
#include <string>

// Unix seconds now.
std::int64_t NowSeconds();
// Unix milliseconds now.
std::int64_t NowMs();
// Milliseconds of a steady clock.
std::int64_t SteadyMs();

// "YYYY-MM-DD HH:MM:SS" (UTC) of Unix seconds.
std::string UtcText(std::int64_t unixSeconds);
