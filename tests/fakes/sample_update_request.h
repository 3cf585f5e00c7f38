// One assistant's report values, plain ASCII: the base that tests and fuzz
// targets spoil one field of.
#pragma once
#include "net/central_exchange.h"

inline UpdateRequestValues SampleUpdateRequest() {
  UpdateRequestValues v;
  v.unixTime = 1700000000;
  v.macText = "00E04C6A1B2C";
  v.exeChecksum = "ABCD1234";
  v.barId = "3301";
  v.barName = "B";
  v.osVersion = "6.1.7601.1";
  v.featureBits = 15;
  v.monitorCount = 2;
  v.faceSoundInfo = "-";
  v.diskSerial = "WD-1";
  return v;
}
