// Savepoints, read attempts and write transactions around procedure bodies.
#include "platform/data/procedure_unit.h"

#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

int CallBody(const ProcedureDefinition& procedure, ProcedureCall& call) {
  try {
    return procedure.body(call);
  } catch (const com::ComError&) {
    throw;
  } catch (const std::exception& error) {
    RaiseProviderError(kErrorsInCommand, error.what());
  }
}

// Undoes a body's changes inside an open transaction when the body fails.
class Savepoint {
 public:
  explicit Savepoint(Session& session) : session_(session) {
    session_.Prepare("SAVEPOINT tamsel_call").Run();
  }
  void Release() {
    session_.Prepare("RELEASE tamsel_call").Run();
    released_ = true;
  }
  ~Savepoint() {
    if (released_) return;
    try {
      session_.Prepare("ROLLBACK TO tamsel_call").Run();
      session_.Prepare("RELEASE tamsel_call").Run();
    } catch (...) {
    }
  }

 private:
  Session& session_;
  bool released_ = false;
};

// A transaction the provider opens around one body; rolled back unless committed or handed on.
class BodyTransaction {
 public:
  BodyTransaction(Session& session, const char* begin) : session_(session) {
    session_.Prepare(begin).Run();
  }
  void Commit() {
    session_.Prepare("COMMIT").Run();
    open_ = false;
  }
  void HandOn() { open_ = false; }
  ~BodyTransaction() {
    if (!open_) return;
    try {
      session_.Prepare("ROLLBACK").Run();
    } catch (...) {
    }
  }

 private:
  Session& session_;
  bool open_ = true;
};

class ReadAttempt {
 public:
  explicit ReadAttempt(Session& session) : session_(session) { session_.SetReadAttempt(true); }
  ~ReadAttempt() { session_.SetReadAttempt(false); }
  ReadAttempt(const ReadAttempt&) = delete;
  ReadAttempt& operator=(const ReadAttempt&) = delete;

 private:
  Session& session_;
};

// The read attempt: the body's result, or nothing when it came to write.
std::optional<int> RunReading(Session& session, const ProcedureDefinition& procedure,
                              const std::vector<com::Variant>& arguments,
                              std::optional<ProcedureCall>& call) {
  BodyTransaction transaction(session, "BEGIN");
  try {
    ReadAttempt attempt(session);
    call.emplace(session, arguments);
    const int result = CallBody(procedure, *call);
    transaction.Commit();  // ends the read; there is nothing to write
    return result;
  } catch (const WriteLockNeeded&) {
    call.reset();
    return std::nullopt;
  }
}

}  // namespace

int RunProcedureUnit(Session& session, const ProcedureDefinition& procedure,
                     const std::vector<com::Variant>& arguments,
                     std::optional<ProcedureCall>& call) {
  if (session.InTransaction()) {
    call.emplace(session, arguments);
    if (!procedure.guardWithSavepoint) return CallBody(procedure, *call);
    Savepoint savepoint(session);
    const int result = CallBody(procedure, *call);
    savepoint.Release();
    return result;
  }
  if (!procedure.writesAlways) {
    if (std::optional<int> result = RunReading(session, procedure, arguments, call)) {
      return *result;
    }
  }
  BodyTransaction transaction(session, "BEGIN IMMEDIATE");
  call.emplace(session, arguments);
  const int result = CallBody(procedure, *call);
  if (session.AwaitsFirstWrite()) {
    session.StopAwaitingWrite();
    transaction.HandOn();  // the call's transaction has begun; its vote ends it
  } else {
    transaction.Commit();
  }
  return result;
}

}  // namespace tamsel::platform::data
