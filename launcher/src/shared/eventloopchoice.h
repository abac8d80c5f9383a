#pragma once

namespace shared {

// The application's event loop is Qt's own rather than GLib's. GLib writes to
// its wake-up descriptor for every event another thread posts; Qt's own loop
// writes once until it has woken. An install posts about a dozen events a file
// to the main thread: for 100,000 small files GLib's loop made 1.2 million more
// system calls. Call before the application object exists; a choice the
// environment already makes stands.
void useQtEventLoops();

// Once the application's loop exists: programs started from here choose again.
void forgetEventLoopChoice();

} // namespace shared
