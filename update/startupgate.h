#pragma once

#include <functional>

class UpdateChecker;

// Puts the update check in front of the program: a newer release leads to the
// mandatory-update prompt, a failed check to the update-error prompt, and only
// "no update" calls `begin`, at most once however often it is answered. An
// update whose installation did not finish is named in the update prompt.
void connectStartupGate(UpdateChecker *checker, std::function<void()> begin);
