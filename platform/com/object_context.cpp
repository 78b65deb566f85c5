// The per-thread object context and the fate of its transaction.
#include "platform/com/object_context.h"

#include <mutex>

#include "platform/com/dispatch.h"

namespace tamsel::platform::com {

namespace {

thread_local ObjectContext* currentContext = nullptr;

std::mutex factoryMutex;
TransactionFactory& Factory() {
  static TransactionFactory factory;
  return factory;
}

}  // namespace

void SetTransactionFactory(TransactionFactory factory) {
  std::lock_guard lock(factoryMutex);
  Factory() = std::move(factory);
}

void ObjectContext::SetComplete() {
  if (depth_ == 1) rootVotedComplete_ = true;
}

void ObjectContext::SetAbort() {
  doomed_ = true;
  if (depth_ == 1) rootVotedComplete_ = false;
}

ObjectContext* GetObjectContext() { return currentContext; }

ContextCall::ContextCall(bool transactional) {
  if (currentContext) {
    ++currentContext->depth_;
    return;
  }
  root_.reset(new ObjectContext(transactional));
  if (transactional) {
    TransactionFactory factory;
    {
      std::lock_guard lock(factoryMutex);
      factory = Factory();
    }
    if (factory) root_->resource_ = factory();
  }
  root_->depth_ = 1;
  currentContext = root_.get();
}

void ContextCall::End() {
  if (ended_) return;
  ended_ = true;
  if (!root_) {
    --currentContext->depth_;
    return;
  }
  currentContext = nullptr;
  std::unique_ptr<TransactionResource> resource = std::move(root_->resource_);
  if (!resource) return;
  if (root_->rootVotedComplete_ && !root_->doomed_) {
    try {
      resource->Commit();
    } catch (const ComError& error) {
      resource->Abort();
      throw ComError(CONTEXT_E_ABORTED, error.Source(), error.Description());
    }
  } else {
    resource->Abort();
  }
}

ContextCall::~ContextCall() {
  if (ended_) return;
  ended_ = true;
  if (!root_) {
    --currentContext->depth_;
    return;
  }
  currentContext = nullptr;
  if (root_->resource_) root_->resource_->Abort();
}

}  // namespace tamsel::platform::com
