// One stored procedure call as a unit of work on its session: all of a body's changes stay or
// none do, and a body that writes runs under the write lock from its first read.
#pragma once

#include <optional>
#include <vector>

#include "platform/com/variant.h"
#include "platform/data/procedure_catalog.h"

namespace tamsel::platform::data {

// Runs `procedure` with `arguments` on `session` and returns its RETURN value; `call` holds
// what the run that counted left behind (output values, rows).
//  - Inside an open transaction the body runs there, guarded by a savepoint when the
//    procedure asks for one.
//  - Otherwise the body first runs in a read transaction. When it comes to its first write
//    that attempt is rolled back and the body runs again from the start in a transaction
//    begun with the write lock, so its reads and writes see one state and a writer waits for
//    another within the busy timeout instead of failing on a stale read. A procedure that
//    writes always skips the read attempt. That transaction commits, unless the session
//    awaits its call's first write: then it is the call's transaction and stays open for the
//    call's vote.
// A body that fails leaves nothing of its own behind.
int RunProcedureUnit(Session& session, const ProcedureDefinition& procedure,
                     const std::vector<com::Variant>& arguments,
                     std::optional<ProcedureCall>& call);

}  // namespace tamsel::platform::data
