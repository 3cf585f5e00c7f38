// The alert on a swiped ID number that is on the blacklist: inside the face
// step of the watch cycle, before anything in the audit client's dialog is
// pressed. It marks the dialog so the cashier cannot miss it, sounds "NOTIFY",
// announces the hit to the collector, logs it and reports it to the central
// service; the cycle then ends, so the dialog's face button is never pressed.
#pragma once
#include <functional>
#include <string>

#include "platform/desktop.h"

class ActivityLog;
class BlacklistStore;
class Clock;
class HttpClient;
class Sound;
struct BarIdentity;

class BlacklistAlert {
 public:
  struct Outside {
    Desktop& desktop;
    Clock& clock;
    Sound& sound;
    ActivityLog& log;
    HttpClient& http;
    // SendNotice in the program; the tests record the text.
    std::function<void(const std::string& text)> sendNotice;
  };
  // reportAddress: service base address + report path, to which the query is
  // appended. macText: 12 upper-case hex digits of the cashier PC.
  BlacklistAlert(Outside outside, const BlacklistStore& store, const BarIdentity& bar,
                 std::string reportAddress, std::string macText)
      : out_(std::move(outside)), store_(store), bar_(bar),
        reportAddress_(std::move(reportAddress)), macText_(std::move(macText)) {}

  // The watch hook: true when the ID in `idEdit` is blacklisted and the cycle
  // must end (alert raised now, or already raised for this edit control).
  bool Check(Hwnd dialog, Hwnd faceButton, Hwnd idEdit);

  Hwnd LastBlacklistEdit() const { return LastBlacklistEdit_; }

 private:
  Outside out_;
  const BlacklistStore& store_;
  const BarIdentity& bar_;
  std::string reportAddress_;
  std::string macText_;
  Hwnd LastBlacklistEdit_ = 0;
};

// The report query "CID=%s&RET=%s|%s|%s|": the values as they are, not
// percent-encoded, as the central service reads them.
std::string BlacklistReportQuery(const std::string& id, const std::string& macText,
                                 const std::string& barId, const std::string& barName);
