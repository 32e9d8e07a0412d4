// The signals that end the tool by default: what the password prompt and
// the progress line must clean up after.
#pragma once

namespace quillet::tool {

using SignalHandler = void (*)(int signal_number);

// Catches every signal whose default action ends the process (and that a
// process may catch) with `handler`.
void CatchEndingSignals(SignalHandler handler);
// Puts back the default action of every such signal.
void DefaultEndingSignals();
// From a handler: ends the process as `signal_number` would have.
void EndAsTheSignalWould(int signal_number);

}  // namespace quillet::tool
