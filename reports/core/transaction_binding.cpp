// The object context's transaction resource over platform/data's TransactionScope.
#include "reports/core/transaction_binding.h"

#include <memory>
#include <mutex>

#include "platform/com/dispatch.h"
#include "platform/com/object_context.h"
#include "platform/data/transaction_scope.h"

namespace tamsel::reports {

namespace com = platform::com;

namespace {

class ScopeResource : public com::TransactionResource {
 public:
  void Commit() override {
    if (!scope_.Commit()) {
      throw com::ComError(com::CONTEXT_E_ABORTED, "TamselReportsCom",
                          "The transaction has aborted.");
    }
  }
  void Abort() noexcept override { scope_.Abort(); }

 private:
  platform::data::TransactionScope scope_;
};

}  // namespace

void InstallTransactionBinding() {
  static std::once_flag once;
  std::call_once(
      once, [] { com::SetTransactionFactory([] { return std::make_unique<ScopeResource>(); }); });
}

}  // namespace tamsel::reports
