#pragma once

// The termination signals while the application exists.
//
// The first SIGTERM, SIGINT or SIGHUP asks the application to quit as the
// user would (B_QUIT_REQUESTED), so that it ends in order and saves what it
// keeps. From then on those signals have their default action again: a
// second one ends a program that hangs while quitting. The handler only
// writes the signal's number to a pipe; a thread of its own posts the
// request. A signal the process was started with ignored (nohup) stays
// ignored. SIGPIPE is ignored meanwhile, so that writing to a peer that went
// away fails with EPIPE instead of ending the program before it saves.

#include "Messenger.h"

namespace BPrivate
{

// Starts watching for `target` (be_app); one application at a time.
void watch_quit_signals(const BMessenger& target);
// Stops watching and puts back the handlers (and SIGPIPE's disposition)
// found when watching began.
void unwatch_quit_signals();

} // namespace BPrivate
