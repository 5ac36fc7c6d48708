// Logging that cannot stop the run: a log that cannot be written is not worth a check.
#pragma once

namespace Ardentis {

// Puts every appender that a logger holds behind a guard: whatever it throws while
// writing (a full disk, a device that refuses writes, a failed roll-over) goes to the
// guard's error handler, which log4cxx's quiet mode keeps off the console, and never
// to the code that logged.
void QuietenAppenders();

}  // namespace Ardentis
