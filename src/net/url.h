// URL handling shared by the central-service exchanges and the downloader: a
// URL cut into host, port, path and query, and percent-encoding of a path.
#pragma once
#include <string>

// Cuts `url` into host (no port, no slash), path (between the first "/" after
// the host and the first "?", without the leading "/") and query (after that
// "?"). Returns the port: 80 after "http://", 443 after "https://" (schemes
// compared without regard to case), 0 without a scheme; a ":port" after the
// host overrides it. Never fails: any text gives some parts.
int SplitUrl(const std::string& url, std::string& host, std::string& path, std::string& query);

// True when `url` starts with "https://" (without regard to case).
bool IsHttpsUrl(const std::string& url);

// Percent-encodes `text` (GBK bytes): a space becomes "%20"; "-", ".", "/",
// "0"-"9", ":", "A"-"Z", "_" and "a"-"z" stay as they are; every other byte
// becomes "%" and two upper-case hex digits. With `asUtf8` the text is first
// converted from GBK to UTF-8, so a Chinese character gives three escapes.
std::string UrlEncode(const std::string& text, bool asUtf8);

// A request target (path and query, GBK bytes) as it goes on the request
// line: the bytes a request line cannot carry (controls, space, DEL, bytes
// from 0x80: a GBK bar name) and '#', '"', '<', '>' become "%" and two
// upper-case hex digits; every other byte, '|' and '%' included, stays as
// the caller wrote it. A server that decodes the query reads the same GBK
// bytes either way, and the request line holds ASCII alone.
std::string RequestTargetText(const std::string& target);
