// The cashier PC's network hardware address as the central service knows it.
#pragma once
#include <string>

// 12 upper-case hex digits of the first adapter that is not a PPP link and
// has a gateway other than 0.0.0.0; "1234567890AB" when there is none.
std::string ReadMacText();
