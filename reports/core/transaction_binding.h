// Ties the object context's transaction to the data layer's transaction scope: a transactional
// root call begins a scope that every connection of the call (nested calls included) joins,
// and the context's final vote commits or rolls it back.
#pragma once

namespace tamsel::reports {

// Installs the binding once per process (idempotent, thread-safe).
void InstallTransactionBinding();

}  // namespace tamsel::reports
