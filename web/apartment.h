// One apartment thread of a web session: it creates the component's objects by ProgID and makes
// every late-bound call on them, since apartment-threaded objects answer only their own thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <thread>

#include "platform/com/dispatch.h"

namespace tamsel::web {

// The outcome of one component call: the method's result (lngRetVal, or the string of the
// methods that return one) and its arguments after the call, by-reference outputs included.
// A raised error (the component could not be created, a call that does not fit) is kept too.
struct CallResult {
  platform::com::Variant result;
  platform::com::Arguments args;
  bool raised = false;
  std::int32_t errorNumber = 0;
  std::string errorDescription;

  // lngRetVal, or the error number when the call raised.
  std::int32_t Code() const;
  // Argument `index` as text ("" for Empty, Null or a missing one).
  std::string Text(std::size_t index) const;
};

class Apartment {
 public:
  Apartment();
  ~Apartment();
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

  // Calls "PROGID.METHOD" ("TamselReportsCom.Reports.MenuXmlGet") on this apartment's object,
  // in its own transaction, and waits for the answer.
  CallResult Call(const std::string& progIdAndMethod, platform::com::Arguments args);

  // Runs `task` on the apartment thread and waits for it.
  void Run(const std::function<void()>& task);

 private:
  void Loop();
  std::shared_ptr<platform::com::IDispatchObject> Object(const std::string& progId);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::queue<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::map<std::string, std::shared_ptr<platform::com::IDispatchObject>> objects_;
  std::thread thread_;
};

}  // namespace tamsel::web
