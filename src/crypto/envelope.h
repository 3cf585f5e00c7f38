// The sealed envelope of texts exchanged with the central service: optionally
// UTF-8, DES-CBC under one of four fixed key rows, optionally Base64.
#pragma once
#include <string>

#include "crypto/des.h"

// Seals (direction 1) or opens (any other direction; callers pass 2) `text`
// with key row 0..3.
//   utf8Switch 1:  sealing converts GBK -> UTF-8 first, opening UTF-8 -> GBK
//                  last; any other value: bytes pass as they are.
//   base64Switch:  the sealed side is Base64 text rather than raw cipher bytes.
// Sealing pads PKCS#5 style. Opening drops every deciphered byte of value 0..8
// wherever it stands: that strips the padding (and such bytes of the text,
// which the central service never sends); tab, LF and CR survive. Opened bytes
// that are not whole 8-byte blocks leave `result` as the caller set it; invalid
// Base64 opens to the empty text; so does a key row outside 0..3, either way.
// Never throws.
void Des_Crypt(const std::string& text, int direction, int keyRow, int utf8Switch, bool base64Switch,
               std::string& result);

// --- Explicit key rows: the central service reads its rows from its own
// configuration file instead of the values compiled into the program.
struct TEnvelopeKey {
  TDesBlock key;
  TDesBlock iv;
};

// The compiled key row 0..3 (an all-zero key for any other index).
TEnvelopeKey EnvelopeKeyRow(int keyRow);

// Des_Crypt under an explicit key row; the same framing in both directions.
void Des_CryptWithKey(const std::string& text, int direction, const TEnvelopeKey& key,
                      int utf8Switch, bool base64Switch, std::string& result);
