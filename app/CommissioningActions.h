#pragma once
// The headless runner's actions for the commissioning record:
//   record on|off          start or stop the session logs in the working folder
//   export FILE            write the grid as it stands as CSV
//   report FILE            write the commissioning report (HTML)
//   table                  print the grid's filled rows as aligned columns
//   expect ok [ROW...]     the rows (all filled rows when none named) have a good last outcome
//   expect ROW MIN MAX     the row's value is a number from MIN to MAX
// A file that cannot be written and a failed check print "error: ..." and make the
// run exit with status 1; nothing else changes.
#include "app/HeadlessRunner.h"
#include "tool/Commissioning.h"

namespace app {

void AddCommissioningActions(HeadlessRunner& runner, tool::TCommissioning& commissioning,
                             std::ostream& out);

} // namespace app
