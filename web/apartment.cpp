// One apartment thread: a queue of tasks run in order, and the component objects it owns.
#include "web/apartment.h"

#include <future>

#include "platform/com/create_object.h"

namespace tamsel::web {

namespace com = platform::com;

std::int32_t CallResult::Code() const {
  if (raised) return errorNumber;
  try {
    return result.CLng();
  } catch (const com::ComError& error) {
    return error.Number();
  }
}

std::string CallResult::Text(std::size_t index) const {
  if (index >= args.size() || args[index].missing) return {};
  const com::Variant& value = args[index].value;
  if (value.IsEmpty() || value.IsNull()) return {};
  try {
    return value.CStr();
  } catch (const com::ComError&) {
    return {};
  }
}

Apartment::Apartment() : thread_([this] { Loop(); }) {}

Apartment::~Apartment() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void Apartment::Loop() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) break;
      task = std::move(tasks_.front());
      tasks_.pop();
    }
    task();
  }
  // The objects die on the thread that made them.
  objects_.clear();
}

void Apartment::Run(const std::function<void()>& task) {
  std::packaged_task<void()> packaged(task);
  std::future<void> done = packaged.get_future();
  {
    std::lock_guard lock(mutex_);
    tasks_.push([&packaged] { packaged(); });
  }
  wake_.notify_one();
  done.get();
}

std::shared_ptr<com::IDispatchObject> Apartment::Object(const std::string& progId) {
  auto& object = objects_[progId];
  if (!object) object = com::CreateObject(progId, com::Activation{true});
  return object;
}

CallResult Apartment::Call(const std::string& progIdAndMethod, com::Arguments args) {
  CallResult outcome;
  outcome.args = std::move(args);
  Run([&] {
    const std::size_t dot = progIdAndMethod.rfind('.');
    try {
      auto object = Object(progIdAndMethod.substr(0, dot));
      outcome.result = com::CallByName(*object, progIdAndMethod.substr(dot + 1), outcome.args);
    } catch (const com::ComError& error) {
      outcome.raised = true;
      outcome.errorNumber = error.Number();
      outcome.errorDescription = error.Description();
    }
  });
  return outcome;
}

}  // namespace tamsel::web
