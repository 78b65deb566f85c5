// The per-thread transaction scope and the enlistment of sessions in it.
#include "platform/data/transaction_scope.h"

#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

thread_local TransactionScope* currentScope = nullptr;

}  // namespace

TransactionScope::TransactionScope() : outer_(currentScope) { currentScope = this; }

TransactionScope::~TransactionScope() {
  if (!finished_) {
    try {
      Abort();
    } catch (...) {
      // A rollback that fails leaves nothing committed; there is nobody left to tell.
    }
  }
  currentScope = outer_;
}

TransactionScope* TransactionScope::Current() { return currentScope; }

bool TransactionScope::IsDoomed() const { return outer_ != nullptr ? outer_->IsDoomed() : doomed_; }

SessionHandle TransactionScope::Enlist(const std::filesystem::path& file) {
  if (outer_ != nullptr) return outer_->Enlist(file);
  if (finished_) RaiseProviderError(kContextAborted, "The transaction has already ended.");
  for (const Enlisted& entry : sessions_) {
    if (entry.file == file) return entry.session;
  }
  SessionHandle session = SessionPool::Instance().Acquire(file);
  // The transaction begins at the call's first write, with the write lock: a call that only
  // reads never holds it, so it never blocks a writer (the journal lets readers and one
  // writer work at once), and a writing call waits for another within the busy timeout
  // instead of failing to upgrade a read.
  session->BeginOnFirstWrite();
  sessions_.push_back({file, session});
  return session;
}

SessionHandle TransactionScope::Enlist(const ServerLogin& login) {
  if (outer_ != nullptr) return outer_->Enlist(login);
  if (finished_) RaiseProviderError(kContextAborted, "The transaction has already ended.");
  const std::filesystem::path key = login.Key();
  for (const Enlisted& entry : sessions_) {
    if (entry.file == key) return entry.session;
  }
  SessionHandle session = SessionPool::Instance().Acquire(login);
  session->Execute("BEGIN");
  sessions_.push_back({key, session});
  return session;
}

bool TransactionScope::Commit() {
  if (outer_ != nullptr) {
    finished_ = true;
    return !outer_->IsDoomed();
  }
  const bool commit = !doomed_;
  Finish(commit);
  return commit;
}

void TransactionScope::Abort() {
  if (outer_ != nullptr) {
    TransactionScope* root = outer_;
    while (root->outer_ != nullptr) root = root->outer_;
    root->doomed_ = true;
    finished_ = true;
    return;
  }
  doomed_ = true;
  Finish(false);
}

void TransactionScope::Finish(bool commit) {
  if (finished_) return;
  finished_ = true;
  std::vector<Enlisted> sessions = std::move(sessions_);
  sessions_.clear();
  bool failed = false;
  for (Enlisted& entry : sessions) {
    entry.session->StopAwaitingWrite();
    if (!entry.session->InTransaction()) continue;  // it only read
    try {
      entry.session->Execute(commit ? "COMMIT" : "ROLLBACK");
    } catch (...) {
      failed = true;
      try {
        entry.session->Execute("ROLLBACK");
      } catch (...) {
      }
    }
  }
  if (failed && commit) {
    RaiseProviderError(kContextAborted, "The transaction could not be committed.");
  }
}

}  // namespace tamsel::platform::data
