#pragma once
// Monitors of one program file seen from outside, whoever runs them and in whichever
// session: for the setup, which runs elevated and must replace that file.

#include <QString>

// Exit codes of vqCloseAll.
enum { vqNoneRan = 0, vqAllClosed = 1, vqSomeStay = 2 };

// Closes every process but this one whose image is `program`: asks politely first (the
// instance pipe of this account, a close to their windows on this desktop), waits up to
// politeMs, ends the rest and waits up to hardMs for them. Each one that stays is named
// on standard error. Only Windows has it; elsewhere it finds none.
int vqCloseAll(const QString& program, int politeMs = 10000, int hardMs = 5000);

// Starts `program` with `argument` as the account of the desktop's shell, so that an
// elevated setup gives the user back an unelevated monitor; without a shell (or its
// token), as this process. False when it could not be started.
bool vqStartAsShellUser(const QString& program, const QString& argument);
